#include "tests/soak/CountingStatusQueue.h"

void CCountingStatusQueue::PostStatus(int code)
{
    ++m_nPosted;
    CStatusQueue::PostStatus(code);
}

void CCountingStatusQueue::SelectDeviceEntry(int index)
{
    ++m_nPosted;
    CStatusQueue::SelectDeviceEntry(index);
}
