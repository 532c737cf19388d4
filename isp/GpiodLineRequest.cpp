#include "isp/GpiodLineRequest.h"

#include <cerrno>

std::unique_ptr<IGpioLineRequest> CGpiodLineRequest::Request(const GpioWiring& wiring,
                                                             LinesOpenFailure& failure)
{
    return RequestIn(kDeviceDir, wiring, failure);
}

GpioWiring CGpiodLineRequest::OnChip(const GpioWiring& wiring, const std::string& path)
{
    GpioWiring on = wiring;
    on.m_strChip = path;
    on.m_bHeaderChip = false;
    return on;
}

#if !TAMBERLINK_GPIOD_API

struct CGpiodLineRequest::Handles {};

CGpiodLineRequest::CGpiodLineRequest() = default;
CGpiodLineRequest::~CGpiodLineRequest() = default;

std::unique_ptr<IGpioLineRequest> CGpiodLineRequest::RequestIn(const std::string&,
                                                               const GpioWiring& wiring,
                                                               LinesOpenFailure& failure)
{
    failure = wiring.Failure(ENOSYS);
    failure.text = wiring.DevicePath() + ": this build of Tamberlink has no GPIO support (it"
        " needs libgpiod 1.6 or 2.x, Debian package libgpiod-dev, when it is built)";
    return nullptr;
}

int CGpiodLineRequest::Set(Line, int)
{
    return ENOSYS;
}

int CGpiodLineRequest::Get(Line)
{
    return -ENOSYS;
}

int CGpiodLineRequest::SetDriving(bool)
{
    return ENOSYS;
}

#endif
