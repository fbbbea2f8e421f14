#include "platform/SharedMemory.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

void* mapSharedMemory(const char* name, size_t bytes) {
    if (!name || bytes == 0) return nullptr;
    int fd = shm_open(name, O_CREAT | O_RDWR, 0600);
    if (fd < 0) return nullptr;
    // Whoever comes first sizes the object; never shrink one that another side made.
    struct stat info {};
    bool sized = fstat(fd, &info) == 0 &&
                 (static_cast<size_t>(info.st_size) >= bytes || ftruncate(fd, static_cast<off_t>(bytes)) == 0);
    void* view = sized ? mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0) : MAP_FAILED;
    close(fd);  // the mapping keeps the object alive
    return view == MAP_FAILED ? nullptr : view;
}

void unmapSharedMemory(void* view, size_t bytes) {
    if (view) munmap(view, bytes);
}

}  // namespace platform
