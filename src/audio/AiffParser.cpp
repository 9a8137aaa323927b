// AIFF and AIFC containers: big-endian integers (8 to 64-bit), little-endian integers ("sowt")
// and big-endian floats ("fl32", "fl64").

#include "audio/AudioDecoderInternal.h"
#include "support/ByteOrder.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace vyn::detail {

namespace {

enum class Byteorder { Big, Little, Float };

// The 80-bit extended float of the COMM chunk's sample rate.
double extendedToDouble(const unsigned char* p) {
    const unsigned exponent = readU16be(p) & 0x7FFFu;
    const bool negative = (p[0] & 0x80) != 0;
    const std::uint64_t mantissa = readU64be(p + 2);
    if (exponent == 0x7FFF || (exponent == 0 && mantissa == 0)) return 0.0;
    const double value =
        std::ldexp(static_cast<double>(mantissa), static_cast<int>(exponent) - 16446);
    return negative ? -value : value;
}

} // namespace

bool parseAiffLayout(ByteSource& source, PcmLayout& layout, std::string& error) {
    const std::uint64_t size = source.size();
    if (size < 12) {
        error = "file too short to be an AIFF";
        return false;
    }
    unsigned char head[12];
    if (!source.readAt(0, head, sizeof head)) {
        error = "read failed";
        return false;
    }
    if (std::memcmp(head, "FORM", 4) != 0) {
        error = "missing FORM header";
        return false;
    }
    const bool aifc = std::memcmp(head + 8, "AIFC", 4) == 0;
    if (!aifc && std::memcmp(head + 8, "AIFF", 4) != 0) {
        error = "FORM container is not AIFF or AIFC";
        return false;
    }

    bool haveComm = false, haveSound = false;
    std::uint16_t channels = 0, bits = 0;
    std::uint32_t commFrames = 0;
    double rate = 0.0;
    Byteorder order = Byteorder::Big;
    std::uint64_t soundStart = 0, soundBytes = 0;

    for (std::uint64_t offset = 12; offset <= size - 8;) {
        unsigned char chunk[8];
        if (!source.readAt(offset, chunk, sizeof chunk)) {
            error = "read failed";
            return false;
        }
        const std::uint64_t body = offset + 8;
        const std::uint64_t usable = std::min<std::uint64_t>(readU32be(chunk + 4), size - body);

        if (std::memcmp(chunk, "COMM", 4) == 0 && usable >= 18) {
            unsigned char comm[22];
            const bool typed = aifc && usable >= 22;
            if (!source.readAt(body, comm, typed ? 22 : 18)) {
                error = "read failed";
                return false;
            }
            channels = readU16be(comm);
            commFrames = readU32be(comm + 2);
            bits = readU16be(comm + 6);
            rate = extendedToDouble(comm + 8);
            order = Byteorder::Big;
            if (typed) {
                const unsigned char* type = comm + 18;
                if (std::memcmp(type, "NONE", 4) == 0) {
                    order = Byteorder::Big;
                } else if (std::memcmp(type, "sowt", 4) == 0) {
                    order = Byteorder::Little;
                } else if (std::memcmp(type, "fl32", 4) == 0 || std::memcmp(type, "FL32", 4) == 0) {
                    order = Byteorder::Float;
                    bits = 32;
                } else if (std::memcmp(type, "fl64", 4) == 0 || std::memcmp(type, "FL64", 4) == 0) {
                    order = Byteorder::Float;
                    bits = 64;
                } else {
                    error = "compressed AIFC is not supported";
                    return false;
                }
            }
            haveComm = true;
        } else if (std::memcmp(chunk, "SSND", 4) == 0 && usable >= 8) {
            unsigned char ssnd[4];
            if (!source.readAt(body, ssnd, sizeof ssnd)) {
                error = "read failed";
                return false;
            }
            const std::uint64_t skip = readU32be(ssnd);
            if (skip <= usable - 8) {
                soundStart = body + 8 + skip;
                soundBytes = usable - skip - 8;
                haveSound = true;
            }
        }
        offset = body + usable + (usable & 1);
    }

    if (!haveComm) {
        error = "no COMM chunk";
        return false;
    }
    if (!haveSound) {
        error = "no SSND chunk";
        return false;
    }
    if (channels == 0) {
        error = "zero channels";
        return false;
    }
    if (!(rate > 0.0) || !std::isfinite(rate)) {
        error = "invalid sample rate";
        return false;
    }
    SampleEncoding encoding;
    switch (bits) {
    case 8:
        encoding = SampleEncoding::S8;
        break;
    case 16:
        encoding = order == Byteorder::Little ? SampleEncoding::S16LE : SampleEncoding::S16BE;
        break;
    case 24:
        encoding = order == Byteorder::Little ? SampleEncoding::S24LE : SampleEncoding::S24BE;
        break;
    case 32:
        encoding = order == Byteorder::Float    ? SampleEncoding::F32BE
                   : order == Byteorder::Little ? SampleEncoding::S32LE
                                                : SampleEncoding::S32BE;
        break;
    case 64:
        encoding = order == Byteorder::Float    ? SampleEncoding::F64BE
                   : order == Byteorder::Little ? SampleEncoding::S64LE
                                                : SampleEncoding::S64BE;
        break;
    default:
        error = "unsupported AIFF bit depth";
        return false;
    }
    const std::uint64_t frameSize = static_cast<std::uint64_t>(channels) * bits / 8;
    if (frameSize == 0) {
        error = "degenerate frame size";
        return false;
    }
    std::uint64_t frames = soundBytes / frameSize;
    if (commFrames != 0) frames = std::min<std::uint64_t>(frames, commFrames);
    layout.encoding = encoding;
    layout.channels = channels;
    // The COMM chunk names no speakers (a "CHAN" chunk is not read): surround files take the
    // default layout for their channel count.
    layout.speakerMask = 0;
    layout.sampleRate = rate;
    layout.dataOffset = soundStart;
    layout.frames = frames;
    return true;
}

} // namespace vyn::detail
