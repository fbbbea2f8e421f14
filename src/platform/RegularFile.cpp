#include "platform/RegularFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace platform {

RegularFile::RegularFile(const std::string& path) {
    // O_NONBLOCK: opening a FIFO for reading would otherwise wait for a writer forever.
    fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
        error = errno;
        // A file behind a folder we may not search is as good as missing: nothing can
        // read or replace it from here.
        state = error == ENOENT || error == ENOTDIR || !pathExists(path) ? Status::Missing : Status::Unreadable;
        return;
    }
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        ::close(fd);
        fd = -1;
        state = Status::NotRegular;
        return;
    }
    length = info.st_size;
    state = Status::Open;
}

RegularFile::~RegularFile() {
    if (fd >= 0) ::close(fd);
}

std::string RegularFile::reason() const {
    switch (state) {
        case Status::Open:
            return {};
        case Status::NotRegular:
            return "Not a regular file";
        default:
            return std::strerror(error);
    }
}

size_t RegularFile::readAt(int64_t offset, void* out, size_t n) {
    if (fd < 0 || offset < 0) return 0;
    size_t got = 0;
    while (got < n) {
        ssize_t r = ::pread(fd, static_cast<char*>(out) + got, n - got, static_cast<off_t>(offset + got));
        if (r < 0 && errno == EINTR) continue;
        if (r <= 0) break;
        got += static_cast<size_t>(r);
    }
    return got;
}

bool pathExists(const std::string& path) {
    struct stat info {};
    return ::lstat(path.c_str(), &info) == 0;
}

}  // namespace platform
