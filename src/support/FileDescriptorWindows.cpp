#include "support/FileDescriptor.h"
#include "support/WideText.h"

#include <cerrno>
#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
#include <windows.h>

namespace vyn {

int openDescriptorForReading(const std::string& path) {
    const std::wstring wide = widen(path);
    if (wide.empty()) return -1;
    // Shared for deletion too: a track may be moved away while it plays.
    HANDLE h = CreateFileW(wide.c_str(), GENERIC_READ,
                           FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                           OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return -1;
    const int fd = _open_osfhandle(reinterpret_cast<std::intptr_t>(h), _O_RDONLY | _O_BINARY);
    if (fd < 0) CloseHandle(h);
    return fd;
}

void closeDescriptor(int descriptor) {
    if (descriptor >= 0) _close(descriptor);
}

std::int64_t readDescriptorAt(int descriptor, std::uint64_t offset, void* dst, std::size_t n) {
    if (descriptor < 0) return -1;
    const auto handle = reinterpret_cast<HANDLE>(_get_osfhandle(descriptor));
    if (handle == INVALID_HANDLE_VALUE) return -1;
    auto* out = static_cast<unsigned char*>(dst);
    std::size_t done = 0;
    while (done < n) {
        const DWORD ask = static_cast<DWORD>(n - done < 0x40000000u ? n - done : 0x40000000u);
        OVERLAPPED at{};
        const std::uint64_t position = offset + done;
        at.Offset = static_cast<DWORD>(position);
        at.OffsetHigh = static_cast<DWORD>(position >> 32);
        DWORD got = 0;
        if (!ReadFile(handle, out + done, ask, &got, &at)) {
            if (GetLastError() == ERROR_HANDLE_EOF) break;
            return -1;
        }
        if (got == 0) break;
        done += got;
    }
    return static_cast<std::int64_t>(done);
}

bool descriptorFileSize(int descriptor, std::uint64_t& size) {
    struct _stati64 st {};
    if (descriptor < 0 || _fstati64(descriptor, &st) != 0 || !(st.st_mode & _S_IFREG) ||
        st.st_size < 0)
        return false;
    size = static_cast<std::uint64_t>(st.st_size);
    return true;
}

bool rewindDescriptor(int descriptor) {
    return descriptor >= 0 && _lseeki64(descriptor, 0, SEEK_SET) == 0;
}

std::int64_t readDescriptorOnce(int descriptor, void* dst, std::size_t n) {
    // From the OS handle, not through _read: a descriptor the caller opened in text mode would
    // have CR LF turned into LF and stop at the first 0x1A byte.
    if (descriptor < 0) return -1;
    const auto handle = reinterpret_cast<HANDLE>(_get_osfhandle(descriptor));
    if (handle == INVALID_HANDLE_VALUE) return -1;
    DWORD got = 0;
    if (!ReadFile(handle, dst, static_cast<DWORD>(n < 0x40000000u ? n : 0x40000000u), &got,
                  nullptr)) {
        const DWORD error = GetLastError();
        return error == ERROR_HANDLE_EOF || error == ERROR_BROKEN_PIPE ? 0 : -1;
    }
    return static_cast<std::int64_t>(got);
}

} // namespace vyn
