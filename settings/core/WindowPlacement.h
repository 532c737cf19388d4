#pragma once

#include <optional>
#include <string>

// Where the main window was and how large, kept in "Tamber_Info.ini" in a
// section of its own, "Window", beside the settings block (which it never
// touches): a window the user made larger opens that large again.
struct WindowPlacement {
    static constexpr const char* kSection = "Window";

    // The client area; a position only when one was stored.
    std::optional<int> x;
    std::optional<int> y;
    int width = 0;
    int height = 0;
    bool maximized = false;

    // nullopt when the file has no usable size (missing, not a number, not
    // positive or beyond any screen); a position is taken only as a pair.
    static std::optional<WindowPlacement> Load(const std::string& iniPath);
    // false when the file cannot be written.
    bool Save(const std::string& iniPath) const;

    // No window is this large; a larger stored size is a damaged file.
    static constexpr int kMaxExtent = 32767;
};
