// Format recognition, the decode entry points and the WAV parser: exact conversions from files
// built byte by byte, damaged structures, RF64, and real files written by sox and ffmpeg.

#include "audio/AudioDecoder.h"
#include "audio/AudioFixtures.h"

#include <cerrno>
#include <cmath>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <limits>
#include <unistd.h>

namespace vyn {
namespace {

using test::Bytes;
using test::Chunk;

DecodeResult decodeBytes(const Bytes& b) {
    return decodeMemory(b.data(), b.size());
}

// Left and right of frame i.
std::pair<int, int> frameAt(const DecodeResult& r, std::size_t i) {
    return {r.samples.at(2 * i), r.samples.at(2 * i + 1)};
}

// ---------------------------------------------------------------------------------------------
// Recognition

TEST(Sniff, RecognisesEachContainerByItsHeader) {
    auto kindOf = [](const std::string& head) {
        std::string padded = head;
        padded.resize(16, '\0');
        return sniff(reinterpret_cast<const unsigned char*>(padded.data()), padded.size());
    };
    EXPECT_EQ(kindOf(std::string("RIFF\0\0\0\0WAVE", 12)), AudioKind::Wav);
    EXPECT_EQ(kindOf(std::string("RF64\xFF\xFF\xFF\xFFWAVE", 12)), AudioKind::Wav);
    EXPECT_EQ(kindOf(std::string("FORM\0\0\0\0AIFF", 12)), AudioKind::Aiff);
    EXPECT_EQ(kindOf(std::string("FORM\0\0\0\0AIFC", 12)), AudioKind::Aiff);
    EXPECT_EQ(kindOf("fLaC"), AudioKind::Flac);
    EXPECT_EQ(kindOf(std::string("\0\0\0\x20"
                                 "ftypM4A ",
                                 12)),
              AudioKind::M4a);
    EXPECT_EQ(kindOf("OggS"), AudioKind::Ogg);
    EXPECT_EQ(kindOf("ID3\x04"), AudioKind::Mp3);
    EXPECT_EQ(kindOf("\xFF\xFB\x90\x64"), AudioKind::Mp3); // MPEG-1 layer III frame sync
    EXPECT_EQ(kindOf("\xFF\xF1\x50\x80"), AudioKind::Mp3); // ADTS sync looks the same
    EXPECT_EQ(kindOf("\xFF\xC0\x00\x00"), AudioKind::Unknown);
    EXPECT_EQ(kindOf(std::string("RIFF\0\0\0\0AVI ", 12)), AudioKind::Unknown);
    EXPECT_EQ(kindOf(std::string("FORM\0\0\0\0"
                                 "8SVX",
                                 12)),
              AudioKind::Unknown);
}

TEST(Sniff, NeedsTwelveBytes) {
    const unsigned char flac[11] = {'f', 'L', 'a', 'C'};
    EXPECT_EQ(sniff(flac, sizeof flac), AudioKind::Unknown);
    EXPECT_EQ(sniff(nullptr, 100), AudioKind::Unknown);
}

TEST(Sniff, KindNames) {
    EXPECT_STREQ(audioKindName(AudioKind::Wav), "WAV");
    EXPECT_STREQ(audioKindName(AudioKind::Aiff), "AIFF");
    EXPECT_STREQ(audioKindName(AudioKind::Mp3), "MP3");
    EXPECT_STREQ(audioKindName(AudioKind::Flac), "FLAC");
    EXPECT_STREQ(audioKindName(AudioKind::M4a), "M4A/AAC");
    EXPECT_STREQ(audioKindName(AudioKind::Ogg), "Ogg");
    EXPECT_STREQ(audioKindName(AudioKind::Unknown), "unknown");
    EXPECT_STREQ(audioKindName(static_cast<AudioKind>(42)), "unknown");
}

TEST(HeaderDump, HexThenPrintableCharactersOfAtMostTwelveBytes) {
    const unsigned char bytes[] = {'M',  'T',  'h', 'd', 0x00, 0x7F, 0x20,
                                   0x7E, 0xFF, 'a', 'b', 'c',  'd',  'e'};
    EXPECT_EQ(headerDump(bytes, sizeof bytes),
              "4D 54 68 64 00 7F 20 7E FF 61 62 63   \"MThd.. ~.abc\"");
    EXPECT_EQ(headerDump(bytes, 2), "4D 54   \"MT\"");
    EXPECT_EQ(headerDump(bytes, 0), "  \"\"");
}

// ---------------------------------------------------------------------------------------------
// Entry points and their failures

class DecodeEntryPoints : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = test::scratchDir("decode-entry");
        registerFileDecoder(nullptr);
        registerDescriptorDecoder(nullptr);
    }
    void TearDown() override {
        registerFileDecoder(nullptr);
        registerDescriptorDecoder(nullptr);
        for (int fd : fds_)
            ::close(fd);
    }
    std::string file(const std::string& name, const Bytes& bytes) {
        return test::writeBytes(dir_ + "/" + name, bytes);
    }
    int openFd(const std::string& path) {
        const int fd = ::open(path.c_str(), O_RDONLY);
        fds_.push_back(fd);
        return fd;
    }
    static Bytes mp3Bytes() {
        Bytes b = {'I', 'D', '3', 4, 0, 0, 0, 0, 0, 0};
        b.resize(200, 0x55);
        return b;
    }

