#pragma once

#include <memory>
#include <string>

#include "isp/CableDescription.h"
#include "isp/IspEngine.h"
#include "isp/PortRegisters.h"

class CParallelCableLines;
class CProgrammer;
class IMessageSink;

// The backend for the parallel-port ISP cables (programmer types 1 to 3, the
// type being the cable type): the engine on the cable's lines.
class CIspProgrammer : public CIspEngine {
public:
    static constexpr int kDefaultBase = 888;

    // Port and driver failures are shown through messages.
    explicit CIspProgrammer(IMessageSink& messages);
    ~CIspProgrammer() override;

    // Makes the backend for cable type progType with latch mode ispSetting,
    // installs it in programmer and opens the port at 888 (LPT1); 1 when the
    // port is usable.
    static int OpenBackend(CProgrammer& programmer, int progType, int ispSetting);

    // Opens the port at base, posts 4 (ready) or 1 (failed) through the
    // controller, loads the cable description for cableType (type 1 from
    // "Quenby.ini" in the program folder), enables the latch and attaches
    // the family handlers. Returns 1 when the port is usable. Call once.
    int Init(CProgrammer* controller, int basePort, int cableType, int latchMode);
    // The same on a given register set (the simulated cable, tests); a null
    // set is a port that did not open.
    int InitWith(CProgrammer* controller, std::unique_ptr<IPortRegisters> registers,
                 int cableType, int latchMode);

    // Tests turn this off before Init so that the port never falls back to
    // real I/O ports.
    void SetDirectIoAllowed(bool allowed) { m_bDirectIoAllowed = allowed; }

    int CableType() const;
    int LatchMode() const;
    const CableDescription& Cable() const;

private:
    IMessageSink& m_messages;
    CParallelCableLines* m_pCable = nullptr;  // owned by the engine
    bool m_bDirectIoAllowed = true;
};
