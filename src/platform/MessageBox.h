// User-visible messages: one line "<caption>: <text>" on standard error. Never blocks.
#pragma once

#include <functional>

namespace platform {

void showMessage(const char* caption, const char* text);

// Replaces where messages go (tests); an empty function restores standard error.
void setMessageSink(std::function<void(const char* caption, const char* text)> sink);

}  // namespace platform
