#include "isp/IspFamily.h"

void CIspFamily::Attach(CIspProgrammer* isp)
{
    m_pIsp = isp;
}