    std::string dir_;
    std::vector<int> fds_;
};

TEST_F(DecodeEntryPoints, MemoryFailures) {
    EXPECT_EQ(decodeMemory(nullptr, 0).error, "empty file");
    const unsigned char one = 0;
    EXPECT_EQ(decodeMemory(&one, 0).error, "empty file");

    const Bytes mp3 = mp3Bytes();
    EXPECT_EQ(decodeBytes(mp3).error, "MP3 must be decoded from a file, not from memory");
    const Bytes unknown = {'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, 1, 0, 2, 1, 0xE0};
    const DecodeResult r = decodeBytes(unknown);
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.error, "unrecognised audio format \xE2\x80\x94 header: 4D 54 68 64 00 00 00 06 00 "
                       "01 00 02   \"MThd........\"");
    EXPECT_TRUE(r.samples.empty());
    EXPECT_EQ(r.frames, 0u);
}

TEST_F(DecodeEntryPoints, FileThatCannotBeReadOrIsEmpty) {
    EXPECT_EQ(decodeFile(dir_ + "/missing.wav").error, "could not open file");
    EXPECT_EQ(decodeFile(file("empty.wav", {})).error, "could not open file");
    EXPECT_EQ(decodeFile(dir_).error, "could not open file"); // a folder reads nothing
}

TEST_F(DecodeEntryPoints, SixByteFileOpensAndIsDumped) {
    const DecodeResult r = decodeFile(file("six.wav", {'R', 'I', 'F', 'F', 0x10, 0x00}));
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.error,
              "unrecognised audio format \xE2\x80\x94 header: 52 49 46 46 10 00   \"RIFF..\"");
}

TEST_F(DecodeEntryPoints, CompressedFileWithoutPlatformDecoderNamesTheFormat) {
    const std::string path = file("song.mp3", mp3Bytes());
    EXPECT_EQ(decodeFile(path).error, "MP3 needs a platform decoder, and none is registered "
                                      "(desktop builds decode WAV and AIFF only)");
    EXPECT_EQ(decodeDescriptor(openFd(path)).error,
              "MP3 needs a platform decoder, and none is registered for descriptors (desktop "
              "builds decode WAV and AIFF only)");
}

// What the hooks below were called with.
std::string gHookPath;
AudioKind gHookKind = AudioKind::Unknown;
long gHookOffset = -1;

TEST_F(DecodeEntryPoints, CompressedFilesGoToTheRegisteredHooks) {
    registerFileDecoder([](DecodeResult& out, const std::string& path, AudioKind kind) {
        gHookPath = path;
        gHookKind = kind;
        out.ok = true;
        out.sampleRate = 32000;
        out.samples = {1, 2};
        out.frames = 1;
    });
    registerDescriptorDecoder([](DecodeResult& out, int fd, AudioKind kind) {
        gHookOffset = static_cast<long>(::lseek(fd, 0, SEEK_CUR));
        gHookKind = kind;
        out.error = "hook failed";
    });
    Bytes flac = {'f', 'L', 'a', 'C'};
    flac.resize(64, 0);
    const std::string path = file("song.flac", flac);

    const DecodeResult byPath = decodeFile(path);
    EXPECT_TRUE(byPath.ok);
    EXPECT_EQ(byPath.sampleRate, 32000);
    EXPECT_EQ(gHookPath, path);
    EXPECT_EQ(gHookKind, AudioKind::Flac);

    gHookKind = AudioKind::Unknown;
    const int fd = openFd(path);
    ASSERT_EQ(::lseek(fd, 40, SEEK_SET), 40);
    const DecodeResult byFd = decodeDescriptor(fd);
    EXPECT_FALSE(byFd.ok);
    EXPECT_EQ(byFd.error, "hook failed");
    EXPECT_EQ(gHookKind, AudioKind::Flac);
    EXPECT_EQ(gHookOffset, 0) << "the descriptor is rewound before the platform decoder reads it";
}

