// The AIFF/AIFC parser: exact conversions for every sample type, the COMM and SSND rules, header
// errors, and real files written by sox and ffmpeg.

#include "audio/AudioDecoder.h"
#include "audio/AudioFixtures.h"

#include <cmath>
#include <gtest/gtest.h>
#include <limits>

namespace vyn {
namespace {

using test::Bytes;
using test::Chunk;

DecodeResult decodeBytes(const Bytes& b) {
    return decodeMemory(b.data(), b.size());
}

Bytes aiff(std::uint16_t channels, std::uint16_t bits, const Bytes& data,
           const char* compression = nullptr, double rate = 44100.0, std::uint32_t commFrames = 0) {
    return test::formFile(
        {{"COMM", test::commBody(channels, commFrames, bits, rate, compression), {}},
         {"SSND", test::ssndBody(data), {}}},
        compression ? "AIFC" : "AIFF");
}

// ---------------------------------------------------------------------------------------------
// Sample types

TEST(AiffConversion, EightBitIsSigned) {
    const DecodeResult r = decodeBytes(aiff(1, 8, {0x00, 0x80, 0x7F, 0xFF}));
    ASSERT_TRUE(r.ok) << r.error;
    EXPECT_EQ(r.samples,
              (std::vector<std::int16_t>{0, 0, -32768, -32768, 32512, 32512, -256, -256}));
}

TEST(AiffConversion, BigEndianIntegersKeepTheirTopSixteenBits) {
    Bytes s16, s24, s32, s64;
    for (int v : {0x1234, -2})
        test::putBe(s16, static_cast<std::uint16_t>(v), 2);
    for (std::uint32_t v : {0x7FFFFFu, 0x800000u})
        test::putBe(s24, v, 3);
    for (std::uint32_t v : {0x7FFFFFFFu, 0x0001FFFFu})
        test::putBe(s32, v, 4);
    for (std::uint64_t v : {0x7FFFFFFFFFFFFFFFull, 0x8000000000000000ull, 0x0001FFFFFFFFFFFFull,
                            0xFFFFFFFFFFFFFFFFull})
        test::putBe(s64, v, 8);
    auto decoded = [](const Bytes& b) {
        const DecodeResult r = decodeBytes(b);
        EXPECT_TRUE(r.ok) << r.error;
        return r.samples;
    };
    EXPECT_EQ(decoded(aiff(2, 16, s16)), (std::vector<std::int16_t>{0x1234, -2}));
    EXPECT_EQ(decoded(aiff(2, 24, s24)), (std::vector<std::int16_t>{32767, -32768}));
    EXPECT_EQ(decoded(aiff(2, 32, s32)), (std::vector<std::int16_t>{32767, 1}));
    // 64-bit integers: the top 16 bits, not silence.
    EXPECT_EQ(decoded(aiff(2, 64, s64)), (std::vector<std::int16_t>{32767, -32768, 1, -1}));
    EXPECT_EQ(decoded(aiff(2, 16, s16, "NONE")), (std::vector<std::int16_t>{0x1234, -2}));
}

TEST(AiffConversion, SowtIsLittleEndian) {
    Bytes s16, s24, s32, s64;
    for (int v : {0x1234, -2})
        test::putLe(s16, static_cast<std::uint16_t>(v), 2);
    for (std::uint32_t v : {0x7FFFFFu, 0x800000u})
        test::putLe(s24, v, 3);
    for (std::uint32_t v : {0x7FFFFFFFu, 0x0001FFFFu})
        test::putLe(s32, v, 4);
    for (std::uint64_t v : {0x7FFFFFFFFFFFFFFFull, 0x0001FFFFFFFFFFFFull})
        test::putLe(s64, v, 8);
    auto decoded = [](const Bytes& b) {
        const DecodeResult r = decodeBytes(b);
        EXPECT_TRUE(r.ok) << r.error;
        return r.samples;
    };
    EXPECT_EQ(decoded(aiff(2, 16, s16, "sowt")), (std::vector<std::int16_t>{0x1234, -2}));
    EXPECT_EQ(decoded(aiff(2, 24, s24, "sowt")), (std::vector<std::int16_t>{32767, -32768}));
    EXPECT_EQ(decoded(aiff(2, 32, s32, "sowt")), (std::vector<std::int16_t>{32767, 1}));
    EXPECT_EQ(decoded(aiff(2, 64, s64, "sowt")), (std::vector<std::int16_t>{32767, 1}));
}

TEST(AiffConversion, FloatTypesInEitherCaseSetTheirOwnSampleSize) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    Bytes f32, f64;
    for (double v : {1.5, nan, -0.5, -3.0}) {
        test::putFloatBe(f32, static_cast<float>(v));
        test::putDoubleBe(f64, v);
    }
    const std::vector<std::int16_t> want = {32767, 0, -16383, -32768};
    // The COMM sample size says 16; the compression type decides.
    for (const char* type : {"fl32", "FL32"}) {
        const DecodeResult r = decodeBytes(aiff(2, 16, f32, type));
        ASSERT_TRUE(r.ok) << type << ": " << r.error;
        EXPECT_EQ(r.samples, want) << type;
    }
    for (const char* type : {"fl64", "FL64"}) {
        const DecodeResult r = decodeBytes(aiff(2, 16, f64, type));
        ASSERT_TRUE(r.ok) << type << ": " << r.error;
        EXPECT_EQ(r.samples, want) << type;
    }
}

// ---------------------------------------------------------------------------------------------
// Structure

TEST(AiffStructure, RateIsTheExtendedFloatOfComm) {
    const DecodeResult r = decodeBytes(aiff(2, 16, Bytes(8), nullptr, 22050.5));
    ASSERT_TRUE(r.ok) << r.error;
    EXPECT_EQ(r.sampleRate, 22050.5);
    EXPECT_EQ(decodeBytes(aiff(2, 16, Bytes(8), nullptr, 192000.0)).sampleRate, 192000.0);
}

TEST(AiffStructure, CommFrameCountLimitsTheFrames) {
    EXPECT_EQ(decodeBytes(aiff(2, 16, Bytes(40), nullptr, 44100.0, 3)).frames, 3u);
    EXPECT_EQ(decodeBytes(aiff(2, 16, Bytes(40), nullptr, 44100.0, 0)).frames, 10u);
    EXPECT_EQ(decodeBytes(aiff(2, 16, Bytes(40), nullptr, 44100.0, 99)).frames, 10u);
}

TEST(AiffStructure, SsndOffsetSkipsPadding) {
    Bytes data;
    for (int v : {11, 22, 33, 44})
        test::putBe(data, static_cast<std::uint16_t>(v), 2);
    const DecodeResult r = decodeBytes(test::formFile(
        {{"COMM", test::commBody(2, 0, 16, 44100.0), {}}, {"SSND", test::ssndBody(data, 6), {}}}));
    ASSERT_TRUE(r.ok) << r.error;
    EXPECT_EQ(r.samples, (std::vector<std::int16_t>{11, 22, 33, 44}));

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

TEST(AiffStructure, SoundChunkDeclaringMoreThanIsThereDecodesWhatIsPresent) {
    Bytes data;
    for (int v : {1, 2, 3, 4, 5})
        test::putBe(data, static_cast<std::uint16_t>(v), 2);
    const DecodeResult r =
        decodeBytes(test::formFile({{"COMM", test::commBody(2, 0, 16, 48000.0), {}},
                                    {"SSND", test::ssndBody(data), 1u << 30}}));
    ASSERT_TRUE(r.ok) << r.error;
    EXPECT_EQ(r.samples, (std::vector<std::int16_t>{1, 2, 3, 4}));
}

TEST(AiffStructure, MonoIsDuplicatedAndExtraChannelsMixedDown) {
    Bytes mono, six;
    for (int v : {7, -9})
        test::putBe(mono, static_cast<std::uint16_t>(v), 2);
    for (int v : {1, 2, 3, 4, 5, 6, 11, 12, 13, 14, 15, 16})
        test::putBe(six, static_cast<std::uint16_t>(v), 2);
    EXPECT_EQ(decodeBytes(aiff(1, 16, mono)).samples, (std::vector<std::int16_t>{7, 7, -9, -9}));
    EXPECT_EQ(decodeBytes(aiff(6, 16, six)).samples, (std::vector<std::int16_t>{3, 3, 13, 13}));
}

TEST(AiffStructure, HeaderErrors) {
    const Bytes ssnd = test::ssndBody(Bytes(8));
    auto error = [](const std::vector<Chunk>& chunks, const char* form = "AIFF") {
        return decodeBytes(test::formFile(chunks, form)).error;
    };
    EXPECT_EQ(error({{"SSND", ssnd, {}}}), "no COMM chunk");
    EXPECT_EQ(error({{"COMM", test::commBody(2, 0, 16, 44100.0), {}}}), "no SSND chunk");
    EXPECT_EQ(error({{"COMM", test::commBody(0, 0, 16, 44100.0), {}}, {"SSND", ssnd, {}}}),
              "zero channels");
    EXPECT_EQ(error({{"COMM", test::commBody(2, 0, 16, 0.0), {}}, {"SSND", ssnd, {}}}),
              "invalid sample rate");
    EXPECT_EQ(error({{"COMM", test::commBody(2, 0, 16, -44100.0), {}}, {"SSND", ssnd, {}}}),
              "invalid sample rate");
    EXPECT_EQ(error({{"COMM", test::commBody(2, 0, 12, 44100.0), {}}, {"SSND", ssnd, {}}}),
              "unsupported AIFF bit depth");
    EXPECT_EQ(error({{"COMM", test::commBody(2, 0, 16, 44100.0, "ima4"), {}}, {"SSND", ssnd, {}}},
                    "AIFC"),
              "compressed AIFC is not supported");
    // A COMM chunk too short to hold its fields does not count.
    EXPECT_EQ(error({{"COMM", Bytes(17), {}}, {"SSND", ssnd, {}}}), "no COMM chunk");
}

TEST(AiffStructure, InfiniteOrNanRateIsRejected) {
    // Exponent 0x7FFF (infinity or NaN) reads as 0; the largest finite exponent overflows a
    // double.
    for (std::uint16_t exponent : {0x7FFF, 0x7FFE}) {
        Bytes comm;
        test::putBe(comm, 2, 2);
        test::putBe(comm, 0, 4);
        test::putBe(comm, 16, 2);
        test::putBe(comm, exponent, 2);
        test::putBe(comm, 0x8000000000000000ull, 8);
        EXPECT_EQ(decodeBytes(
                      test::formFile({{"COMM", comm, {}}, {"SSND", test::ssndBody(Bytes(8)), {}}}))
                      .error,
                  "invalid sample rate")
            << exponent;
    }
}

// ---------------------------------------------------------------------------------------------
// Files written by sox and ffmpeg

class ToolWrittenAiff : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = test::scratchDir("tool-aiff");
        signal_ = test::testSignal(kFrames, 48000);
        source_ = test::writeStereoWav(dir_ + "/source.wav", signal_, 48000);
    }
    DecodeResult convert(const std::string& command, const std::string& name) {
        const std::string out = dir_ + "/" + name;
        std::string cmd = command;
        cmd.replace(cmd.find("IN"), 2, "'" + source_ + "'");
        cmd.replace(cmd.find("OUT"), 3, "'" + out + "'");
        EXPECT_TRUE(test::shell(cmd)) << cmd;
        return decodeFile(out);
    }
    void expectClose(const DecodeResult& r, int tolerance, bool monoOfLeft = false) {
        test::expectCloseToSignal(r, signal_, 48000.0, tolerance, monoOfLeft);
    }

