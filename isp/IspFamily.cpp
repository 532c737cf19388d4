#include "isp/IspFamily.h"

void CIspFamily::Attach(CIspEngine* isp)
{
    m_pIsp = isp;
}
