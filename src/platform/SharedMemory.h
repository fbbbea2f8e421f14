// Named shared memory that several processes of the same user map together.
#pragma once

#include <cstddef>

namespace platform {

// Maps the POSIX shared memory object `name` ("/Name") read-write and shared, creating
// it with mode 0600 when it does not exist (the system zero-fills a new object) and
// growing it to `bytes` when it is smaller; a larger object is left as it is.
// Answers null when the object cannot be opened, sized or mapped.
void* mapSharedMemory(const char* name, size_t bytes);

// Releases a view from mapSharedMemory; the object itself lives on for other users.
void unmapSharedMemory(void* view, size_t bytes);

}  // namespace platform
