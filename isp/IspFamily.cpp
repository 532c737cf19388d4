#include "isp/IspFamily.h"

void CIspFamily::Attach(IIspFrameLink* link)
{
    m_pLink = link;
}
