// libgpiod 2.x's calls as the wrapper makes them, on the fake kernel, with
// the library's documented behaviour: lines are requested together with the
// settings given per offset, in the order the offsets were added; a value
// is read or set by offset, and only for the request's own offsets; a
// reconfiguration replaces every line's settings and must name the
// request's offsets in the same order; the request lives on when its chip
// is closed.
#include <gpiod.h>

#include <algorithm>
#include <cerrno>
#include <string>
#include <utility>
#include <vector>

#include "tests/gpiod/FakeGpioKernel.h"

struct gpiod_chip {
    FakeGpioChip* fake = nullptr;
};

struct gpiod_chip_info {
    std::string name;
    std::string label;
    std::size_t lines = 0;
};

struct gpiod_line_info {
    std::string consumer;
};

struct gpiod_line_settings {
    gpiod_line_direction direction = GPIOD_LINE_DIRECTION_AS_IS;
    gpiod_line_value value = GPIOD_LINE_VALUE_INACTIVE;
};

struct gpiod_line_config {
    std::vector<std::pair<unsigned, gpiod_line_settings>> lines;
};

struct gpiod_request_config {
    std::string consumer;
};

struct gpiod_line_request {
    FakeGpioChip* fake = nullptr;
    std::vector<unsigned> offsets;
};

