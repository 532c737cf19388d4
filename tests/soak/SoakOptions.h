#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>

// What a soak is told, whether it runs on the board or on the cable.
struct SoakOptions {
    int runs = 0;
    std::uint32_t seed = 1;
    std::chrono::milliseconds stepTimeout{2000};
    std::string folder;  // scratch folder: catalogue, image file
    std::string cataloguePath;
    bool verbose = false;
};

// Called with a run's name as it starts, and with "" when it is over.
using SoakProgress = std::function<void(const std::string&)>;
