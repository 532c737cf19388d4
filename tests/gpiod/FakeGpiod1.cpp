// libgpiod 1.x's calls as the wrapper makes them, on the fake kernel, with
// the library's documented behaviour: lines are objects of their chip, each
// requested on its own; a call on a line not requested fails with EPERM;
// closing a chip releases its lines.
#include <gpiod.h>

#include <cerrno>
#include <map>
#include <memory>

#include "tests/gpiod/FakeGpioKernel.h"

struct gpiod_line {
    gpiod_chip* chip = nullptr;
    unsigned offset = 0;
    bool requested = false;
};

struct gpiod_chip {
    FakeGpioChip* fake = nullptr;
    std::map<unsigned, std::unique_ptr<gpiod_line>> lines;
};

namespace {

CFakeGpioKernel& Kernel()
{
    return CFakeGpioKernel::Get();
}

FakeGpioLine& Fake(gpiod_line* line)
{
    return line->chip->fake->lines[line->offset];
}

int Fail(int error)
{
    errno = error;
    return -1;
}

int Request(gpiod_line* line, const char* consumer, bool output, int value)
{
    if (line->requested)
        return Fail(EBUSY);
    if (const int error = Kernel().Claim(*line->chip->fake, line->offset, consumer ? consumer : ""))
        return Fail(error);
    line->requested = true;
    CFakeGpioKernel::Configure(Fake(line), output, value);
    return 0;
}

}  // namespace

extern "C" {

gpiod_chip* gpiod_chip_open(const char* path)
{
    FakeGpioChip* fake = nullptr;
    if (const int error = Kernel().Open(path, fake)) {
        errno = error;
        return nullptr;
    }
    auto* chip = new gpiod_chip;
    chip->fake = fake;
    return chip;
}

void gpiod_chip_close(gpiod_chip* chip)
{
    for (auto& entry : chip->lines)
        gpiod_line_release(entry.second.get());
    delete chip;
    --Kernel().m_nLive;
}

const char* gpiod_chip_name(gpiod_chip* chip)
{
    return chip->fake->name.c_str();
}

const char* gpiod_chip_label(gpiod_chip* chip)
{
    return chip->fake->label.c_str();
}

unsigned int gpiod_chip_num_lines(gpiod_chip* chip)
{
    return unsigned(chip->fake->lines.size());
}

gpiod_line* gpiod_chip_get_line(gpiod_chip* chip, unsigned int offset)
{
    if (offset >= chip->fake->lines.size()) {
        errno = EINVAL;
        return nullptr;
    }
    auto& line = chip->lines[offset];
    if (!line)
        line.reset(new gpiod_line{chip, offset, false});
    return line.get();
}

int gpiod_line_request_input(gpiod_line* line, const char* consumer)
{
    return Request(line, consumer, false, 0);
}

int gpiod_line_request_output(gpiod_line* line, const char* consumer, int default_val)
{
    return Request(line, consumer, true, default_val);
}

int gpiod_line_update(gpiod_line*)
{
    return 0;
}

const char* gpiod_line_consumer(gpiod_line* line)
{
    const std::string& consumer = Fake(line).consumer;
    return consumer.empty() ? nullptr : consumer.c_str();
}

void gpiod_line_release(gpiod_line* line)
{
    if (!line->requested)
        return;
    line->requested = false;
    CFakeGpioKernel::Free(Fake(line));
}

int gpiod_line_set_value(gpiod_line* line, int value)
{
    if (!line->requested)
        return Fail(EPERM);
    const int error = CFakeGpioKernel::SetValue(Fake(line), value);
    return error ? Fail(error) : 0;
}

int gpiod_line_get_value(gpiod_line* line)
{
    if (!line->requested)
        return Fail(EPERM);
    return CFakeGpioKernel::Level(Fake(line));
}

int gpiod_line_set_direction_input(gpiod_line* line)
{
    if (!line->requested)
        return Fail(EPERM);
    if (line->chip->fake->oldKernel)
        return Fail(ENOTTY);
    CFakeGpioKernel::Configure(Fake(line), false, 0);
    return 0;
}

int gpiod_line_set_direction_output(gpiod_line* line, int value)
{
    if (!line->requested)
        return Fail(EPERM);
    if (line->chip->fake->oldKernel)
        return Fail(ENOTTY);
    CFakeGpioKernel::Configure(Fake(line), true, value);
    return 0;
}

}  // extern "C"
