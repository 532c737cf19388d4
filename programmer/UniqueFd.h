#pragma once

// Owns one POSIX file descriptor and closes it when it goes.
class CUniqueFd {
public:
    CUniqueFd() = default;
    explicit CUniqueFd(int fd) : m_fd(fd) {}
    ~CUniqueFd();

    CUniqueFd(CUniqueFd&& other) noexcept;
    CUniqueFd& operator=(CUniqueFd&& other) noexcept;
    CUniqueFd(const CUniqueFd&) = delete;
    CUniqueFd& operator=(const CUniqueFd&) = delete;

    int Get() const { return m_fd; }
    bool IsValid() const { return m_fd >= 0; }
    // Closes the held descriptor (if any) and takes fd.
    void Reset(int fd = -1);
    // Gives the descriptor up without closing it.
    int Release();

private:
    int m_fd = -1;
};
