#include "tests/gpiod/FakeGpioKernel.h"

#include <cerrno>
#include <fstream>

CFakeGpioKernel& CFakeGpioKernel::Get()
{
    static CFakeGpioKernel kernel;
    return kernel;
}

void CFakeGpioKernel::Reset(const std::string& dir)
{
    m_strDir = dir;
    m_chips.clear();
    m_nLive = 0;
}

FakeGpioChip& CFakeGpioKernel::AddChip(const std::string& name, const std::string& label, int lines)
{
    // The wrapper finds chips by their nodes, as on a real system.
    std::ofstream(m_strDir + "/" + name);
    m_chips.push_back(std::make_unique<FakeGpioChip>());
    FakeGpioChip& chip = *m_chips.back();
    chip.name = name;
    chip.label = label;
    chip.lines.resize(std::size_t(lines));
    return chip;
}

FakeGpioChip* CFakeGpioKernel::ByName(const std::string& name)
{
    for (auto& chip : m_chips)
        if (chip->name == name)
            return chip.get();
    return nullptr;
}

FakeGpioChip* CFakeGpioKernel::ByPath(const std::string& path)
{
    const std::string prefix = m_strDir + "/";
    return path.rfind(prefix, 0) == 0 ? ByName(path.substr(prefix.size())) : nullptr;
}

int CFakeGpioKernel::Open(const std::string& path, FakeGpioChip*& chip)
{
    chip = ByPath(path);
    if (!chip)
        return ENOENT;
    if (chip->denied) {
        chip = nullptr;
        return EACCES;
    }
    ++m_nLive;
    return 0;
}

int CFakeGpioKernel::Claim(FakeGpioChip& chip, unsigned offset, const std::string& consumer)
{
    if (offset >= chip.lines.size())
        return EINVAL;
    FakeGpioLine& line = chip.lines[offset];
    if (!line.consumer.empty())
        return EBUSY;
    line.consumer = consumer.empty() ? "?" : consumer;
    return 0;
}

void CFakeGpioKernel::Configure(FakeGpioLine& line, bool output, int value)
{
    line.output = output;
    if (output)
        line.value = value ? 1 : 0;
}

int CFakeGpioKernel::SetValue(FakeGpioLine& line, int value)
{
    if (!line.output)
        return EPERM;
    line.value = value ? 1 : 0;
    return 0;
}

int CFakeGpioKernel::Level(const FakeGpioLine& line)
{
    return line.output ? line.value : line.outside;
}

void CFakeGpioKernel::Free(FakeGpioLine& line)
{
    line.consumer.clear();
}
