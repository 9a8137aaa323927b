#pragma once
// Platform file access for the audio decoder: a read-only file read at explicit offsets, and
// whole-descriptor reads. One implementation per platform (RandomAccessFilePosix.cpp).
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
    int fd_ = -1;
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

} // namespace vyn
