#include "support/FileDescriptor.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace vyn {

int openDescriptorForReading(const std::string& path) {
    if (path.empty()) return -1;
    int fd;
    do {
        fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    } while (fd < 0 && errno == EINTR);
    return fd;
}

void closeDescriptor(int descriptor) {
    if (descriptor >= 0) ::close(descriptor);
}

std::int64_t readDescriptorAt(int descriptor, std::uint64_t offset, void* dst, std::size_t n) {
    if (descriptor < 0) return -1;
    auto* out = static_cast<unsigned char*>(dst);
    std::size_t done = 0;
    while (done < n) {
        // Linux transfers at most about 2 GiB per call.
        const std::size_t ask = n - done < 0x40000000u ? n - done : 0x40000000u;
        const ssize_t got = ::pread(descriptor, out + done, ask, static_cast<off_t>(offset + done));
        if (got < 0) {
            if (errno == EINTR) continue;
            return -1;
        }
        if (got == 0) break;
        done += static_cast<std::size_t>(got);
    }
    return static_cast<std::int64_t>(done);
}

bool descriptorFileSize(int descriptor, std::uint64_t& size) {
    struct stat st {};
    if (descriptor < 0 || ::fstat(descriptor, &st) != 0 || !S_ISREG(st.st_mode) || st.st_size < 0)
        return false;
    size = static_cast<std::uint64_t>(st.st_size);
    return true;
}

bool rewindDescriptor(int descriptor) {
    return descriptor >= 0 && ::lseek(descriptor, 0, SEEK_SET) == 0;
}

std::int64_t readDescriptorOnce(int descriptor, void* dst, std::size_t n) {
    ssize_t got;
    do {
        got = ::read(descriptor, dst, n);
    } while (got < 0 && errno == EINTR);
    return got;
}

} // namespace vyn