namespace {

CFakeGpioKernel& Kernel()
{
    return CFakeGpioKernel::Get();
}

template <typename T>
T* Made(T* object)
{
    ++Kernel().m_nLive;
    return object;
}

template <typename T>
void Freed(T* object)
{
    if (!object)
        return;
    delete object;
    --Kernel().m_nLive;
}

int Fail(int error)
{
    errno = error;
    return -1;
}

void Apply(FakeGpioLine& line, const gpiod_line_settings& settings)
{
    if (settings.direction == GPIOD_LINE_DIRECTION_OUTPUT)
        CFakeGpioKernel::Configure(line, true, settings.value);
    else if (settings.direction == GPIOD_LINE_DIRECTION_INPUT)
        CFakeGpioKernel::Configure(line, false, 0);
}

// The line of the request at offset; nullptr (errno EINVAL) for an offset
// the request does not hold.
FakeGpioLine* Held(gpiod_line_request* request, unsigned offset)
{
    const auto& offsets = request->offsets;
    if (std::find(offsets.begin(), offsets.end(), offset) == offsets.end()) {
        errno = EINVAL;
        return nullptr;
    }
    return &request->fake->lines[offset];
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
    return new gpiod_chip{fake};
}

void gpiod_chip_close(gpiod_chip* chip)
{
    delete chip;
    --Kernel().m_nLive;
}

gpiod_chip_info* gpiod_chip_get_info(gpiod_chip* chip)
{
    return Made(new gpiod_chip_info{chip->fake->name, chip->fake->label, chip->fake->lines.size()});
}

void gpiod_chip_info_free(gpiod_chip_info* info)
{
    Freed(info);
}

const char* gpiod_chip_info_get_name(gpiod_chip_info* info)
{
    return info->name.c_str();
}

const char* gpiod_chip_info_get_label(gpiod_chip_info* info)
{
    return info->label.c_str();
}

size_t gpiod_chip_info_get_num_lines(gpiod_chip_info* info)
{
    return info->lines;
}

gpiod_line_info* gpiod_chip_get_line_info(gpiod_chip* chip, unsigned int offset)
{
    if (offset >= chip->fake->lines.size()) {
        errno = EINVAL;
        return nullptr;
    }
    return Made(new gpiod_line_info{chip->fake->lines[offset].consumer});
}

void gpiod_line_info_free(gpiod_line_info* info)
{
    Freed(info);
}

bool gpiod_line_info_is_used(gpiod_line_info* info)
{
    return !info->consumer.empty();
}

const char* gpiod_line_info_get_consumer(gpiod_line_info* info)
{
    return info->consumer.empty() ? nullptr : info->consumer.c_str();
}

gpiod_line_settings* gpiod_line_settings_new(void)
{
    return Made(new gpiod_line_settings);
}

void gpiod_line_settings_free(gpiod_line_settings* settings)
{
    Freed(settings);
}

int gpiod_line_settings_set_direction(gpiod_line_settings* settings,
                                      gpiod_line_direction direction)
{
    settings->direction = direction;
    return 0;
}

int gpiod_line_settings_set_output_value(gpiod_line_settings* settings, gpiod_line_value value)
{
    settings->value = value;
    return 0;
}

gpiod_line_config* gpiod_line_config_new(void)
{
    return Made(new gpiod_line_config);
}

void gpiod_line_config_free(gpiod_line_config* config)
{
    Freed(config);
}

int gpiod_line_config_add_line_settings(gpiod_line_config* config, const unsigned int* offsets,
                                        size_t num_offsets, gpiod_line_settings* settings)
{
    if (!offsets || num_offsets == 0)
        return Fail(EINVAL);
    for (size_t i = 0; i < num_offsets; ++i) {
        auto& lines = config->lines;
        const auto known = std::find_if(lines.begin(), lines.end(),
                                        [&](const auto& line) { return line.first == offsets[i]; });
        // The settings are copied; an offset given again takes the new ones.
        if (known != lines.end())
            known->second = *settings;
        else
            lines.emplace_back(offsets[i], *settings);
    }
    return 0;
}

gpiod_request_config* gpiod_request_config_new(void)
{
    return Made(new gpiod_request_config);
}

void gpiod_request_config_free(gpiod_request_config* config)
{
    Freed(config);
}

void gpiod_request_config_set_consumer(gpiod_request_config* config, const char* consumer)
{
    config->consumer = consumer ? consumer : "";
}

gpiod_line_request* gpiod_chip_request_lines(gpiod_chip* chip, gpiod_request_config* req_cfg,
                                             gpiod_line_config* line_cfg)
{
    if (!line_cfg || line_cfg->lines.empty()) {
        errno = EINVAL;
        return nullptr;
    }
    FakeGpioChip& fake = *chip->fake;
    // All or nothing, as the kernel grants a request.
    for (const auto& line : line_cfg->lines) {
        const int error = line.first >= fake.lines.size()     ? EINVAL
                          : !fake.lines[line.first].consumer.empty() ? EBUSY
                                                                     : 0;
        if (error) {
            errno = error;
            return nullptr;
        }
    }
    auto* request = Made(new gpiod_line_request{&fake, {}});
    for (const auto& line : line_cfg->lines) {
        Kernel().Claim(fake, line.first, req_cfg ? req_cfg->consumer : "");
        Apply(fake.lines[line.first], line.second);
        request->offsets.push_back(line.first);
    }
    return request;
}

void gpiod_line_request_release(gpiod_line_request* request)
{
    for (unsigned offset : request->offsets)
        CFakeGpioKernel::Free(request->fake->lines[offset]);
    Freed(request);
}

gpiod_line_value gpiod_line_request_get_value(gpiod_line_request* request, unsigned int offset)
{
    const FakeGpioLine* line = Held(request, offset);
    if (!line)
        return GPIOD_LINE_VALUE_ERROR;
    return CFakeGpioKernel::Level(*line) ? GPIOD_LINE_VALUE_ACTIVE : GPIOD_LINE_VALUE_INACTIVE;
}

int gpiod_line_request_set_value(gpiod_line_request* request, unsigned int offset,
                                 gpiod_line_value value)
{
    FakeGpioLine* line = Held(request, offset);
    if (!line)
        return -1;
    const int error = CFakeGpioKernel::SetValue(*line, value == GPIOD_LINE_VALUE_ACTIVE);
    return error ? Fail(error) : 0;
}

int gpiod_line_request_reconfigure_lines(gpiod_line_request* request, gpiod_line_config* config)
{
    if (!config || config->lines.size() != request->offsets.size())
        return Fail(EINVAL);
    for (std::size_t i = 0; i < request->offsets.size(); ++i)
        if (config->lines[i].first != request->offsets[i])
            return Fail(EINVAL);
    for (const auto& line : config->lines)
        Apply(request->fake->lines[line.first], line.second);
    return 0;
}

}  // extern "C"
