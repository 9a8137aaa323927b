#pragma once
// Audio files for decoder tests: byte-exact RIFF/RF64 and AIFF/AIFC builders (for exact sample
// values and damaged structures), a deterministic stereo test signal, and helpers to have sox and
// ffmpeg convert it into real-world files.

#include "audio/AudioDecoder.h"
#include "common/TestPaths.h"
#include "common/ToneMeasure.h"
#include "common/WavFiles.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <optional>
#include <string>
#include <type_traits>
#include <vector>

namespace vyn::test {

using Bytes = std::vector<unsigned char>;

// `n` bytes of `v`, little- or big-endian.
inline void putLe(Bytes& b, std::uint64_t v, int n) {
    for (int i = 0; i < n; ++i)
        b.push_back(static_cast<unsigned char>(v >> (8 * i)));
}
inline void putBe(Bytes& b, std::uint64_t v, int n) {
    for (int i = n - 1; i >= 0; --i)
        b.push_back(static_cast<unsigned char>(v >> (8 * i)));
}
inline void putId(Bytes& b, const char* id) {
    for (int i = 0; i < 4; ++i)
        b.push_back(static_cast<unsigned char>(id[i]));
}
// A float or double by its bits.
template <typename Real> void putReal(Bytes& b, Real value, bool bigEndian) {
    std::conditional_t<sizeof(Real) == 4, std::uint32_t, std::uint64_t> bits;
    std::memcpy(&bits, &value, sizeof bits);
    bigEndian ? putBe(b, bits, sizeof bits) : putLe(b, bits, sizeof bits);
}

struct Chunk {
    std::string id;
    Bytes body;
    std::optional<std::uint64_t> declared; // size written in the header; the body size when unset
};

// A chunked container: four-character magic, size, form, then each chunk's id, size and body,
// padded to an even length. RIFF and RF64 write their sizes little-endian, AIFF big-endian.
inline Bytes chunkedFile(const std::vector<Chunk>& chunks, const char* magic, const char* form,
                         bool bigEndian) {
    const auto putSize = [bigEndian](Bytes& b, std::uint64_t v) {
        bigEndian ? putBe(b, v, 4) : putLe(b, v, 4);
    };
    Bytes b;
    putId(b, magic);
    putSize(b, 0); // patched below
    putId(b, form);
    for (const Chunk& c : chunks) {
        putId(b, c.id.c_str());
        putSize(b, c.declared.value_or(c.body.size()));
        b.insert(b.end(), c.body.begin(), c.body.end());
        if (c.body.size() & 1) b.push_back(0);
    }
    Bytes size;
    putSize(size, std::string(magic) == "RF64" ? 0xFFFFFFFFu : b.size() - 8);
    std::copy(size.begin(), size.end(), b.begin() + 4);
    return b;
}

// RIFF/WAVE, RF64 when `magic` is "RF64".
inline Bytes riffFile(const std::vector<Chunk>& chunks, const char* magic = "RIFF") {
    return chunkedFile(chunks, magic, "WAVE", false);
}

inline Bytes fmtBody(std::uint16_t tag, std::uint16_t channels, std::uint32_t rate,
                     std::uint16_t bits) {
    Bytes b;
    putLe(b, tag, 2);
    putLe(b, channels, 2);
    putLe(b, rate, 4);
    putLe(b, static_cast<std::uint64_t>(rate) * channels * bits / 8, 4);
    putLe(b, channels * bits / 8, 2);
    putLe(b, bits, 2);
    return b;
}

// WAVE_FORMAT_EXTENSIBLE with `subTag` (1 PCM, 3 float) as the first two bytes of the sub-format.
inline Bytes fmtExtensible(std::uint16_t subTag, std::uint16_t channels, std::uint32_t rate,
                           std::uint16_t bits) {
    Bytes b = fmtBody(0xFFFE, channels, rate, bits);
    putLe(b, 22, 2);   // extension size
    putLe(b, bits, 2); // valid bits
    putLe(b, channels == 2 ? 3 : 0, 4);
    putLe(b, subTag, 2);
    const unsigned char guidTail[14] = {0x00, 0x00, 0x00, 0x00, 0x10, 0x00, 0x80,
                                        0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};
    b.insert(b.end(), guidTail, guidTail + 14);
    return b;
}

inline Bytes simpleWav(std::uint16_t tag, std::uint16_t channels, std::uint32_t rate,
                       std::uint16_t bits, const Bytes& data) {
    return riffFile({{"fmt ", fmtBody(tag, channels, rate, bits), {}}, {"data", data, {}}});
}

// The 80-bit extended float of an AIFF COMM chunk.
inline void putExtended(Bytes& b, double rate) {
    int exponent = 0;
    const double mant = std::frexp(std::fabs(rate), &exponent); // |rate| = mant * 2^exponent
    const auto mantissa = static_cast<std::uint64_t>(std::ldexp(mant, 64));
    const std::uint64_t sign = rate < 0 ? 0x8000 : 0;
    putBe(b, sign | static_cast<std::uint64_t>(16383 + exponent - 1), 2);
    putBe(b, mantissa, 8);
}

inline Bytes commBody(std::uint16_t channels, std::uint32_t frames, std::uint16_t bits, double rate,
                      const char* compression = nullptr) {
    Bytes b;
    putBe(b, channels, 2);
    putBe(b, frames, 4);
    putBe(b, bits, 2);
    putExtended(b, rate);
    if (compression) {
        putId(b, compression);
        b.push_back(0); // empty name (Pascal string padded to even length)
        b.push_back(0);
    }
    return b;
}

inline Bytes ssndBody(const Bytes& data, std::uint32_t offset = 0) {
    Bytes b;
    putBe(b, offset, 4);
    putBe(b, 0, 4);
    b.insert(b.end(), offset, 0);
    b.insert(b.end(), data.begin(), data.end());
    return b;
}

inline Bytes formFile(const std::vector<Chunk>& chunks, const char* form = "AIFF") {
    return chunkedFile(chunks, "FORM", form, true);
}

inline DecodeResult decodeBytes(const Bytes& b) {
    return decodeMemory(b.data(), b.size());
}

inline std::string writeBytes(const std::string& path, const Bytes& bytes) {
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
    return path;
}

// A deterministic stereo signal with different content on each side: left a rising sweep,
// right a falling sweep plus a slow tone, both at half scale, so a wrong channel order, a lost
// stretch or a shifted start shows up.
inline std::vector<std::int16_t> testSignal(std::size_t frames, double rate) {
    std::vector<std::int16_t> s(frames * 2);
    double phaseL = 0.0, phaseR = 0.0;
    const double seconds = static_cast<double>(frames) / rate;
    for (std::size_t i = 0; i < frames; ++i) {
        const double t = static_cast<double>(i) / rate;
        const double fL = 200.0 + 1800.0 * t / seconds;
        const double fR = 1500.0 - 1200.0 * t / seconds;
        phaseL += 2.0 * M_PI * fL / rate;
        phaseR += 2.0 * M_PI * fR / rate;
        s[2 * i] = static_cast<std::int16_t>(16000.0 * std::sin(phaseL));
        s[2 * i + 1] = static_cast<std::int16_t>(11000.0 * std::sin(phaseR) +
                                                 5000.0 * std::sin(2.0 * M_PI * 3.0 * t));
    }
    return s;
}

// Runs a shell command; returns true when it exits with 0.
inline bool shell(const std::string& command) {
    return runProcess(command).exitCode == 0;
}

// Every decoded sample within `tolerance` of `signal` (stereo interleaved), at `rate`.
inline void expectCloseToSignal(const DecodeResult& r, const std::vector<std::int16_t>& signal,
                                double rate, int tolerance) {
    ASSERT_TRUE(r.ok) << r.error;
    ASSERT_EQ(r.frames, signal.size() / 2);
    EXPECT_EQ(r.sampleRate, rate);
    int worst = 0;
    for (std::size_t i = 0; i < signal.size(); ++i)
        worst = std::max(worst, std::abs(r.samples[i] - signal[i]));
    EXPECT_LE(worst, tolerance);
}

} // namespace vyn::test
