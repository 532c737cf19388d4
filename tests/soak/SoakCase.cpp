#include "tests/soak/SoakCase.h"

#include <fstream>

std::vector<std::uint8_t> RandomImage(std::mt19937& random, int maxLength)
{
    std::uniform_int_distribution<int> length(1, maxLength);
    std::uniform_int_distribution<int> byte(0, 255);
    std::vector<std::uint8_t> image(std::size_t(length(random)));
    for (std::uint8_t& b : image)
        b = std::uint8_t(byte(random));
    image.back() = 0x5A;
    return image;
}

int BlockCount(const std::vector<std::uint8_t>& image)
{
    return int((image.size() + 15) / 16);
}

bool WriteImageFile(const std::string& path, const std::vector<std::uint8_t>& image)
{
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file.write(reinterpret_cast<const char*>(image.data()), std::streamsize(image.size()));
    file.close();
    return bool(file);
}
