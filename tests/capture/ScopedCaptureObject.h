// Points the capture memory at a private shared memory object for one test, so tests
// never touch the object real plug-ins use nor each other's, and maps that object
// through a view of the test's own to check bytes at their offsets.
#pragma once

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "capture/CaptureMemory.h"

class ScopedCaptureObject {
public:
    explicit ScopedCaptureObject(const std::string& tag)
        : name("/ZorvekCapTest-" + tag + "-" + std::to_string(getpid())) {
        if (const char* old = std::getenv(kVariable)) previous = old, hadPrevious = true;
        shm_unlink(name.c_str());
        setenv(kVariable, name.c_str(), 1);
    }
    ~ScopedCaptureObject() {
        if (view) munmap(view, CaptureMemory::kBytes);
        shm_unlink(name.c_str());
        if (hadPrevious)
            setenv(kVariable, previous.c_str(), 1);
        else
            unsetenv(kVariable);
    }
    ScopedCaptureObject(const ScopedCaptureObject&) = delete;
    ScopedCaptureObject& operator=(const ScopedCaptureObject&) = delete;

    // Maps the object that the code under test created; false when it does not exist.
    bool map() {
        int fd = shm_open(name.c_str(), O_RDWR, 0);
        if (fd < 0) return false;
        struct stat info {};
        fstat(fd, &info);
        size = static_cast<size_t>(info.st_size);
        mode = info.st_mode & 0777;
        void* v = mmap(nullptr, CaptureMemory::kBytes, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
        close(fd);
        view = v == MAP_FAILED ? nullptr : static_cast<unsigned char*>(v);
        return view != nullptr;
    }

    int32_t indexAt(size_t offset) const { return read<int32_t>(offset); }
    float sampleAt(size_t offset) const { return read<float>(offset); }
    void setIndexAt(size_t offset, int32_t value) { std::memcpy(view + offset, &value, sizeof value); }
    void setSampleAt(size_t offset, float value) { std::memcpy(view + offset, &value, sizeof value); }

    const std::string name;
    size_t size = 0;
    unsigned mode = 0;

private:
    static constexpr const char* kVariable = "ZORVEK_CAPTURE_SHM";

    template <typename T>
    T read(size_t offset) const {
        T value;
        std::memcpy(&value, view + offset, sizeof value);
        return value;
    }

    unsigned char* view = nullptr;
    std::string previous;
    bool hadPrevious = false;
};