    static constexpr std::size_t kFrames = 24000;
    std::string dir_, source_;
    std::vector<std::int16_t> signal_;
};

TEST_F(ToolWrittenAiff, IntegerDepthsFromSox) {
    expectClose(convert("sox -D IN -b 16 OUT", "s16.aiff"), 0);
    expectClose(convert("sox -D IN -b 24 OUT", "s24.aiff"), 0);
    expectClose(convert("sox -D IN -b 32 OUT", "s32.aiff"), 0);
    expectClose(convert("sox -D IN -b 8 OUT", "s8.aiff"), 256);
}

TEST_F(ToolWrittenAiff, AifcTypes) {
    expectClose(convert("sox -D IN -t aifc OUT", "none.aifc"), 0);
    expectClose(convert("ffmpeg -v error -y -i IN -c:a pcm_s16le -f aiff OUT", "sowt.aifc"), 0);
    expectClose(convert("ffmpeg -v error -y -i IN -c:a pcm_f32be -f aiff OUT", "fl32.aifc"), 1);
    expectClose(convert("ffmpeg -v error -y -i IN -c:a pcm_f64be -f aiff OUT", "fl64.aifc"), 1);
}

TEST_F(ToolWrittenAiff, MonoAndSixChannels) {
    expectClose(convert("sox -D IN -c 1 OUT remix 1", "mono.aiff"), 0, true);
    // Six channels are 5.1: the front pair at the downmix's level, the loud LFE left out.
    std::vector<std::int16_t> front = signal_;
    for (std::int16_t& v : front)
        v = static_cast<std::int16_t>(std::lround(v * 0.41421356));
    test::expectCloseToSignal(convert("sox -D IN OUT remix 1 2 0 1v0.9 0 0", "six.aiff"), front,
                              48000.0, 1);
}

} // namespace
} // namespace vyn
