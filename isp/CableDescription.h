#pragma once

#include <string>

// Which connector pin carries each programming line of an ISP cable, and the
// levels that work its latch. Type 1 comes from "Quenby.ini" (defaults when
// the file or a key is missing); types 2 and 3 are fixed.
struct CableDescription {
    int m_nPinMosi = 14;
    int m_nPinMiso = 15;
    int m_nPinRst = 16;
    int m_nPinSck = 1;
    int m_nPinLe = 17;
    int m_nPinOe = 2;  // 0: the cable has none
    int m_nPinR1 = 3;
    int m_nPinR2 = 4;
    int m_nLeEnable = 1;
    int m_nLeDisable = 0;
    int m_nOeEnable = 0;
    int m_nOeDisable = 1;

    // cableType 1 reads iniPath ("Quenby.ini" in the program folder), 2 and 3
    // use their fixed maps; any other type gives the type-1 defaults.
    static CableDescription ForType(int cableType, const std::string& iniPath);
};