TEST_F(DecodeEntryPoints, DescriptorFailures) {
    EXPECT_EQ(decodeDescriptor(-1).error, "invalid file descriptor");
    EXPECT_EQ(decodeDescriptor(openFd(file("empty.wav", {}))).error, "descriptor held no data");
    EXPECT_EQ(decodeDescriptor(openFd(dir_)).error,
              "read failed (errno " + std::to_string(EISDIR) + ")");
    const DecodeResult six = decodeDescriptor(openFd(file("six.wav", {'R', 'I', 'F', 'F', 1, 2})));
    EXPECT_EQ(six.error,
              "unrecognised audio format \xE2\x80\x94 header: 52 49 46 46 01 02   \"RIFF..\"");
}

TEST_F(DecodeEntryPoints, DescriptorAtEndOfFileIsReadFromTheStart) {
    const std::vector<std::int16_t> signal = test::testSignal(1000, 48000);
    const std::string path = test::writeStereoWav(dir_ + "/a.wav", signal, 48000);
    const int fd = openFd(path);
    ASSERT_GT(::lseek(fd, 0, SEEK_END), 0);
    const DecodeResult r = decodeDescriptor(fd);
    ASSERT_TRUE(r.ok) << r.error;
    EXPECT_EQ(r.samples, signal);
    EXPECT_EQ(r.sampleRate, 48000);
}

// ---------------------------------------------------------------------------------------------
// WAV sample conversion (exact values)

TEST(WavConversion, EightBitIsUnsignedAroundHalfScale) {
    const DecodeResult r = decodeBytes(test::simpleWav(1, 1, 8000, 8, {0x80, 0x00, 0xFF, 0x81}));
    ASSERT_TRUE(r.ok) << r.error;
    ASSERT_EQ(r.frames, 4u);
    EXPECT_EQ(frameAt(r, 0), std::make_pair(0, 0));
    EXPECT_EQ(frameAt(r, 1), std::make_pair(-32768, -32768));
    EXPECT_EQ(frameAt(r, 2), std::make_pair(32512, 32512));
    EXPECT_EQ(frameAt(r, 3), std::make_pair(256, 256));
}

TEST(WavConversion, SixteenBitIsKept) {
    Bytes data;
    for (int v : {0, 1, -1, 32767, -32768, 12345})
        test::putLe(data, static_cast<std::uint16_t>(v), 2);
    const DecodeResult r = decodeBytes(test::simpleWav(1, 2, 44100, 16, data));
    ASSERT_TRUE(r.ok) << r.error;
    EXPECT_EQ(r.samples, (std::vector<std::int16_t>{0, 1, -1, 32767, -32768, 12345}));
    EXPECT_EQ(r.sampleRate, 44100.0);
    EXPECT_EQ(r.frames, 3u);
}

TEST(WavConversion, TwentyFourBitKeepsTheTopSixteenBits) {
    Bytes data;
    for (std::uint32_t v : {0x7FFFFFu, 0x800000u, 0x0000FFu, 0xFFFFFFu, 0x123456u, 0xFEDCBAu})
        test::putLe(data, v, 3);
    const DecodeResult r = decodeBytes(test::simpleWav(1, 2, 96000, 24, data));
    ASSERT_TRUE(r.ok) << r.error;
    EXPECT_EQ(r.samples, (std::vector<std::int16_t>{32767, -32768, 0, -1, 0x1234,
                                                    static_cast<std::int16_t>(0xFEDC)}));
}

