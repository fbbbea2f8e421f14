// Reading a file named by the user or by saved state without letting it block the
// calling thread: the file is opened without waiting (a FIFO with no writer, a device)
// and refused unless it is a regular file. Loading threads only, never the audio thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace platform {

class RegularFile {
public:
    enum class Status {
        Open,        // a regular file, readable
        Missing,     // no such file, or none visible (a folder on the way cannot be searched)
        NotRegular,  // a FIFO, device, socket or folder; also through a symbolic link
        Unreadable,  // exists but cannot be opened (permission, loop of links, ...)
    };

    explicit RegularFile(const std::string& path);
    ~RegularFile();
    RegularFile(const RegularFile&) = delete;
    RegularFile& operator=(const RegularFile&) = delete;

    Status status() const { return state; }
    bool isOpen() const { return state == Status::Open; }
    // Why the file is not open, as a capitalised phrase for a message ("" when it is).
    std::string reason() const;
    // Size when opened; the file may shrink later, reads then come up short.
    int64_t size() const { return length; }
    // Reads up to n bytes at offset; answers how many came (0 at end of file or on error).
    size_t readAt(int64_t offset, void* out, size_t n);

private:
    int fd = -1;
    Status state = Status::Missing;
    int error = 0;
    int64_t length = 0;
};

// Whether anything exists at the path (a broken symbolic link counts: it is there).
bool pathExists(const std::string& path);

}  // namespace platform
