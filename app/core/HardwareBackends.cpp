#include "app/core/HardwareBackends.h"

#include "isp/FtdiProgrammer.h"
#include "isp/GpioProgrammer.h"
#include "isp/IspProgrammer.h"
#include "isp/SpiProgrammer.h"
#include "programmer/BackendTable.h"
#include "programmer/SerialProgrammer.h"

const CBackendTable& HardwareBackends()
{
    static const CBackendTable table({
        {0, 0, &CSerialProgrammer::OpenBackend},
        {1, 3, &CIspProgrammer::OpenBackend},
        {4, 4, &CGpioProgrammer::OpenBackend},
        {5, 5, &CFtdiProgrammer::OpenBackend},
        {6, 6, &CSpiProgrammer::OpenBackend},
    });
    return table;
}
