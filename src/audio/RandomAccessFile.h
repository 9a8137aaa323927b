#pragma once
// Platform services of the audio decoder: a read-only file read at explicit offsets, whole-
// descriptor reads, and a memory hint for decoded tracks. One implementation per platform
// (RandomAccessFilePosix.cpp, RandomAccessFileWindows.cpp).
//
// Threading: a RandomAccessFile belongs to one thread at a time.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace vyn {

class RandomAccessFile {
public:
    RandomAccessFile() = default;
    ~RandomAccessFile();
    RandomAccessFile(const RandomAccessFile&) = delete;
    RandomAccessFile& operator=(const RandomAccessFile&) = delete;

    // Opens `path` (UTF-8) for reading. False when it cannot be opened.
    bool open(const std::string& path);
    // The size when opened; false when it cannot be determined.
    bool size(std::uint64_t& bytes) const;
    // Reads up to `n` bytes at `offset`; returns the bytes read (fewer only at the end of the
    // file), or -1 on a read error.
    std::int64_t readAt(std::uint64_t offset, void* dst, std::size_t n) const;

private:
    std::intptr_t handle_ = -1; // descriptor (POSIX) or HANDLE (Windows); -1 when closed
};

struct DescriptorReadResult {
    bool ok = false;
    std::vector<unsigned char> bytes;
    std::string error;
};

// Reads a descriptor's whole content from offset 0 in 64 KiB pieces, at most `limit` bytes.
// Errors: "invalid file descriptor", "read failed (errno N)", "file is too large to load",
// "descriptor held no data".
DescriptorReadResult readWholeDescriptor(int descriptor, std::uint64_t limit);

// Moves the descriptor back to offset 0.
bool rewindDescriptor(int descriptor);

// Tells the system that [data, data + bytes) is a large buffer about to be filled once and then
// kept: backing it with large pages saves most of the page faults of a track's worth of memory.
// Only a hint; does nothing where unsupported.
void hintLargeBuffer(void* data, std::size_t bytes);

} // namespace vyn
