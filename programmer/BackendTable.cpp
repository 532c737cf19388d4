#include "programmer/BackendTable.h"

const CBackendTable::Kind* CBackendTable::Find(int progType) const
{
    for (const Kind& kind : m_kinds)
        if (progType >= kind.firstType && progType <= kind.lastType)
            return &kind;
    return nullptr;
}

int CBackendTable::SlotOf(int progType) const
{
    const Kind* kind = Find(progType);
    return kind ? kind->firstType : -1;
}

int CBackendTable::Open(CProgrammer& programmer, int progType, int ispSetting) const
{
    const Kind* kind = Find(progType);
    return kind && kind->open ? kind->open(programmer, progType, ispSetting) : 0;
}