TEST(WavConversion, ThirtyTwoBitKeepsTheTopSixteenBits) {
    Bytes data;
    for (std::uint32_t v : {0x7FFFFFFFu, 0x80000000u, 0x0001FFFFu, 0xFFFFFFFFu})
        test::putLe(data, v, 4);
    const DecodeResult r = decodeBytes(test::simpleWav(1, 2, 48000, 32, data));
    ASSERT_TRUE(r.ok) << r.error;
    EXPECT_EQ(r.samples, (std::vector<std::int16_t>{32767, -32768, 1, -1}));
}

const double kNaN = std::numeric_limits<double>::quiet_NaN();
const double kInf = std::numeric_limits<double>::infinity();
// Float input and what it becomes: x * 32767, clamped, truncated towards zero, NaN as 0.
const std::vector<std::pair<double, int>> kFloatCases = {
    {0.0, 0},     {1.0, 32767},   {-1.0, -32767}, {1.5, 32767},       {-1.5, -32768},
    {0.5, 16383}, {-0.5, -16383}, {kNaN, 0},      {kInf, 32767},      {-kInf, -32768},
    {1e-9, 0},    {-2.0, -32768}, {0.25, 8191},   {-0.999999, -32766}};

TEST(WavConversion, ThirtyTwoBitFloat) {
    Bytes data;
    for (const auto& c : kFloatCases)
        test::putFloatLe(data, static_cast<float>(c.first));
    const DecodeResult r = decodeBytes(test::simpleWav(3, 1, 44100, 32, data));
    ASSERT_TRUE(r.ok) << r.error;
    ASSERT_EQ(r.frames, kFloatCases.size());
    for (std::size_t i = 0; i < kFloatCases.size(); ++i)
        EXPECT_EQ(frameAt(r, i), std::make_pair(kFloatCases[i].second, kFloatCases[i].second))
            << "input " << kFloatCases[i].first;
}

TEST(WavConversion, SixtyFourBitFloat) {
    Bytes data;
    for (const auto& c : kFloatCases)
        test::putDoubleLe(data, c.first);
    const DecodeResult r = decodeBytes(test::simpleWav(3, 1, 44100, 64, data));
    ASSERT_TRUE(r.ok) << r.error;
    ASSERT_EQ(r.frames, kFloatCases.size());
    for (std::size_t i = 0; i < kFloatCases.size(); ++i)
        EXPECT_EQ(r.samples[2 * i], kFloatCases[i].second) << "input " << kFloatCases[i].first;
}

TEST(WavConversion, ExtensibleTakesItsSubFormat) {
    Bytes pcm;
    test::putLe(pcm, 0x7FFFFF, 3);
    test::putLe(pcm, 0x800000, 3);
    const DecodeResult p = decodeBytes(
        test::riffFile({{"fmt ", test::fmtExtensible(1, 2, 48000, 24), {}}, {"data", pcm, {}}}));
    ASSERT_TRUE(p.ok) << p.error;
    EXPECT_EQ(p.samples, (std::vector<std::int16_t>{32767, -32768}));

    Bytes flt;
    test::putFloatLe(flt, 1.5f);
    test::putFloatLe(flt, -0.5f);
    const DecodeResult f = decodeBytes(
        test::riffFile({{"fmt ", test::fmtExtensible(3, 2, 48000, 32), {}}, {"data", flt, {}}}));
    ASSERT_TRUE(f.ok) << f.error;
    EXPECT_EQ(f.samples, (std::vector<std::int16_t>{32767, -16383}));

    // An extensible header cut short never reveals its sub-format.
    Bytes shortExt = test::fmtBody(0xFFFE, 2, 48000, 16);
    test::putLe(shortExt, 0, 2);
    EXPECT_EQ(decodeBytes(test::riffFile({{"fmt ", shortExt, {}}, {"data", Bytes(8), {}}})).error,
              "unsupported WAV codec (compressed WAV is not supported)");
}

// ---------------------------------------------------------------------------------------------
// WAV structure

Bytes stereo16(std::initializer_list<int> values) {
    Bytes b;
    for (int v : values)
        test::putLe(b, static_cast<std::uint16_t>(v), 2);
    return b;
}

