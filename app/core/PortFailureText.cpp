#include "app/core/PortFailureText.h"

#include <cerrno>
#include <cstring>

#include "platform/UiText.h"

namespace {

bool NoSuchDevice(int error)
{
    return error == ENOENT || error == ENODEV || error == ENXIO;
}

std::string Line(const char* kind, const PortOpenFailure& failure, const std::string& reason,
                 const char* fix)
{
    std::string line = std::string(Tr(kind)) + " " + failure.path + ": " + reason;
    if (fix)
        line += std::string(" (") + Tr(fix) + ")";
    return line;
}

}  // namespace

std::string ErrorText(int error)
{
    switch (error) {
    case EPERM: return Tr("不允许的操作");
    case ENOENT: return Tr("没有那个文件或目录");
    case EIO: return Tr("输入/输出错误");
    case ENXIO: return Tr("没有那个设备或地址");
    case EACCES: return Tr("权限不够");
    case EBUSY: return Tr("设备或资源忙");
    case ENODEV: return Tr("没有那个设备");
    case ENOTDIR: return Tr("不是目录");
    case EISDIR: return Tr("是一个目录");
    case EROFS: return Tr("只读文件系统");
    case ENOTTY: return Tr("对设备不适当的 ioctl 操作");
    case ELOOP: return Tr("符号链接的层数过多");
    case EAGAIN: return Tr("资源暂时不可用");
    case EINVAL: return Tr("无效的参数");
    case ENOSYS: return Tr("函数未实现");
    default: return std::strerror(error);
    }
}

std::string SerialPortFailureLine(const PortOpenFailure& failure)
{
    const int error = failure.error;
    if (error == 0)
        return {};
    if (error == kErrorNoUart)
        return Line("串口", failure, Tr("没有串口硬件(UART)"), "请选择编程器所接的串口");
    if (error == kErrorNotSerial)
        return Line("串口", failure, Tr("不是串口设备"), nullptr);
    if (error == kErrorEchoLine)
        return Line("串口", failure, Tr("发出的数据被原样送回"),
                    "请检查 TX 是否接到了 RX, 或调制解调器是否开着回显");
    if (error == EACCES || error == EPERM)
        return Line("串口", failure, ErrorText(error), "请把用户加入 dialout 组");
    if (error == EBUSY)
        return Line("串口", failure, ErrorText(error), "另一个程序正在使用该串口");
    if (NoSuchDevice(error))
        return Line("串口", failure, ErrorText(error), "请检查连线和串口设置");
    return Line("串口", failure, ErrorText(error), nullptr);
}

std::string NoAnswerLine(const std::string& path)
{
    return Line("串口", PortOpenFailure{path}, Tr("没有应答"),
                "请检查编程器是否接好、通电并接在这个串口上");
}

std::string ParallelPortFailureLine(const PortOpenFailure& failure)
{
    const int error = failure.error;
    if (error == 0)
        return {};
    // GPIO lines and FTDI cables report through the same status: they say
    // what they are and what to do.
    if (!failure.kind.empty())
        return Line(failure.kind.c_str(), failure, ErrorText(error),
                    failure.fix.empty() ? nullptr : failure.fix.c_str());
    if (error == EACCES || error == EPERM)
        return Line("并口", failure, ErrorText(error), "请把用户加入 lp 组");
    if (error == EBUSY)
        return Line("并口", failure, ErrorText(error), "另一个程序或 lp 驱动正在使用并口");
    if (NoSuchDevice(error))
        return Line("并口", failure, ErrorText(error), "请加载 ppdev 模块: sudo modprobe ppdev");
    return Line("并口", failure, ErrorText(error), nullptr);
}
