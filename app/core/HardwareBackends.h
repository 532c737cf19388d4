#pragma once

class CBackendTable;

// The kinds of programmer this program drives, by programmer type: the
// serial board (0), the parallel-port cables (1 to 3) and ISP over GPIO
// lines (4).
const CBackendTable& HardwareBackends();
