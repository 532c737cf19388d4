#pragma once

#include <string>

// Where the core sends the few modal messages the program shows (HEX
// conversion errors, port failures), and where the window asks its rare
// questions. The window shows a message box, the CLI
// writes to stderr, tests record them.
enum class MessageIcon { Stop, Warning, Information };

class IMessageSink {
public:
    virtual ~IMessageSink() = default;
    // text and caption are UTF-8. May be called from any thread.
    virtual void ShowMessage(const std::string& text, const std::string& caption,
                             MessageIcon icon) = 0;
    // A yes/no question, answered before it returns; true for yes. Only on
    // the thread that owns the windows. A sink that cannot ask answers no,
    // which leaves things as they are.
    virtual bool AskYesNo(const std::string& text, const std::string& caption)
    {
        (void)text;
        (void)caption;
        return false;
    }
};