TEST(WavStructure, ChannelsBeyondTwoAreMixedDownAndMonoIsDuplicated) {
    const DecodeResult mono = decodeBytes(test::simpleWav(1, 1, 22050, 16, stereo16({5, -7})));
    ASSERT_TRUE(mono.ok);
    EXPECT_EQ(mono.samples, (std::vector<std::int16_t>{5, 5, -7, -7}));

    const DecodeResult six = decodeBytes(
        test::simpleWav(1, 6, 48000, 16, stereo16({1, 2, 3, 4, 5, 6, 11, 12, 13, 14, 15, 16})));
    ASSERT_TRUE(six.ok);
    EXPECT_EQ(six.samples, (std::vector<std::int16_t>{3, 3, 13, 13})); // 5.1, rounded
}

TEST(WavStructure, DataChunkDeclaringMoreThanIsThereDecodesWhatIsPresent) {
    const DecodeResult r = decodeBytes(test::riffFile(
        {{"fmt ", test::fmtBody(1, 2, 44100, 16), {}}, {"data", stereo16({1, 2, 3, 4}), 4000}}));
    ASSERT_TRUE(r.ok) << r.error;
    EXPECT_EQ(r.frames, 2u);
    EXPECT_EQ(r.samples, (std::vector<std::int16_t>{1, 2, 3, 4}));
}

TEST(WavStructure, TrailingPartialFrameIsDropped) {
    Bytes data = stereo16({1, 2, 3, 4});
    data.push_back(9);
    data.push_back(9);
    data.push_back(9);
    const DecodeResult r = decodeBytes(test::simpleWav(1, 2, 44100, 16, data));
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(r.frames, 2u);
    EXPECT_EQ(r.samples.size(), 4u);
}

TEST(WavStructure, HeaderOnlyFileDecodesToZeroFrames) {
    const DecodeResult r = decodeBytes(test::simpleWav(1, 2, 44100, 16, {}));
    EXPECT_TRUE(r.ok) << r.error;
    EXPECT_EQ(r.frames, 0u);
    EXPECT_TRUE(r.samples.empty());
    EXPECT_EQ(r.sampleRate, 44100.0);
}

TEST(WavStructure, ChunksInAnyOrderWithOddPaddingAndLaterOnesWin) {
    const DecodeResult r = decodeBytes(test::riffFile({
        {"data", stereo16({100, 200}), {}},
        {"LIST", {'a', 'b', 'c'}, {}}, // odd size: one pad byte follows
        {"fmt ", test::fmtBody(1, 1, 8000, 8), {}},
        {"fmt ", test::fmtBody(1, 2, 44100, 16), {}},
        {"data", stereo16({7, 8, 9, 10}), {}},
        {"id3 ", {'x'}, {}},
    }));
    ASSERT_TRUE(r.ok) << r.error;
    EXPECT_EQ(r.sampleRate, 44100.0);
    EXPECT_EQ(r.samples, (std::vector<std::int16_t>{7, 8, 9, 10}));
}

TEST(WavStructure, HeaderErrorsInOrder) {
    const Bytes data = stereo16({1, 2});
    auto error = [](const std::vector<Chunk>& chunks) {
        return decodeBytes(test::riffFile(chunks)).error;
    };
    EXPECT_EQ(error({{"data", data, {}}}), "no fmt chunk");
    EXPECT_EQ(error({{"fmt ", Bytes(14), {}}, {"data", data, {}}}), "no fmt chunk"); // too short
    EXPECT_EQ(error({{"fmt ", test::fmtBody(1, 2, 44100, 16), {}}}), "no data chunk");
    EXPECT_EQ(error({{"fmt ", test::fmtBody(1, 0, 0, 12), {}}, {"data", data, {}}}),
              "zero channels");
    EXPECT_EQ(error({{"fmt ", test::fmtBody(1, 2, 0, 12), {}}, {"data", data, {}}}),
              "zero sample rate");
    EXPECT_EQ(error({{"fmt ", test::fmtBody(1, 2, 44100, 12), {}}, {"data", data, {}}}),
              "unsupported PCM bit depth");
    EXPECT_EQ(error({{"fmt ", test::fmtBody(1, 2, 44100, 0), {}}, {"data", data, {}}}),
              "unsupported PCM bit depth");
    EXPECT_EQ(error({{"fmt ", test::fmtBody(3, 2, 44100, 16), {}}, {"data", data, {}}}),
              "unsupported float bit depth");
    EXPECT_EQ(error({{"fmt ", test::fmtBody(2, 2, 44100, 4), {}}, {"data", data, {}}}),
              "unsupported WAV codec (compressed WAV is not supported)");
    EXPECT_EQ(error({{"fmt ", test::fmtBody(0x55, 2, 44100, 16), {}}, {"data", data, {}}}),
              "unsupported WAV codec (compressed WAV is not supported)");
}

