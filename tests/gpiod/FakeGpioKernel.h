#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

// The kernel's GPIO chips as the link-time fakes of libgpiod (1.x and 2.x)
// show them, by the character device's documented rules: a chip opens only
// when its node exists and is open to the user; a line is held by one
// consumer at a time; a line held as an input cannot be set; an output
// reads back what it drives, an input what the circuit outside gives it;
// a released line keeps its direction.
struct FakeGpioLine {
    std::string consumer;  // empty: free
    bool output = false;
    int value = 0;    // driven while an output
    int outside = 0;  // given by the circuit while an input
};

struct FakeGpioChip {
    std::string name;  // gpiochipN
    std::string label;
    std::vector<FakeGpioLine> lines;
    bool denied = false;  // its node is not open to the user
    bool oldKernel = false;  // before 5.5: a held line's direction is fixed (ENOTTY)
};

class CFakeGpioKernel {
public:
    // The one kernel the fakes' C functions reach.
    static CFakeGpioKernel& Get();

    // Forgets every chip; their nodes are made in dir from now on.
    void Reset(const std::string& dir);
    FakeGpioChip& AddChip(const std::string& name, const std::string& label, int lines);
    FakeGpioChip* ByName(const std::string& name);
    // The chip whose node is at path; nullptr when none is.
    FakeGpioChip* ByPath(const std::string& path);

    // The kernel's answers, 0 or an errno value.
    int Open(const std::string& path, FakeGpioChip*& chip);
    int Claim(FakeGpioChip& chip, unsigned offset, const std::string& consumer);
    static void Configure(FakeGpioLine& line, bool output, int value);
    static int SetValue(FakeGpioLine& line, int value);
    // The level read: 0 or 1.
    static int Level(const FakeGpioLine& line);
    static void Free(FakeGpioLine& line);

    // Library objects made and not yet freed or closed.
    int m_nLive = 0;

private:
    std::string m_strDir;
    std::vector<std::unique_ptr<FakeGpioChip>> m_chips;
};
