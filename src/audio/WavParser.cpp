// RIFF/WAVE and RF64 containers: PCM (8, 16, 24, 32-bit) and IEEE float (32, 64-bit), plain or
// WAVE_FORMAT_EXTENSIBLE.

#include "audio/AudioDecoderInternal.h"
#include "support/ByteOrder.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace vyn::detail {

namespace {

constexpr std::uint16_t kTagPcm = 1;
constexpr std::uint16_t kTagFloat = 3;
constexpr std::uint16_t kTagExtensible = 0xFFFE;
// An RF64 chunk whose 32-bit size is this takes its real size from the ds64 chunk.
constexpr std::uint32_t kSizeInDs64 = 0xFFFFFFFFu;
// ds64 tables list chunks other than data whose sizes overflow; real files carry none or one.
constexpr std::uint32_t kMaxDs64Entries = 64;

struct Ds64 {
    bool present = false;
    std::uint64_t dataSize = 0;
    std::vector<std::pair<std::uint32_t, std::uint64_t>> table; // chunk id, size
};

bool readDs64(ByteSource& source, std::uint64_t body, std::uint64_t usable, Ds64& ds64) {
    // riff size (8), data size (8), sample count (8), table length (4), table entries (12 each)
    unsigned char head[28];
    if (usable < sizeof head) return true;
    if (!source.readAt(body, head, sizeof head)) return false;
    ds64.present = true;
    ds64.dataSize = readU64le(head + 8);
    const std::uint32_t entries =
        std::min<std::uint64_t>({readU32le(head + 24), (usable - 28) / 12, kMaxDs64Entries});
    ds64.table.clear();
    for (std::uint32_t i = 0; i < entries; ++i) {
        unsigned char entry[12];
        if (!source.readAt(body + 28 + 12ull * i, entry, sizeof entry)) return false;
        ds64.table.emplace_back(readU32le(entry), readU64le(entry + 4));
    }
    return true;
}

std::uint64_t ds64Size(const Ds64& ds64, const unsigned char* id, std::uint64_t declared) {
    if (!ds64.present) return declared;
    if (std::memcmp(id, "data", 4) == 0) return ds64.dataSize;
    const std::uint32_t key = readU32le(id);
    for (const auto& [chunk, size] : ds64.table)
        if (chunk == key) return size;
    return declared;
}

} // namespace

bool parseWavLayout(ByteSource& source, PcmLayout& layout, std::string& error) {
    const std::uint64_t size = source.size();
    if (size < 12) {
        error = "file too short to be a WAV";
        return false;
    }
    unsigned char head[12];
    if (!source.readAt(0, head, sizeof head)) {
        error = "read failed";
        return false;
    }
    const bool rf64 = std::memcmp(head, "RF64", 4) == 0;
    if (!rf64 && std::memcmp(head, "RIFF", 4) != 0) {
        error = "missing RIFF header";
        return false;
    }
    if (std::memcmp(head + 8, "WAVE", 4) != 0) {
        error = "not a WAVE file";
        return false;
    }

    bool haveFmt = false, haveData = false;
    std::uint16_t tag = 0, channels = 0, bits = 0;
    std::uint32_t rate = 0, speakerMask = 0;
    std::uint64_t dataStart = 0, dataSize = 0;
    Ds64 ds64;

    for (std::uint64_t offset = 12; size >= 8 && offset <= size - 8;) {
        unsigned char chunk[8];
        if (!source.readAt(offset, chunk, sizeof chunk)) {
            error = "read failed";
            return false;
        }
        std::uint64_t declared = readU32le(chunk + 4);
        if (rf64 && declared == kSizeInDs64) declared = ds64Size(ds64, chunk, declared);
        const std::uint64_t body = offset + 8;
        const std::uint64_t usable = std::min(declared, size - body);

        if (std::memcmp(chunk, "fmt ", 4) == 0 && usable >= 16) {
            unsigned char fmt[40];
            const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(usable, 40));
            if (!source.readAt(body, fmt, n)) {
                error = "read failed";
                return false;
            }
            tag = readU16le(fmt);
            channels = readU16le(fmt + 2);
            rate = readU32le(fmt + 4);
            bits = readU16le(fmt + 14);
            speakerMask = 0;
            if (tag == kTagExtensible && usable >= 40) {
                speakerMask = readU32le(fmt + 20);
                tag = readU16le(fmt + 24);
            }
            haveFmt = true;
        } else if (std::memcmp(chunk, "data", 4) == 0) {
            dataStart = body;
            dataSize = usable;
            haveData = true;
        } else if (rf64 && std::memcmp(chunk, "ds64", 4) == 0) {
            if (!readDs64(source, body, usable, ds64)) {
                error = "read failed";
                return false;
            }
        }
        offset = body + usable + (usable & 1);
    }

    if (!haveFmt) {
        error = "no fmt chunk";
        return false;
    }
    if (!haveData) {
        error = "no data chunk";
        return false;
    }
    if (channels == 0) {
        error = "zero channels";
        return false;
    }
    if (rate == 0) {
        error = "zero sample rate";
        return false;
    }
    SampleEncoding encoding;
    if (tag == kTagPcm) {
        switch (bits) {
        case 8:
            encoding = SampleEncoding::U8;
            break;
        case 16:
            encoding = SampleEncoding::S16LE;
            break;
        case 24:
            encoding = SampleEncoding::S24LE;
            break;
        case 32:
            encoding = SampleEncoding::S32LE;
            break;
        default:
            error = "unsupported PCM bit depth";
            return false;
        }
    } else if (tag == kTagFloat) {
        if (bits == 32) {
            encoding = SampleEncoding::F32LE;
        } else if (bits == 64) {
            encoding = SampleEncoding::F64LE;
        } else {
            error = "unsupported float bit depth";
            return false;
        }
    } else {
        error = "unsupported WAV codec (compressed WAV is not supported)";
        return false;
    }
    const std::uint64_t frameSize = static_cast<std::uint64_t>(channels) * bits / 8;
    if (frameSize == 0) {
        error = "degenerate frame size";
        return false;
    }
    layout.encoding = encoding;
    layout.channels = channels;
    layout.speakerMask = speakerMask;
    layout.sampleRate = static_cast<double>(rate);
    layout.dataOffset = dataStart;
    layout.frames = dataSize / frameSize;
    return true;
}

} // namespace vyn::detail
