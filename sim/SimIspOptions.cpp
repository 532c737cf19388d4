#include "sim/SimIspOptions.h"

#include "isp/IspSettings.h"
#include "sim/SimTargetBoard.h"

void PrepareSimTarget(CSimTargetBoard& board, const CProgrammer& host, const SimIspOptions& options)
{
    const double mhz =
        options.crystalMHz > 0 ? options.crystalMHz : IspSettings::For(host).crystalMHz;
    board.Target().SetCrystalHz(mhz * 1e6);
    board.Target().SetMisoFault(options.misoFault);
}
