#pragma once

#include <string>

#include "programmer/DeviceBackend.h"

// The log line that follows "初始化串口通讯失败." or "初始化并口失败.": the
// device path, the system's reason and what the user can do about it, for
// example "串口 /dev/ttyUSB0: 权限不够 (请把用户加入 dialout 组)", in the
// interface's language. Empty when the backend could not say why (error 0).
std::string SerialPortFailureLine(const PortOpenFailure& failure);
// GPIO lines and FTDI cables use the parallel port's status; their failure
// names its kind ("GPIO /dev/gpiochip0: 权限不够 (...)").
std::string ParallelPortFailureLine(const PortOpenFailure& failure);

// The line after "编程器:操作超时,没有响应." when a serial board kept silent:
// the port it was asked on and what to check.
std::string NoAnswerLine(const std::string& path);

// The errno text in the interface's language for the errors opening a
// device commonly gives (Chinese as glibc words them), else the system's own
// text.
std::string ErrorText(int error);