TEST(WavStructure, ChunkSizesNearTheEndOfTheFileDoNotOverrun) {
    // A chunk whose declared size runs far past the end, and a stray header fragment.
    Bytes b = test::riffFile({{"fmt ", test::fmtBody(1, 2, 44100, 16), {}},
                              {"data", stereo16({1, 2, 3, 4}), {}},
                              {"junk", Bytes(3), 0xFFFFFFF0u}});
    b.push_back('d');
    const DecodeResult r = decodeBytes(b);
    ASSERT_TRUE(r.ok) << r.error;
    EXPECT_EQ(r.frames, 2u);
}

// RF64: the data chunk's real size lives in the ds64 chunk.
Bytes rf64File(std::uint64_t ds64DataSize, const Bytes& data, bool withDs64 = true,
               const Bytes& trailer = {}) {
    Bytes ds64;
    test::putLe(ds64, 0, 8);            // RIFF size (unused)
    test::putLe(ds64, ds64DataSize, 8); // data size
    test::putLe(ds64, 0, 8);            // sample count
    test::putLe(ds64, 0, 4);            // no table
    std::vector<Chunk> chunks;
    if (withDs64) chunks.push_back({"ds64", ds64, {}});
    chunks.push_back({"fmt ", test::fmtBody(1, 2, 48000, 16), {}});
    chunks.push_back({"data", data, 0xFFFFFFFFu});
    if (!trailer.empty()) chunks.push_back({"LIST", trailer, {}});
    return test::riffFile(chunks, "RF64");
}

TEST(WavRf64, DataSizeComesFromDs64) {
    const Bytes data = stereo16({1, 2, 3, 4, 5, 6});
    // ds64 says two frames; what follows is another chunk, not samples.
    const DecodeResult r = decodeBytes(rf64File(8, data, true, {'t', 'a', 'g', 's'}));
    ASSERT_TRUE(r.ok) << r.error;
    EXPECT_EQ(r.samples, (std::vector<std::int16_t>{1, 2, 3, 4}));

    const DecodeResult all = decodeBytes(rf64File(12, data));
    ASSERT_TRUE(all.ok) << all.error;
    EXPECT_EQ(all.frames, 3u);
}

TEST(WavRf64, OversizedOrMissingDs64FallsBackToTheBytesPresent) {
    const Bytes data = stereo16({1, 2, 3, 4});
    const DecodeResult huge = decodeBytes(rf64File(1ull << 40, data));
    ASSERT_TRUE(huge.ok) << huge.error;
    EXPECT_EQ(huge.frames, 2u);
    const DecodeResult none = decodeBytes(rf64File(0, data, false));
    ASSERT_TRUE(none.ok) << none.error;
    EXPECT_EQ(none.frames, 2u);
}

// ---------------------------------------------------------------------------------------------
// From a file (read piece by piece) and from a descriptor, the same as from memory

struct Layout {
    std::uint16_t tag, channels, bits;
};

class WavSources : public ::testing::TestWithParam<Layout> {};

