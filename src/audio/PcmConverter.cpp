// Conversion of stored samples to 16-bit stereo. Each encoding and channel count gets its own
// loop (chosen once per file), so the inner loops carry no per-sample branches and the compiler
// can vectorise them.

#include "audio/AudioDecoderInternal.h"
#include "audio/LargeBufferHint.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <new>
#include <stdexcept>

namespace vyn::detail {

namespace {

inline std::uint16_t load16le(const unsigned char* p) {
    return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}
inline std::uint16_t load16be(const unsigned char* p) {
    return static_cast<std::uint16_t>((p[0] << 8) | p[1]);
}
inline std::uint32_t load32le(const unsigned char* p) {
    std::uint32_t v;
    std::memcpy(&v, p, 4);
    if constexpr (std::endian::native == std::endian::big) v = __builtin_bswap32(v);
    return v;
}
inline std::uint32_t load32be(const unsigned char* p) {
    std::uint32_t v;
    std::memcpy(&v, p, 4);
    if constexpr (std::endian::native == std::endian::little) v = __builtin_bswap32(v);
    return v;
}
inline std::uint64_t load64le(const unsigned char* p) {
    std::uint64_t v;
    std::memcpy(&v, p, 8);
    if constexpr (std::endian::native == std::endian::big) v = __builtin_bswap64(v);
    return v;
}
inline std::uint64_t load64be(const unsigned char* p) {
    std::uint64_t v;
    std::memcpy(&v, p, 8);
    if constexpr (std::endian::native == std::endian::little) v = __builtin_bswap64(v);
    return v;
}

// x * 32767, NaN to 0, clamped, truncated towards zero.
inline std::int16_t fromDouble(double x) {
    double v = x * 32767.0;
    v = v == v ? v : 0.0;
    v = v < 32767.0 ? v : 32767.0;
    v = v > -32768.0 ? v : -32768.0;
    return static_cast<std::int16_t>(v);
}

template <SampleEncoding E> struct Codec;

template <> struct Codec<SampleEncoding::U8> {
    static constexpr std::size_t bytes = 1;
    static std::int16_t get(const unsigned char* p) {
        return static_cast<std::int16_t>((p[0] - 128) * 256);
    }
};
template <> struct Codec<SampleEncoding::S8> {
    static constexpr std::size_t bytes = 1;
    static std::int16_t get(const unsigned char* p) {
        return static_cast<std::int16_t>(static_cast<std::int8_t>(p[0]) * 256);
    }
};
template <> struct Codec<SampleEncoding::S16LE> {
    static constexpr std::size_t bytes = 2;
    static std::int16_t get(const unsigned char* p) {
        return static_cast<std::int16_t>(load16le(p));
    }
};
template <> struct Codec<SampleEncoding::S16BE> {
    static constexpr std::size_t bytes = 2;
    static std::int16_t get(const unsigned char* p) {
        return static_cast<std::int16_t>(load16be(p));
    }
};
template <> struct Codec<SampleEncoding::S24LE> {
    static constexpr std::size_t bytes = 3;
    static std::int16_t get(const unsigned char* p) {
        return static_cast<std::int16_t>(load16le(p + 1));
    }
};
template <> struct Codec<SampleEncoding::S24BE> {
    static constexpr std::size_t bytes = 3;
    static std::int16_t get(const unsigned char* p) {
        return static_cast<std::int16_t>(load16be(p));
    }
};
template <> struct Codec<SampleEncoding::S32LE> {
    static constexpr std::size_t bytes = 4;
    static std::int16_t get(const unsigned char* p) {
        return static_cast<std::int16_t>(load16le(p + 2));
    }
};
template <> struct Codec<SampleEncoding::S32BE> {
    static constexpr std::size_t bytes = 4;
    static std::int16_t get(const unsigned char* p) {
        return static_cast<std::int16_t>(load16be(p));
    }
};
template <> struct Codec<SampleEncoding::S64LE> {
    static constexpr std::size_t bytes = 8;
    static std::int16_t get(const unsigned char* p) {
        return static_cast<std::int16_t>(load16le(p + 6));
    }
};
template <> struct Codec<SampleEncoding::S64BE> {
    static constexpr std::size_t bytes = 8;
    static std::int16_t get(const unsigned char* p) {
        return static_cast<std::int16_t>(load16be(p));
    }
};
template <> struct Codec<SampleEncoding::F32LE> {
    static constexpr std::size_t bytes = 4;
    static std::int16_t get(const unsigned char* p) {
        return fromDouble(std::bit_cast<float>(load32le(p)));
    }
};
template <> struct Codec<SampleEncoding::F32BE> {
    static constexpr std::size_t bytes = 4;
    static std::int16_t get(const unsigned char* p) {
        return fromDouble(std::bit_cast<float>(load32be(p)));
    }
};
template <> struct Codec<SampleEncoding::F64LE> {
    static constexpr std::size_t bytes = 8;
    static std::int16_t get(const unsigned char* p) {
        return fromDouble(std::bit_cast<double>(load64le(p)));
    }
};
template <> struct Codec<SampleEncoding::F64BE> {
    static constexpr std::size_t bytes = 8;
    static std::int16_t get(const unsigned char* p) {
        return fromDouble(std::bit_cast<double>(load64be(p)));
    }
};

// Channels known at compile time (1 or 2): the frame stride is a constant.
template <SampleEncoding E, std::uint32_t Channels>
void convertFixed(const unsigned char* src, std::uint64_t frames, std::int16_t* out) {
    using C = Codec<E>;
    constexpr std::size_t stride = C::bytes * Channels;
    constexpr std::size_t right = Channels == 1 ? 0 : C::bytes;
    for (std::uint64_t i = 0; i < frames; ++i) {
        const unsigned char* p = src + i * stride;
        out[2 * i] = C::get(p);
        out[2 * i + 1] = C::get(p + right);
    }
}

inline std::int16_t roundToInt16(float v) {
    return static_cast<std::int16_t>(std::clamp(std::nearbyint(v), -32768.0f, 32767.0f));
}

// Each channel is first read as 16-bit (as mono and stereo are), then mixed.
template <SampleEncoding E>
void convertWide(const unsigned char* src, std::uint64_t frames, std::uint32_t channels,
                 const StereoDownmix& mix, std::int16_t* out) {
    using C = Codec<E>;
    const std::size_t stride = C::bytes * channels;
    const float* gainL = mix.left.data();
    const float* gainR = mix.right.data();
    for (std::uint64_t i = 0; i < frames; ++i) {
        const unsigned char* p = src + i * stride;
        float l = 0.0f, r = 0.0f;
        for (std::uint32_t c = 0; c < channels; ++c) {
            const float x = C::get(p + c * C::bytes);
            l += gainL[c] * x;
            r += gainR[c] * x;
        }
        out[2 * i] = roundToInt16(l);
        out[2 * i + 1] = roundToInt16(r);
    }
}

template <SampleEncoding E>
void convert(const unsigned char* src, std::uint64_t frames, std::uint32_t channels,
             const StereoDownmix& mix, std::int16_t* out) {
    if (channels == 1)
        convertFixed<E, 1>(src, frames, out);
    else if (channels == 2)
        convertFixed<E, 2>(src, frames, out);
    else
        convertWide<E>(src, frames, channels, mix, out);
}

// Interleaved 16-bit little-endian stereo is already the output format.
constexpr bool kNativeStereo16 = std::endian::native == std::endian::little;

// Streaming reads go through a buffer this size, small enough to stay in the cache.
constexpr std::size_t kChunkBytes = 128 * 1024;

} // namespace

std::size_t bytesPerSample(SampleEncoding encoding) {
    switch (encoding) {
    case SampleEncoding::U8:
    case SampleEncoding::S8:
        return 1;
    case SampleEncoding::S16LE:
    case SampleEncoding::S16BE:
        return 2;
    case SampleEncoding::S24LE:
    case SampleEncoding::S24BE:
        return 3;
    case SampleEncoding::S32LE:
    case SampleEncoding::S32BE:
    case SampleEncoding::F32LE:
    case SampleEncoding::F32BE:
        return 4;
    case SampleEncoding::S64LE:
    case SampleEncoding::S64BE:
    case SampleEncoding::F64LE:
    case SampleEncoding::F64BE:
        return 8;
    }
    return 0;
}

void convertToStereo16(const unsigned char* src, std::uint64_t frames, SampleEncoding encoding,
                       std::uint32_t channels, const StereoDownmix& mix, std::int16_t* out) {
    if (frames == 0 || channels == 0) return;
    if (channels > 2 && (mix.left.size() < channels || mix.right.size() < channels)) return;
    if (kNativeStereo16 && encoding == SampleEncoding::S16LE && channels == 2) {
        std::memcpy(out, src, frames * 4);
        return;
    }
    switch (encoding) {
    case SampleEncoding::U8:
        return convert<SampleEncoding::U8>(src, frames, channels, mix, out);
    case SampleEncoding::S8:
        return convert<SampleEncoding::S8>(src, frames, channels, mix, out);
    case SampleEncoding::S16LE:
        return convert<SampleEncoding::S16LE>(src, frames, channels, mix, out);
    case SampleEncoding::S16BE:
        return convert<SampleEncoding::S16BE>(src, frames, channels, mix, out);
    case SampleEncoding::S24LE:
        return convert<SampleEncoding::S24LE>(src, frames, channels, mix, out);
    case SampleEncoding::S24BE:
        return convert<SampleEncoding::S24BE>(src, frames, channels, mix, out);
    case SampleEncoding::S32LE:
        return convert<SampleEncoding::S32LE>(src, frames, channels, mix, out);
    case SampleEncoding::S32BE:
        return convert<SampleEncoding::S32BE>(src, frames, channels, mix, out);
    case SampleEncoding::S64LE:
        return convert<SampleEncoding::S64LE>(src, frames, channels, mix, out);
    case SampleEncoding::S64BE:
        return convert<SampleEncoding::S64BE>(src, frames, channels, mix, out);
    case SampleEncoding::F32LE:
        return convert<SampleEncoding::F32LE>(src, frames, channels, mix, out);
    case SampleEncoding::F32BE:
        return convert<SampleEncoding::F32BE>(src, frames, channels, mix, out);
    case SampleEncoding::F64LE:
        return convert<SampleEncoding::F64LE>(src, frames, channels, mix, out);
    case SampleEncoding::F64BE:
        return convert<SampleEncoding::F64BE>(src, frames, channels, mix, out);
    }
}

MemoryByteSource::MemoryByteSource(const unsigned char* bytes, std::size_t size) {
    memory_ = bytes;
    size_ = bytes ? size : 0;
}

bool MemoryByteSource::readAt(std::uint64_t offset, void* dst, std::size_t n) {
    if (offset > size_ || n > size_ - offset) return false;
    if (n > 0) std::memcpy(dst, memory_ + offset, n);
    return true;
}

DecodeResult failure(std::string error) {
    DecodeResult r;
    r.error = std::move(error);
    return r;
}

DecodeResult decodeLayout(ByteSource& source, const PcmLayout& layout) {
    const std::size_t frameBytes = bytesPerSample(layout.encoding) * layout.channels;
    const bool native =
        kNativeStereo16 && layout.encoding == SampleEncoding::S16LE && layout.channels == 2;
    // Both the bytes read and the samples converted from them stay in the cache; the result is
    // then written once, appended chunk by chunk (sizing it up front would first fill it with
    // zeros: a whole extra pass over a track's worth of memory).
    const std::uint64_t chunkFrames =
        std::max<std::uint64_t>(1, kChunkBytes / std::max<std::size_t>(frameBytes, 4));
    const unsigned char* memory = source.memory();

    DecodeResult r;
    std::vector<unsigned char> raw;
    std::vector<std::int16_t> converted;
    StereoDownmix downmix;
    try {
        if (layout.channels > 2) downmix = stereoDownmix(layout.channels, layout.speakerMask);
        r.samples.reserve(layout.frames * 2);
        hintLargeBuffer(r.samples.data(), r.samples.capacity() * sizeof(std::int16_t));
        converted.resize(chunkFrames * 2);
        if (!memory && !native) raw.resize(chunkFrames * frameBytes);
    } catch (const std::bad_alloc&) {
        return failure("out of memory");
    } catch (const std::length_error&) {
        return failure("out of memory");
    }

    for (std::uint64_t done = 0; done < layout.frames;) {
        const std::uint64_t n = std::min(chunkFrames, layout.frames - done);
        const std::uint64_t offset = layout.dataOffset + done * frameBytes;
        const auto bytes = static_cast<std::size_t>(n * frameBytes);
        if (native) {
            if (memory)
                std::memcpy(converted.data(), memory + offset, bytes);
            else if (!source.readAt(offset, converted.data(), bytes))
                return failure("read failed");
        } else {
            const unsigned char* src = memory ? memory + offset : raw.data();
            if (!memory && !source.readAt(offset, raw.data(), bytes)) return failure("read failed");
            convertToStereo16(src, n, layout.encoding, layout.channels, downmix, converted.data());
        }
        r.samples.insert(r.samples.end(), converted.data(), converted.data() + 2 * n);
        done += n;
    }
    r.sampleRate = layout.sampleRate;
    r.frames = layout.frames;
    r.ok = true;
    return r;
}

} // namespace vyn::detail
