#pragma once
// The three string kinds of export.pdb rows (short ASCII, long ASCII, long UTF-16LE), decoded to
// well-formed UTF-8.

#include <cstddef>
#include <string>

namespace vyn {

// Decodes the string that starts at `position` inside a page of `pageSize` bytes. A string of an
// unknown kind, or one that would run past the page, reads as empty. Bytes 0x80-0xFF of ASCII
// strings are taken as Latin-1; lone UTF-16 surrogates become U+FFFD.
std::string readPdbString(const unsigned char* page, std::size_t pageSize, std::size_t position);

} // namespace vyn