TEST_P(WavSources, FileDescriptorAndMemoryAgree) {
    const Layout l = GetParam();
    // Big enough to cross the file reader's buffer several times, with frames that straddle it.
    const std::size_t frames = 150002;
    Bytes data;
    std::uint32_t x = 12345;
    const std::size_t bytes = frames * l.channels * l.bits / 8;
    data.reserve(bytes);
    for (std::size_t i = 0; i < bytes; ++i) {
        x = x * 1664525u + 1013904223u;
        data.push_back(static_cast<unsigned char>(x >> 24));
    }
    if (l.tag == 3) // keep floats finite and mostly in range
        for (std::size_t i = l.bits / 8 - 1; i < bytes; i += l.bits / 8)
            data[i] = static_cast<unsigned char>(data[i] & 0xBF);
    // A declared size past the end, as an interrupted recording leaves it.
    const Bytes wav = test::riffFile({{"LIST", Bytes(33), {}},
                                      {"fmt ", test::fmtBody(l.tag, l.channels, 44100, l.bits), {}},
                                      {"data", data, bytes + 1000}});
    const DecodeResult fromMemory = decodeBytes(wav);
    ASSERT_TRUE(fromMemory.ok) << fromMemory.error;
    ASSERT_EQ(fromMemory.frames, frames);

    const std::string path = test::writeBytes(test::scratchDir("wav-sources") + "/x.wav", wav);
    const DecodeResult fromFile = decodeFile(path);
    ASSERT_TRUE(fromFile.ok) << fromFile.error;
    EXPECT_EQ(fromFile.frames, frames);
    EXPECT_TRUE(fromFile.samples == fromMemory.samples);

    const int fd = ::open(path.c_str(), O_RDONLY);
    const DecodeResult fromFd = decodeDescriptor(fd);
    ::close(fd);
    ASSERT_TRUE(fromFd.ok) << fromFd.error;
    EXPECT_TRUE(fromFd.samples == fromMemory.samples);
}

INSTANTIATE_TEST_SUITE_P(Layouts, WavSources,
                         ::testing::Values(Layout{1, 2, 16}, Layout{1, 1, 16}, Layout{1, 2, 24},
                                           Layout{1, 3, 24}, Layout{1, 6, 32}, Layout{1, 1, 8},
                                           Layout{3, 2, 32}, Layout{3, 5, 64}));

// ---------------------------------------------------------------------------------------------
// Files written by sox and ffmpeg

class ToolWrittenWav : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = test::scratchDir("tool-wav");
        signal_ = test::testSignal(kFrames, 44100);
        source_ = test::writeStereoWav(dir_ + "/source.wav", signal_, 44100);
    }
    // Converts the source with sox `options`; returns the decoded result.
    DecodeResult viaSox(const std::string& options, const std::string& name,
                        const std::string& effects = {}) {
        const std::string out = dir_ + "/" + name;
        EXPECT_TRUE(
            test::shell("sox -D '" + source_ + "' " + options + " '" + out + "' " + effects));
        return decodeFile(out);
    }
    void expectClose(const DecodeResult& r, int tolerance, bool monoOfLeft = false) {
        test::expectCloseToSignal(r, signal_, 44100.0, tolerance, monoOfLeft);
    }

    static constexpr std::size_t kFrames = 44100;
    std::string dir_, source_;
    std::vector<std::int16_t> signal_;
};

TEST_F(ToolWrittenWav, IntegerDepthsRoundTrip) {
    expectClose(viaSox("-b 16", "s16.wav"), 0);
    expectClose(viaSox("-b 24", "s24.wav"), 0); // extensible header
    expectClose(viaSox("-b 32", "s32.wav"), 0);
    expectClose(viaSox("-b 8", "u8.wav"), 256);
}

TEST_F(ToolWrittenWav, FloatDepths) {
    // 16-bit x is stored as x / 32768 and comes back as trunc(x * 32767 / 32768).
    expectClose(viaSox("-e floating-point -b 32", "f32.wav"), 1);
    expectClose(viaSox("-e floating-point -b 64", "f64.wav"), 1);
}

TEST_F(ToolWrittenWav, MonoAndSixChannels) {
    expectClose(viaSox("-c 1", "mono.wav", "remix 1"), 0, true);
    // 5.1 with the source on the front pair and a loud low-frequency channel that stays out.
    const DecodeResult six = viaSox("-b 24", "six.wav", "remix 1 2 0 2v0.9 0 0");
    std::vector<std::int16_t> front = signal_;
    for (std::int16_t& v : front)
        v = static_cast<std::int16_t>(std::lround(v * 0.41421356));
    test::expectCloseToSignal(six, front, 44100.0, 1);
}

TEST_F(ToolWrittenWav, Rf64FromFfmpeg) {
    const std::string out = dir_ + "/rf64.wav";
    ASSERT_TRUE(test::shell("ffmpeg -v error -y -i '" + source_ +
                            "' -c:a pcm_s24le -rf64 always '" + out + "'"));
    std::ifstream in(out, std::ios::binary);
    char magic[4] = {};
    in.read(magic, 4);
    ASSERT_EQ(std::string(magic, 4), "RF64");
    expectClose(decodeFile(out), 0);
}

} // namespace
} // namespace vyn
