#include "platform/StderrMessageSink.h"

#include <cstdio>
#include <mutex>

void CStderrMessageSink::ShowMessage(const std::string& text, const std::string&, MessageIcon)
{
    // Several threads may report at once; keep each message whole.
    static std::mutex mutex;
    std::lock_guard lock(mutex);
    std::fputs(text.c_str(), stderr);
    if (text.empty() || text.back() != '\n')
        std::fputc('\n', stderr);
    std::fflush(stderr);
}
