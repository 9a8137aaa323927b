#include "audio/RandomAccessFile.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

namespace vyn {

namespace {
int fdOf(std::intptr_t handle) {
    return static_cast<int>(handle);
}
} // namespace

RandomAccessFile::~RandomAccessFile() {
    if (handle_ >= 0) ::close(fdOf(handle_));
}

bool RandomAccessFile::open(const std::string& path) {
    if (handle_ >= 0) ::close(fdOf(handle_));
    int fd;
    do {
        fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    } while (fd < 0 && errno == EINTR);
    handle_ = fd;
    return fd >= 0;
}

bool RandomAccessFile::size(std::uint64_t& bytes) const {
    struct stat st {};
    if (handle_ < 0 || ::fstat(fdOf(handle_), &st) != 0 || st.st_size < 0) return false;
    bytes = static_cast<std::uint64_t>(st.st_size);
    return true;
}

std::int64_t RandomAccessFile::readAt(std::uint64_t offset, void* dst, std::size_t n) const {
    if (handle_ < 0) return -1;
    auto* out = static_cast<unsigned char*>(dst);
    std::size_t done = 0;
    while (done < n) {
        // Linux transfers at most about 2 GiB per call.
        const std::size_t ask = n - done < 0x40000000u ? n - done : 0x40000000u;
        const ssize_t got =
            ::pread(fdOf(handle_), out + done, ask, static_cast<off_t>(offset + done));
        if (got < 0) {
            if (errno == EINTR) continue;
            return -1;
        }
        if (got == 0) break;
        done += static_cast<std::size_t>(got);
    }
    return static_cast<std::int64_t>(done);
}

DescriptorReadResult readWholeDescriptor(int descriptor, std::uint64_t limit) {
    DescriptorReadResult r;
    if (descriptor < 0) {
        r.error = "invalid file descriptor";
        return r;
    }
    // Not every descriptor can seek (a pipe reads from where it stands).
    ::lseek(descriptor, 0, SEEK_SET);
    struct stat st {};
    if (::fstat(descriptor, &st) == 0 && S_ISREG(st.st_mode) && st.st_size > 0 &&
        static_cast<std::uint64_t>(st.st_size) <= limit)
        r.bytes.reserve(static_cast<std::size_t>(st.st_size) + 1);
    constexpr std::size_t kPiece = 65536;
    for (;;) {
        const std::size_t at = r.bytes.size();
        r.bytes.resize(at + kPiece);
        const ssize_t got = ::read(descriptor, r.bytes.data() + at, kPiece);
        if (got < 0) {
            if (errno == EINTR) {
                r.bytes.resize(at);
                continue;
            }
            const int code = errno;
            r.bytes.clear();
            r.error = "read failed (errno " + std::to_string(code) + ")";
            return r;
        }
        r.bytes.resize(at + static_cast<std::size_t>(got));
        if (r.bytes.size() > limit) {
            r.bytes.clear();
            r.bytes.shrink_to_fit();
            r.error = "file is too large to load";
            return r;
        }
        if (got == 0) break;
    }
    if (r.bytes.empty()) {
        r.error = "descriptor held no data";
        return r;
    }
    r.ok = true;
    return r;
}

bool rewindDescriptor(int descriptor) {
    return descriptor >= 0 && ::lseek(descriptor, 0, SEEK_SET) == 0;
}

void hintLargeBuffer(void* data, std::size_t bytes) {
#ifdef MADV_HUGEPAGE
    constexpr std::uintptr_t kHuge = 2u << 20;
    const auto begin = reinterpret_cast<std::uintptr_t>(data);
    const std::uintptr_t first = (begin + kHuge - 1) & ~(kHuge - 1);
    const std::uintptr_t last = (begin + bytes) & ~(kHuge - 1);
    if (last > first) ::madvise(reinterpret_cast<void*>(first), last - first, MADV_HUGEPAGE);
#else
    (void)data;
    (void)bytes;
#endif
}

} // namespace vyn
