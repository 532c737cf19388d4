#pragma once

class CBackendTable;

// The kinds of programmer this program drives, by programmer type: the
// serial board (0), the parallel-port cables (1 to 3), ISP over GPIO lines
// (4), ISP over an FTDI cable in bit-bang mode (5) and ISP over Linux SPI
// (6).
const CBackendTable& HardwareBackends();
