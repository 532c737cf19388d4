#pragma once

class CBackendTable;

// The kinds of programmer this program drives, by programmer type: the
// serial board (0) and the parallel-port cables (1 to 3).
const CBackendTable& HardwareBackends();
