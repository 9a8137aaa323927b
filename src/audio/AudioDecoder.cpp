// Format recognition and the decode entry points: WAV and AIFF are parsed here (from memory, or
// from a file read piece by piece so a track is never held twice), everything else goes to the
// platform decoder hooks.

#include "audio/AudioDecoder.h"

#include "audio/AudioDecoderInternal.h"
#include "support/FileDescriptor.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>

namespace vyn {

namespace {

std::atomic<FileDecoderHook> gFileDecoder{nullptr};
std::atomic<DescriptorDecoderHook> gDescriptorDecoder{nullptr};

constexpr std::uint64_t kDescriptorLimit = 0x20000000; // 512 MiB
constexpr std::size_t kHeaderBytes = 64;

// The rules of sniff() for every kind that is not WAV or AIFF.
AudioKind sniffCompressed(const unsigned char* b, std::size_t size) {
    if (!b || size < 12) return AudioKind::Unknown;
    if (std::memcmp(b, "fLaC", 4) == 0) return AudioKind::Flac;
    if (std::memcmp(b + 4, "ftyp", 4) == 0) return AudioKind::M4a;
    if (std::memcmp(b, "OggS", 4) == 0) return AudioKind::Ogg;
    if (std::memcmp(b, "ID3", 3) == 0) return AudioKind::Mp3;
    if (b[0] == 0xFF && (b[1] & 0xE0) == 0xE0) return AudioKind::Mp3;
    return AudioKind::Unknown;
}

std::string unrecognised(const unsigned char* bytes, std::size_t size) {
    return "unrecognised audio format \xE2\x80\x94 header: " + headerDump(bytes, size);
}

DecodeResult parseAndDecode(detail::ByteSource& source, AudioKind kind) {
    detail::PcmLayout layout;
    std::string error;
    const bool parsed = kind == AudioKind::Wav ? detail::parseWavLayout(source, layout, error)
                                               : detail::parseAiffLayout(source, layout, error);
    if (!parsed) return detail::failure(std::move(error));
    return detail::decodeLayout(source, layout);
}

// A file read on demand. Container headers are read in small pieces, so those go through a
// read-ahead window; sample data is read in large pieces straight from the file.
class FileByteSource final : public detail::ByteSource {
public:
    FileByteSource(const RandomAccessFile& file, std::uint64_t size) : file_(file) { size_ = size; }

