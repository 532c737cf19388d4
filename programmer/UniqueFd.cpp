#include "programmer/UniqueFd.h"

#include <unistd.h>

#include <utility>

CUniqueFd::~CUniqueFd()
{
    Reset();
}

CUniqueFd::CUniqueFd(CUniqueFd&& other) noexcept : m_fd(other.Release()) {}

CUniqueFd& CUniqueFd::operator=(CUniqueFd&& other) noexcept
{
    if (this != &other)
        Reset(other.Release());
    return *this;
}

void CUniqueFd::Reset(int fd)
{
    // close() is not retried on EINTR: on Linux the descriptor is gone anyway.
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = fd;
}

int CUniqueFd::Release()
{
    return std::exchange(m_fd, -1);
}
