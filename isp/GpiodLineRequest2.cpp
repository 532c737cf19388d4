// CGpiodLineRequest on libgpiod 2.x: the four lines in one request, their
// directions changed by reconfiguring it.
#include "isp/GpiodLineRequest.h"

#if TAMBERLINK_GPIOD_API == 2

#include <gpiod.h>

#include <cerrno>

#include "isp/GpioChipLookup.h"

namespace {

// The library's objects, freed however a step ends.
template <typename T, void (*Free)(T*)>
struct Freer {
    void operator()(T* object) const { Free(object); }
};
template <typename T, void (*Free)(T*)>
using Owned = std::unique_ptr<T, Freer<T, Free>>;
using Chip = Owned<gpiod_chip, gpiod_chip_close>;
using ChipInfo = Owned<gpiod_chip_info, gpiod_chip_info_free>;
using LineInfo = Owned<gpiod_line_info, gpiod_line_info_free>;
using Settings = Owned<gpiod_line_settings, gpiod_line_settings_free>;
using LineConfig = Owned<gpiod_line_config, gpiod_line_config_free>;
using RequestConfig = Owned<gpiod_request_config, gpiod_request_config_free>;

gpiod_line_value Value(int level)
{
    return level ? GPIOD_LINE_VALUE_ACTIVE : GPIOD_LINE_VALUE_INACTIVE;
}

}  // namespace

struct CGpiodLineRequest::Handles {
    gpiod_line_request* request = nullptr;
    unsigned offsets[4] = {};  // by Line, in the request's order
    bool requested[4] = {};    // false: given as GpioWiring::kNoLine
    int rstLevel = 0;

    ~Handles()
    {
        if (request)
            gpiod_line_request_release(request);
    }

    // The lines' settings: RST an output at rstLevel, MISO an input, MOSI
    // and SCK outputs (low) when driving, else inputs. nullptr, with errno
    // set, when the library could not make them.
    LineConfig Config(bool driving) const
    {
        LineConfig config(gpiod_line_config_new());
        if (!config)
            return nullptr;
        for (int line = 0; line < 4; ++line) {
            if (!requested[line])
                continue;
            const bool output = line == kRst || (driving && line != kMiso);
            Settings settings(gpiod_line_settings_new());
            if (!settings
                || gpiod_line_settings_set_direction(
                       settings.get(), output ? GPIOD_LINE_DIRECTION_OUTPUT : GPIOD_LINE_DIRECTION_INPUT)
                    != 0
                || (output
                    && gpiod_line_settings_set_output_value(
                           settings.get(), Value(line == kRst ? rstLevel : 0))
                        != 0)
                || gpiod_line_config_add_line_settings(config.get(), &offsets[line], 1, settings.get())
                    != 0)
                return nullptr;
        }
        return config;
    }
};

CGpiodLineRequest::CGpiodLineRequest() : m_pHandles(std::make_unique<Handles>()) {}

CGpiodLineRequest::~CGpiodLineRequest() = default;

std::unique_ptr<IGpioLineRequest> CGpiodLineRequest::RequestIn(const std::string& deviceDir,
                                                               const GpioWiring& wiring,
                                                               LinesOpenFailure& failure)
{
    const CGpioChipLookup lookup(deviceDir, [](const std::string& path) {
        const Chip chip(gpiod_chip_open(path.c_str()));
        const ChipInfo info(chip ? gpiod_chip_get_info(chip.get()) : nullptr);
        return info ? std::string(gpiod_chip_info_get_label(info.get())) : std::string();
    });
    const std::string path = lookup.Find(wiring);
    if (path.empty()) {
        failure = wiring.Failure(ENOENT);
        return nullptr;
    }
    const GpioWiring on = OnChip(wiring, path);

    errno = 0;
    const Chip chip(gpiod_chip_open(on.m_strChip.c_str()));
    const ChipInfo info(chip ? gpiod_chip_get_info(chip.get()) : nullptr);
    if (!info) {
        failure = on.Failure(errno ? errno : ENOENT);
        return nullptr;
    }
    std::unique_ptr<CGpiodLineRequest> request(new CGpiodLineRequest());
    request->m_strChipName = gpiod_chip_info_get_name(info.get());
    Handles& handles = *request->m_pHandles;
    const int count = int(gpiod_chip_info_get_num_lines(info.get()));
    const int offsets[4] = {on.m_nMosi, on.m_nSck, on.m_nRst, on.m_nMiso};
    for (int i = 0; i < 4; ++i) {
        if (offsets[i] == GpioWiring::kNoLine)
            continue;
        if (offsets[i] >= count) {
            failure = on.Failure(EINVAL, offsets[i], count);
            return nullptr;
        }
        handles.offsets[i] = unsigned(offsets[i]);
        handles.requested[i] = true;
    }

    // MOSI and SCK wait as inputs until an operation drives them.
    const LineConfig config = handles.Config(false);
    const RequestConfig requestConfig(gpiod_request_config_new());
    if (config && requestConfig) {
        gpiod_request_config_set_consumer(requestConfig.get(), kConsumer);
        handles.request = gpiod_chip_request_lines(chip.get(), requestConfig.get(), config.get());
    }
    if (!handles.request) {
        const int reason = errno ? errno : ENOMEM;
        // The kernel does not say which line was taken: the first one in use.
        for (int offset : offsets) {
            if (offset == GpioWiring::kNoLine)
                continue;
            const LineInfo line(reason == EBUSY ? gpiod_chip_get_line_info(chip.get(), unsigned(offset))
                                                : nullptr);
            if (line && gpiod_line_info_is_used(line.get())) {
                const char* consumer = gpiod_line_info_get_consumer(line.get());
                failure = on.Failure(reason, offset, count, consumer ? consumer : "");
                return nullptr;
            }
        }
        failure = on.Failure(reason);
        return nullptr;
    }
    return request;
}

int CGpiodLineRequest::Set(Line line, int level)
{
    Handles& handles = *m_pHandles;
    if (!handles.requested[line])
        return EPERM;
    if (gpiod_line_request_set_value(handles.request, handles.offsets[line], Value(level)) != 0)
        return errno;
    if (line == kRst)
        handles.rstLevel = level ? 1 : 0;
    return 0;
}

int CGpiodLineRequest::Get(Line line)
{
    if (!m_pHandles->requested[line])
        return -EPERM;
    const gpiod_line_value value =
        gpiod_line_request_get_value(m_pHandles->request, m_pHandles->offsets[line]);
    return value == GPIOD_LINE_VALUE_ERROR ? -errno : int(value);
}

int CGpiodLineRequest::SetDriving(bool on)
{
    Handles& handles = *m_pHandles;
    errno = 0;
    if (!on)
        handles.rstLevel = 0;
    const LineConfig config = handles.Config(on);
    if (!config || gpiod_line_request_reconfigure_lines(handles.request, config.get()) != 0)
        return errno ? errno : ENOMEM;
    return 0;
}

#endif