    bool readAt(std::uint64_t offset, void* dst, std::size_t n) override {
        if (offset > size_ || n > size_ - offset) return false;
        if (n > kWindow / 4) return file_.readAt(offset, dst, n) == static_cast<std::int64_t>(n);
        if (offset < windowStart_ || offset + n > windowStart_ + windowBytes_) {
            if (!window_) window_ = std::make_unique<unsigned char[]>(kWindow);
            const std::size_t want =
                static_cast<std::size_t>(std::min<std::uint64_t>(kWindow, size_ - offset));
            const std::int64_t got = file_.readAt(offset, window_.get(), want);
            if (got < static_cast<std::int64_t>(n)) return false;
            windowStart_ = offset;
            windowBytes_ = static_cast<std::size_t>(got);
        }
        std::memcpy(dst, window_.get() + (offset - windowStart_), n);
        return true;
    }

private:
    static constexpr std::size_t kWindow = 16384;
    const RandomAccessFile& file_;
    std::unique_ptr<unsigned char[]> window_;
    std::uint64_t windowStart_ = 0;
    std::size_t windowBytes_ = 0;
};

DecodeResult decodeFileImpl(const std::string& path) {
    RandomAccessFile file;
    unsigned char header[kHeaderBytes];
    std::int64_t got = -1;
    if (file.open(path)) got = file.readAt(0, header, sizeof header);
    if (got <= 0) return detail::failure("could not open file");
    const auto headerSize = static_cast<std::size_t>(got);

    const AudioKind kind = sniff(header, headerSize);
    if (kind == AudioKind::Wav || kind == AudioKind::Aiff) {
        std::uint64_t size = 0;
        if (!file.size(size)) return detail::failure("could not open file");
        if (size < 1) return detail::failure("empty file");
        FileByteSource source(file, size);
        return parseAndDecode(source, kind);
    }

    const AudioKind other = sniffCompressed(header, headerSize);
    if (other == AudioKind::Unknown) return detail::failure(unrecognised(header, headerSize));
    if (FileDecoderHook hook = gFileDecoder.load(std::memory_order_acquire)) {
        DecodeResult r;
        hook(r, path, other);
        return r;
    }
    return detail::failure(std::string(audioKindName(other)) +
                           " needs a platform decoder, and none is registered (desktop builds "
                           "decode WAV and AIFF only)");
}

DecodeResult decodeDescriptorImpl(int descriptor) {
    DescriptorReadResult read = readWholeDescriptor(descriptor, kDescriptorLimit);
    if (!read.ok) return detail::failure(std::move(read.error));
    const unsigned char* bytes = read.bytes.data();
    const std::size_t size = read.bytes.size();

    const AudioKind kind = sniff(bytes, size);
    if (kind == AudioKind::Unknown) return detail::failure(unrecognised(bytes, size));
    if (kind == AudioKind::Wav || kind == AudioKind::Aiff) {
        detail::MemoryByteSource source(bytes, size);
        return parseAndDecode(source, kind);
    }
    if (DescriptorDecoderHook hook = gDescriptorDecoder.load(std::memory_order_acquire)) {
        // The platform decoder reads the file itself; drop our copy first.
        read.bytes.clear();
        read.bytes.shrink_to_fit();
        rewindDescriptor(descriptor);
        DecodeResult r;
        hook(r, descriptor, kind);
        return r;
    }
    return detail::failure(std::string(audioKindName(kind)) +
                           " needs a platform decoder, and none is registered for descriptors "
                           "(desktop builds decode WAV and AIFF only)");
}

} // namespace

const char* audioKindName(AudioKind kind) {
    switch (kind) {
    case AudioKind::Wav:
        return "WAV";
    case AudioKind::Aiff:
        return "AIFF";
    case AudioKind::Mp3:
        return "MP3";
    case AudioKind::Flac:
        return "FLAC";
    case AudioKind::M4a:
        return "M4A/AAC";
    case AudioKind::Ogg:
        return "Ogg";
    case AudioKind::Unknown:
        break;
    }
    return "unknown";
}

AudioKind sniff(const unsigned char* b, std::size_t size) {
    if (!b || size < 12) return AudioKind::Unknown;
    if (std::memcmp(b, "RIFF", 4) == 0 && std::memcmp(b + 8, "WAVE", 4) == 0) return AudioKind::Wav;
    if (std::memcmp(b, "FORM", 4) == 0 &&
        (std::memcmp(b + 8, "AIFF", 4) == 0 || std::memcmp(b + 8, "AIFC", 4) == 0))
        return AudioKind::Aiff;
    if (std::memcmp(b, "RF64", 4) == 0 && std::memcmp(b + 8, "WAVE", 4) == 0) return AudioKind::Wav;
    return sniffCompressed(b, size);
}

std::string headerDump(const unsigned char* bytes, std::size_t size) {
    const std::size_t n = bytes ? std::min<std::size_t>(size, 12) : 0;
    std::string text;
    text.reserve(n * 4 + 4);
    for (std::size_t i = 0; i < n; ++i) {
        char hex[4];
        std::snprintf(hex, sizeof hex, "%02X ", bytes[i]);
        text += hex;
    }
    text += "  \"";
    for (std::size_t i = 0; i < n; ++i)
        text += bytes[i] >= 0x20 && bytes[i] <= 0x7E ? static_cast<char>(bytes[i]) : '.';
    text += '"';
    return text;
}

DecodeResult decodeMemory(const unsigned char* bytes, std::size_t size) {
    if (!bytes || size == 0) return detail::failure("empty file");
    const AudioKind kind = sniff(bytes, size);
    if (kind == AudioKind::Wav || kind == AudioKind::Aiff) {
        detail::MemoryByteSource source(bytes, size);
        return parseAndDecode(source, kind);
    }
    if (kind != AudioKind::Unknown)
        return detail::failure(std::string(audioKindName(kind)) +
                               " must be decoded from a file, not from memory");
    return detail::failure(unrecognised(bytes, size));
}

DecodeResult decodeFile(const std::string& path) {
    try {
        return decodeFileImpl(path);
    } catch (const std::bad_alloc&) {
        return detail::failure("out of memory");
    }
}

DecodeResult decodeDescriptor(int descriptor) {
    try {
        return decodeDescriptorImpl(descriptor);
    } catch (const std::bad_alloc&) {
        return detail::failure("out of memory");
    }
}

void registerFileDecoder(FileDecoderHook hook) {
    gFileDecoder.store(hook, std::memory_order_release);
}

void registerDescriptorDecoder(DescriptorDecoderHook hook) {
    gDescriptorDecoder.store(hook, std::memory_order_release);
}

} // namespace vyn
