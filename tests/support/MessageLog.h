// Collects the "caption: text" messages the plug-in shows while the object lives.
#pragma once

#include <string>
#include <vector>

#include "platform/MessageBox.h"

class MessageLog {
public:
    MessageLog() {
        platform::setMessageSink(
            [this](const char* caption, const char* text) { messages.push_back(std::string(caption) + ": " + text); });
    }
    ~MessageLog() { platform::setMessageSink({}); }
    MessageLog(const MessageLog&) = delete;
    MessageLog& operator=(const MessageLog&) = delete;

    std::vector<std::string> messages;
};
