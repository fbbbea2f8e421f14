#include "platform/MessageBox.h"

#include <cstdio>
#include <mutex>

namespace platform {

namespace {
std::mutex sinkMutex;
std::function<void(const char*, const char*)>& sink() {
    static std::function<void(const char*, const char*)> instance;
    return instance;
}
}  // namespace

void showMessage(const char* caption, const char* text) {
    std::lock_guard<std::mutex> lock(sinkMutex);
    if (sink()) {
        sink()(caption ? caption : "", text ? text : "");
        return;
    }
    std::fprintf(stderr, "%s: %s\n", caption ? caption : "", text ? text : "");
}

void setMessageSink(std::function<void(const char*, const char*)> newSink) {
    std::lock_guard<std::mutex> lock(sinkMutex);
    sink() = std::move(newSink);
}

}  // namespace platform
