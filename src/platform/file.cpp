#include "platform/file.h"

#include <cerrno>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "core/mem.h"

#if defined(_WIN32)
#include <io.h>

#include "platform/wide_path.h"
#endif

// Flags some runtimes lack (mingw-w64 among them) mean nothing there.
#ifndef O_CLOEXEC
#define O_CLOEXEC 0
#endif
#ifndef O_NOCTTY
#define O_NOCTTY 0
#endif
#ifndef O_NONBLOCK
#define O_NONBLOCK 0
#endif
#ifndef O_BINARY
#define O_BINARY 0
#endif

namespace quillon {
namespace {

struct Descriptor {
    int fd;
    ~Descriptor() {
        if (fd >= 0) ::close(fd);
    }
};

// Reads up to `size` bytes; the count read, or -1 on an error.
ssize_t ReadFully(int fd, uint8_t* into, size_t size) {
    size_t done = 0;
    while (done < size) {
        const ssize_t n = ::read(fd, into + done, size - done);
        if (n < 0) {
            if (errno == EINTR) continue;
            return -1;
        }
        if (n == 0) break;
        done += static_cast<size_t>(n);
    }
    return static_cast<ssize_t>(done);
}

int OpenForReading(const char* path) {
    constexpr int kFlags = O_RDONLY | O_BINARY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK;
#if defined(_WIN32)
    // The narrow open reads the ANSI code page; the names the finder reports are UTF-8.
    WidePath wide;
    if (WIDE_FromUtf8(path, &wide) && !wide.empty()) return ::_wopen(wide.c_str(), kFlags | _O_NOINHERIT);
#endif
    return ::open(path, kFlags);
}

}  // namespace

int FILE_ReadAll(const char* path, uint8_t** out, uint32_t* length, uint32_t max_size) {
    if (!path || !out || !length) return 0;
    Descriptor file{OpenForReading(path)};
    if (file.fd < 0) return 0;
    struct stat before {};
    // Only regular files: a FIFO or device could block or stream forever.
    if (::fstat(file.fd, &before) != 0 || !S_ISREG(before.st_mode)) return 0;
    if (before.st_size <= 0 || static_cast<uint64_t>(before.st_size) > max_size ||
        static_cast<uint64_t>(before.st_size) > kFileMaxSize) return 0;
    const auto size = static_cast<size_t>(before.st_size);
    MemBlock buffer(static_cast<uint8_t*>(MEM_Alloc(size)));
    if (!buffer) return 0;
    // A file that shrinks gives a short read; one that grows leaves a byte to read.
    uint8_t extra;
    struct stat after {};
    if (ReadFully(file.fd, buffer.get(), size) != static_cast<ssize_t>(size) || ReadFully(file.fd, &extra, 1) != 0 ||
        ::fstat(file.fd, &after) != 0 || after.st_size != before.st_size)
        return 0;
    *out = buffer.release();
    *length = static_cast<uint32_t>(size);
    return 1;
}

}  // namespace quillon
