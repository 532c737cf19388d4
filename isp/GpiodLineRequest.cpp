#include "isp/GpiodLineRequest.h"

#include <cerrno>

#if TAMBERLINK_HAVE_GPIOD
#include <gpiod.h>
#endif

#if TAMBERLINK_HAVE_GPIOD

std::unique_ptr<IGpioLineRequest> CGpiodLineRequest::Request(const GpioWiring& wiring,
                                                             LinesOpenFailure& failure)
{
    std::unique_ptr<CGpiodLineRequest> request(new CGpiodLineRequest());
    request->m_pChip = gpiod_chip_open_lookup(wiring.m_strChip.c_str());
    if (!request->m_pChip) {
        // A name that is neither path, name, label nor number leaves errno 0.
        failure = wiring.Failure(errno ? errno : ENOENT);
        return nullptr;
    }
    const int count = int(gpiod_chip_num_lines(request->m_pChip));
    const int offsets[4] = {wiring.m_nMosi, wiring.m_nSck, wiring.m_nRst, wiring.m_nMiso};
    for (int i = 0; i < 4; ++i) {
        if (offsets[i] >= count) {
            failure = wiring.Failure(EINVAL, offsets[i], count);
            return nullptr;
        }
        gpiod_line* line = gpiod_chip_get_line(request->m_pChip, unsigned(offsets[i]));
        const int result = !line ? -1
            : i == kMiso         ? gpiod_line_request_input(line, kConsumer)
                                 : gpiod_line_request_output(line, kConsumer, 0);
        if (result != 0) {
            const int reason = errno;
            std::string consumer;
            if (line && gpiod_line_update(line) == 0 && gpiod_line_consumer(line))
                consumer = gpiod_line_consumer(line);
            failure = wiring.Failure(reason, offsets[i], count, consumer);
            return nullptr;
        }
        request->m_pLines[i] = line;
    }
    return request;
}

CGpiodLineRequest::~CGpiodLineRequest()
{
    for (gpiod_line* line : m_pLines)
        if (line)
            gpiod_line_release(line);
    if (m_pChip)
        gpiod_chip_close(m_pChip);
}

int CGpiodLineRequest::Set(Line line, int level)
{
    return gpiod_line_set_value(m_pLines[line], level ? 1 : 0) == 0 ? 0 : errno;
}

int CGpiodLineRequest::Get(Line line)
{
    const int value = gpiod_line_get_value(m_pLines[line]);
    return value < 0 ? -errno : value;
}

#else

std::unique_ptr<IGpioLineRequest> CGpiodLineRequest::Request(const GpioWiring& wiring,
                                                             LinesOpenFailure& failure)
{
    failure = wiring.Failure(ENOSYS);
    failure.text = wiring.DevicePath() + ": this build of Tamberlink has no GPIO support (it"
        " needs libgpiod 1.x, Debian package libgpiod-dev, when it is built)";
    return nullptr;
}

CGpiodLineRequest::~CGpiodLineRequest() = default;

int CGpiodLineRequest::Set(Line, int)
{
    return ENOSYS;
}

int CGpiodLineRequest::Get(Line)
{
    return -ENOSYS;
}

#endif
