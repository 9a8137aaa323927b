#pragma once
// Plain file descriptors: opening for reading, positional reads for readers that skip parts of a
// file without reading them, whole-descriptor reads, and RandomAccessFile, which owns one. One
// implementation per platform (FileDescriptorPosix.cpp, FileDescriptorWindows.cpp) under the
// portable whole-descriptor read (FileDescriptor.cpp).
//
// Threading: no shared state; a descriptor belongs to one thread at a time.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace vyn {

// Opens `path` (UTF-8) read-only; -1 when it cannot be opened. Close with closeDescriptor.
int openDescriptorForReading(const std::string& path);
// Closes an open descriptor; negative values are ignored.
void closeDescriptor(int descriptor);
// Reads up to `n` bytes at `offset` (POSIX: without moving the descriptor); fewer only at the
// end of the file. -1 on a read error.
std::int64_t readDescriptorAt(int descriptor, std::uint64_t offset, void* dst, std::size_t n);
// The size of the file behind the descriptor; false when it is not a regular file.
bool descriptorFileSize(int descriptor, std::uint64_t& size);
// Moves the descriptor back to offset 0.
bool rewindDescriptor(int descriptor);
// Reads what one call gives, up to `n` bytes, from the descriptor's position: 0 at the end of
// the file, -1 on an error (errno tells which; an interrupted call is retried).
std::int64_t readDescriptorOnce(int descriptor, void* dst, std::size_t n);

struct DescriptorReadResult {
    bool ok = false;
    std::vector<unsigned char> bytes;
    std::string error;
};

// Reads a descriptor's whole content from offset 0 in 64 KiB pieces, at most `limit` bytes.
// Errors: "invalid file descriptor", "read failed (errno N)", "file is too large to load",
// "descriptor held no data".
DescriptorReadResult readWholeDescriptor(int descriptor, std::uint64_t limit);

// A read-only file read at explicit offsets; closes its descriptor when destroyed.
class RandomAccessFile {
public:
    RandomAccessFile() = default;
    ~RandomAccessFile() { closeDescriptor(descriptor_); }
    RandomAccessFile(const RandomAccessFile&) = delete;
    RandomAccessFile& operator=(const RandomAccessFile&) = delete;

    // Opens `path` (UTF-8). False when it cannot be opened.
    bool open(const std::string& path) {
        closeDescriptor(descriptor_);
        descriptor_ = openDescriptorForReading(path);
        return descriptor_ >= 0;
    }
    // The size when opened; false when it cannot be determined.
    bool size(std::uint64_t& bytes) const { return descriptorFileSize(descriptor_, bytes); }
    // Reads up to `n` bytes at `offset`; the bytes read (fewer only at the end of the file), or
    // -1 on a read error.
    std::int64_t readAt(std::uint64_t offset, void* dst, std::size_t n) const {
        return readDescriptorAt(descriptor_, offset, dst, n);
    }

private:
    int descriptor_ = -1;
};

} // namespace vyn
