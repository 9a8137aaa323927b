#pragma once
// Positional reads on plain file descriptors, for readers that stream a file and skip parts of
// it without reading them. One implementation per platform (FileDescriptorPosix.cpp).
//
// Threading: no shared state; a descriptor belongs to one thread at a time.

#include <cstddef>
#include <cstdint>
#include <string>

namespace vyn {

// Opens `path` (UTF-8) read-only; -1 when it cannot be opened. Close with closeDescriptor.
int openDescriptorForReading(const std::string& path);
// Reads up to `n` bytes at `offset` without moving the descriptor; fewer only at the end of the
// file. -1 on a read error.
std::int64_t readDescriptorAt(int descriptor, std::uint64_t offset, void* dst, std::size_t n);
// The size of the file behind the descriptor; false when it is not a regular file.
bool descriptorFileSize(int descriptor, std::uint64_t& size);

} // namespace vyn
