#pragma once

#include <mutex>
#include <string>
#include <vector>

#include "platform/MessageSink.h"

// Keeps the texts shown, from any thread; the fuzz targets compare them with
// what their input calls for.
class CCountingMessageSink : public IMessageSink {
public:
    void ShowMessage(const std::string& text, const std::string& caption,
                     MessageIcon icon) override;
    std::vector<std::string> Texts() const;
    std::size_t Count() const;
    void Clear();

private:
    mutable std::mutex m_mutex;
    std::vector<std::string> m_texts;
};
