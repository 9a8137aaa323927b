// The AIFF/AIFC parser: exact conversions for every sample type, and the COMM and SSND rules.
// Files written by sox and ffmpeg (5.1 among them) are decoded in WavDecodeTest's
// ToolWrittenFiles; the channel mixdown the AIFF parser shares is exact in WavStructure.

#include "audio/AudioDecoder.h"
#include "audio/AudioFixtures.h"

#include <cmath>
#include <gtest/gtest.h>
#include <limits>

namespace vyn {
namespace {

using test::Bytes;
using test::Chunk;
using test::decodeBytes;

Bytes aiff(std::uint16_t channels, std::uint16_t bits, const Bytes& data,
           const char* compression = nullptr, double rate = 44100.0, std::uint32_t commFrames = 0) {
    return test::formFile(
        {{"COMM", test::commBody(channels, commFrames, bits, rate, compression), {}},
         {"SSND", test::ssndBody(data), {}}},
        compression ? "AIFC" : "AIFF");
}

Bytes bigEndian16(std::initializer_list<int> values) {
    Bytes b;
    for (int v : values)
        test::putBe(b, static_cast<std::uint16_t>(v), 2);
    return b;
}

TEST(AiffConversion, IntegersOfEitherByteOrderKeepTheirTopSixteenBits) {
    struct Case {
        const char* compression; // null: plain AIFF
        std::uint16_t bits;
        std::vector<std::uint64_t> stored;
        std::vector<std::int16_t> decoded;
    };
    const Case cases[] = {
        {nullptr, 8, {0x00, 0x80, 0x7F, 0xFF}, {0, -32768, 32512, -256}}, // signed
        {nullptr, 16, {0x1234, 0xFFFE}, {0x1234, -2}},
        {"NONE", 16, {0x1234, 0xFFFE}, {0x1234, -2}},
        {nullptr, 24, {0x7FFFFF, 0x800000}, {32767, -32768}},
        {nullptr, 32, {0x7FFFFFFF, 0x0001FFFF}, {32767, 1}},
        // 64-bit integers: the top 16 bits, not silence.
        {nullptr,
         64,
         {0x7FFFFFFFFFFFFFFF, 0x8000000000000000, 0x0001FFFFFFFFFFFF, 0xFFFFFFFFFFFFFFFF},
         {32767, -32768, 1, -1}},
        {"sowt", 16, {0x1234, 0xFFFE}, {0x1234, -2}},
        {"sowt", 24, {0x7FFFFF, 0x800000}, {32767, -32768}},
        {"sowt", 32, {0x7FFFFFFF, 0x0001FFFF}, {32767, 1}},
        {"sowt", 64, {0x7FFFFFFFFFFFFFFF, 0x0001FFFFFFFFFFFF}, {32767, 1}},
    };
    for (const Case& c : cases) {
        const bool little = c.compression && std::string(c.compression) == "sowt";
        Bytes data;
        for (std::uint64_t v : c.stored)
            little ? test::putLe(data, v, c.bits / 8) : test::putBe(data, v, c.bits / 8);
        const std::uint16_t channels = c.bits == 8 ? 1 : 2;
        const DecodeResult r = decodeBytes(aiff(channels, c.bits, data, c.compression));
        ASSERT_TRUE(r.ok) << c.bits << ": " << r.error;
        std::vector<std::int16_t> want = c.decoded;
        if (channels == 1) // mono is duplicated to both sides
            for (std::size_t i = want.size(); i-- > 0;)
                want.insert(want.begin() + static_cast<long>(i), want[i]);
        EXPECT_EQ(r.samples, want) << (c.compression ? c.compression : "AIFF") << " " << c.bits;
    }
}

TEST(AiffConversion, FloatTypesInEitherCaseSetTheirOwnSampleSize) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    Bytes f32, f64;
    for (double v : {1.5, nan, -0.5, -3.0}) {
        test::putReal(f32, static_cast<float>(v), true);
        test::putReal(f64, v, true);
    }
    // The COMM sample size says 16; the compression type decides.
    for (const char* type : {"fl32", "FL32", "fl64", "FL64"}) {
        const DecodeResult r = decodeBytes(aiff(2, 16, type[2] == '3' ? f32 : f64, type));
        ASSERT_TRUE(r.ok) << type << ": " << r.error;
        EXPECT_EQ(r.samples, (std::vector<std::int16_t>{32767, 0, -16383, -32768})) << type;
    }
}

TEST(AiffStructure, RateFromCommFramesFromCommOrWhatIsThereAndTheSsndOffsetSkipsPadding) {
    for (double rate : {22050.5, 192000.0})
        EXPECT_EQ(decodeBytes(aiff(2, 16, Bytes(8), nullptr, rate)).sampleRate, rate);
    const std::pair<std::uint32_t, std::size_t> cases[] = {{3, 3}, {0, 10}, {99, 10}};
    for (const auto& [comm, frames] : cases)
        EXPECT_EQ(decodeBytes(aiff(2, 16, Bytes(40), nullptr, 44100.0, comm)).frames, frames);
    // A sound chunk declaring more than is there.
    const DecodeResult r = decodeBytes(
        test::formFile({{"COMM", test::commBody(2, 0, 16, 48000.0), {}},
                        {"SSND", test::ssndBody(bigEndian16({1, 2, 3, 4, 5})), 1u << 30}}));
    EXPECT_EQ(r.samples, (std::vector<std::int16_t>{1, 2, 3, 4}));

    const Bytes data = bigEndian16({11, 22, 33, 44});
    const DecodeResult padded = decodeBytes(test::formFile(
        {{"COMM", test::commBody(2, 0, 16, 44100.0), {}}, {"SSND", test::ssndBody(data, 6), {}}}));
    EXPECT_EQ(padded.samples, (std::vector<std::int16_t>{11, 22, 33, 44}));
    // An offset past the chunk leaves no sound data.
    Bytes badOffset;
    test::putBe(badOffset, 1000, 4);
    test::putBe(badOffset, 0, 4);
    badOffset.insert(badOffset.end(), data.begin(), data.end());
    EXPECT_EQ(decodeBytes(test::formFile({{"COMM", test::commBody(2, 0, 16, 44100.0), {}},
                                          {"SSND", badOffset, {}}}))
                  .error,
              "no SSND chunk");
}

TEST(AiffStructure, HeaderErrors) {
    const Chunk ssnd{"SSND", test::ssndBody(Bytes(8)), {}};
    const auto comm = [](std::uint16_t channels, std::uint16_t bits, double rate,
                         const char* compression = nullptr) {
        return Chunk{"COMM", test::commBody(channels, 0, bits, rate, compression), {}};
    };
    // The largest finite exponent overflows a double; 0x7FFF (infinity or NaN) reads as 0.
    const auto extremeRate = [](std::uint16_t exponent) {
        Bytes b = test::commBody(2, 0, 16, 1.0); // mantissa 0x8000000000000000
        b[8] = static_cast<unsigned char>(exponent >> 8);
        b[9] = static_cast<unsigned char>(exponent);
        return Chunk{"COMM", b, {}};
    };
    const std::pair<std::vector<Chunk>, std::string> cases[] = {
        {{ssnd}, "no COMM chunk"},
        {{comm(2, 16, 44100.0)}, "no SSND chunk"},
        {{comm(0, 16, 44100.0), ssnd}, "zero channels"},
        {{comm(2, 16, 0.0), ssnd}, "invalid sample rate"},
        {{comm(2, 16, -44100.0), ssnd}, "invalid sample rate"},
        {{extremeRate(0x7FFF), ssnd}, "invalid sample rate"},
        {{extremeRate(0x7FFE), ssnd}, "invalid sample rate"},
        {{comm(2, 12, 44100.0), ssnd}, "unsupported AIFF bit depth"},
        {{Chunk{"COMM", Bytes(17), {}}, ssnd}, "no COMM chunk"}, // too short for its fields
    };
    for (const auto& [chunks, error] : cases)
        EXPECT_EQ(decodeBytes(test::formFile(chunks)).error, error);
    EXPECT_EQ(decodeBytes(test::formFile({comm(2, 16, 44100.0, "ima4"), ssnd}, "AIFC")).error,
              "compressed AIFC is not supported");
}

} // namespace
} // namespace vyn
