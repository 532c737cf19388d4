// CGpiodLineRequest on libgpiod 1.x: one request per line.
#include "isp/GpiodLineRequest.h"

#if TAMBERLINK_GPIOD_API == 1

#include <gpiod.h>

#include <cerrno>

#include "isp/GpioChipLookup.h"

struct CGpiodLineRequest::Handles {
    gpiod_chip* chip = nullptr;
    gpiod_line* lines[4] = {};  // by Line

    ~Handles()
    {
        for (gpiod_line* line : lines)
            if (line)
                gpiod_line_release(line);
        if (chip)
            gpiod_chip_close(chip);
    }
};

CGpiodLineRequest::CGpiodLineRequest() : m_pHandles(std::make_unique<Handles>()) {}

CGpiodLineRequest::~CGpiodLineRequest() = default;

std::unique_ptr<IGpioLineRequest> CGpiodLineRequest::RequestIn(const std::string& deviceDir,
                                                               const GpioWiring& wiring,
                                                               LinesOpenFailure& failure)
{
    const CGpioChipLookup lookup(deviceDir, [](const std::string& path) {
        gpiod_chip* chip = gpiod_chip_open(path.c_str());
        if (!chip)
            return std::string();
        const std::string label = gpiod_chip_label(chip);
        gpiod_chip_close(chip);
        return label;
    });
    const std::string path = lookup.Find(wiring);
    if (path.empty()) {
        failure = wiring.Failure(ENOENT);
        return nullptr;
    }
    const GpioWiring on = OnChip(wiring, path);

    std::unique_ptr<CGpiodLineRequest> request(new CGpiodLineRequest());
    Handles& handles = *request->m_pHandles;
    errno = 0;
    handles.chip = gpiod_chip_open(on.m_strChip.c_str());
    if (!handles.chip) {
        failure = on.Failure(errno ? errno : ENOENT);
        return nullptr;
    }
    request->m_strChipName = gpiod_chip_name(handles.chip);
    const int count = int(gpiod_chip_num_lines(handles.chip));
    const int offsets[4] = {on.m_nMosi, on.m_nSck, on.m_nRst, on.m_nMiso};
    for (int i = 0; i < 4; ++i) {
        if (offsets[i] == GpioWiring::kNoLine)
            continue;
        if (offsets[i] >= count) {
            failure = on.Failure(EINVAL, offsets[i], count);
            return nullptr;
        }
        gpiod_line* line = gpiod_chip_get_line(handles.chip, unsigned(offsets[i]));
        // MOSI and SCK wait as inputs until an operation drives them.
        const int result = !line ? -1
            : i == kRst          ? gpiod_line_request_output(line, kConsumer, 0)
                                 : gpiod_line_request_input(line, kConsumer);
        if (result != 0) {
            const int reason = errno;
            std::string consumer;
            if (line && gpiod_line_update(line) == 0 && gpiod_line_consumer(line))
                consumer = gpiod_line_consumer(line);
            failure = on.Failure(reason, offsets[i], count, consumer);
            return nullptr;
        }
        handles.lines[i] = line;
    }
    return request;
}

int CGpiodLineRequest::Set(Line line, int level)
{
    if (!m_pHandles->lines[line])
        return EPERM;
    return gpiod_line_set_value(m_pHandles->lines[line], level ? 1 : 0) == 0 ? 0 : errno;
}

int CGpiodLineRequest::Get(Line line)
{
    if (!m_pHandles->lines[line])
        return -EPERM;
    const int value = gpiod_line_get_value(m_pHandles->lines[line]);
    return value < 0 ? -errno : value;
}

int CGpiodLineRequest::SetDriving(bool on)
{
    gpiod_line* const* lines = m_pHandles->lines;
    if (!on && gpiod_line_set_value(lines[kRst], 0) != 0)
        return errno;
    for (Line line : {kMosi, kSck}) {
        if (!lines[line])
            continue;
        int result = on ? gpiod_line_set_direction_output(lines[line], 0)
                        : gpiod_line_set_direction_input(lines[line]);
        // Kernels before 5.5 cannot change a held line's direction: let the
        // line go and ask for it again the other way.
        if (result != 0 && errno == ENOTTY) {
            gpiod_line_release(lines[line]);
            result = on ? gpiod_line_request_output(lines[line], kConsumer, 0)
                        : gpiod_line_request_input(lines[line], kConsumer);
        }
        if (result != 0)
            return errno;
    }
    return 0;
}

#endif
