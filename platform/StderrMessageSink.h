#pragma once

#include "platform/MessageSink.h"

// The CLI's message sink: each message as one UTF-8 line on stderr.
class CStderrMessageSink : public IMessageSink {
public:
    void ShowMessage(const std::string& text, const std::string& caption,
                     MessageIcon icon) override;
};
