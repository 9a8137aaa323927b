#include "support/FileDescriptor.h"

#include <cerrno>

namespace vyn {

DescriptorReadResult readWholeDescriptor(int descriptor, std::uint64_t limit) {
    DescriptorReadResult r;
    if (descriptor < 0) {
        r.error = "invalid file descriptor";
        return r;
    }
    // Not every descriptor can seek (a pipe reads from where it stands).
    rewindDescriptor(descriptor);
    std::uint64_t size = 0;
    if (descriptorFileSize(descriptor, size) && size > 0 && size <= limit)
        r.bytes.reserve(static_cast<std::size_t>(size) + 1);
    constexpr std::size_t kPiece = 65536;
    for (;;) {
        const std::size_t at = r.bytes.size();
        r.bytes.resize(at + kPiece);
        const std::int64_t got = readDescriptorOnce(descriptor, r.bytes.data() + at, kPiece);
        if (got < 0) {
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

} // namespace vyn
