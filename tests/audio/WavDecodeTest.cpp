// Format recognition, the decode entry points and the WAV parser: exact conversions from files
// built byte by byte, damaged structures, RF64, and real WAV and AIFF files written by sox and
// ffmpeg.

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
using test::decodeBytes;

Bytes int16s(std::initializer_list<int> values) {
    Bytes b;
    for (int v : values)
        test::putLe(b, static_cast<std::uint16_t>(v), 2);
    return b;
}

// ---------------------------------------------------------------------------------------------
// Recognition

TEST(Sniff, RecognisesEachContainerByItsFirstTwelveBytesAndDumpsAnUnknownOne) {
    using namespace std::string_literals; // the headers hold NUL bytes
    const std::pair<std::string, AudioKind> cases[] = {
        {"RIFF\0\0\0\0WAVE"s, AudioKind::Wav},
        {"RF64\xFF\xFF\xFF\xFFWAVE"s, AudioKind::Wav},
        {"FORM\0\0\0\0AIFF"s, AudioKind::Aiff},
        {"FORM\0\0\0\0AIFC"s, AudioKind::Aiff},
        {"fLaC", AudioKind::Flac},
        {"\0\0\0 ftypM4A "s, AudioKind::M4a}, // a box of 0x20 bytes
        {"OggS", AudioKind::Ogg},
        {"ID3\x04", AudioKind::Mp3},
        {"\xFF\xFB\x90\x64", AudioKind::Mp3}, // MPEG-1 layer III frame sync
        {"\xFF\xF1\x50\x80", AudioKind::Mp3}, // ADTS sync looks the same
        {"\xFF\xC0\x00\x00", AudioKind::Unknown},
        {"RIFF\0\0\0\0AVI "s, AudioKind::Unknown},
        {"FORM\0\0\0\0"
         "8SVX"s,
         AudioKind::Unknown},
    };
    for (const auto& [head, kind] : cases) {
        std::string padded = head;
        padded.resize(16, '\0');
        EXPECT_EQ(sniff(reinterpret_cast<const unsigned char*>(padded.data()), padded.size()), kind)
            << head;
    }
    const unsigned char flac[11] = {'f', 'L', 'a', 'C'};
    EXPECT_EQ(sniff(flac, sizeof flac), AudioKind::Unknown) << "fewer than twelve bytes";
    EXPECT_EQ(sniff(nullptr, 100), AudioKind::Unknown);
    // What an unknown header shows: hex, then the printable characters, of at most twelve bytes.
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
        fds_.push_back(::open(path.c_str(), O_RDONLY));
        return fds_.back();
    }

    std::string dir_;
    std::vector<int> fds_;
};

TEST_F(DecodeEntryPoints, FailuresNameTheirCause) {
    const std::string dump = "unrecognised audio format \xE2\x80\x94 header: ";
    const unsigned char one = 0;
    EXPECT_EQ(decodeMemory(nullptr, 0).error, "empty file");
    EXPECT_EQ(decodeMemory(&one, 0).error, "empty file");
    Bytes mp3 = {'I', 'D', '3', 4, 0, 0, 0, 0, 0, 0};
    mp3.resize(200, 0x55);
    EXPECT_EQ(decodeBytes(mp3).error, "MP3 must be decoded from a file, not from memory");
    const DecodeResult midi = decodeBytes({'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, 1, 0, 2, 1, 0xE0});
    EXPECT_EQ(midi.error, dump + "4D 54 68 64 00 00 00 06 00 01 00 02   \"MThd........\"");
    EXPECT_TRUE(midi.samples.empty());
    EXPECT_EQ(midi.frames, 0u);

    EXPECT_EQ(decodeFile(dir_ + "/missing.wav").error, "could not open file");
    EXPECT_EQ(decodeFile(file("empty.wav", {})).error, "could not open file");
    EXPECT_EQ(decodeFile(dir_).error, "could not open file"); // a folder reads nothing
    EXPECT_EQ(decodeFile(file("six.wav", {'R', 'I', 'F', 'F', 0x10, 0x00})).error,
              dump + "52 49 46 46 10 00   \"RIFF..\"");

    EXPECT_EQ(decodeDescriptor(-1).error, "invalid file descriptor");
    EXPECT_EQ(decodeDescriptor(openFd(dir_ + "/empty.wav")).error, "descriptor held no data");
#ifndef _WIN32
    // Windows gives no descriptor for a folder at all.
    EXPECT_EQ(decodeDescriptor(openFd(dir_)).error,
              "read failed (errno " + std::to_string(EISDIR) + ")");
#endif
    EXPECT_EQ(decodeDescriptor(openFd(file("six2.wav", {'R', 'I', 'F', 'F', 1, 2}))).error,
              dump + "52 49 46 46 01 02   \"RIFF..\"");

    const std::string song = file("song.mp3", mp3);
    EXPECT_EQ(decodeFile(song).error, "MP3 needs a platform decoder, and none is registered "
                                      "(desktop builds decode WAV and AIFF only)");
    EXPECT_EQ(decodeDescriptor(openFd(song)).error,
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
    EXPECT_EQ(byPath.sampleRate, 32000);
    EXPECT_EQ(gHookPath, path);
    EXPECT_EQ(gHookKind, AudioKind::Flac);

    gHookKind = AudioKind::Unknown;
    const int fd = openFd(path);
    ASSERT_EQ(::lseek(fd, 40, SEEK_SET), 40);
    EXPECT_EQ(decodeDescriptor(fd).error, "hook failed");
    EXPECT_EQ(gHookKind, AudioKind::Flac);
    EXPECT_EQ(gHookOffset, 0) << "the descriptor is rewound before the platform decoder reads it";
}

// ---------------------------------------------------------------------------------------------
// WAV sample conversion (exact values)

TEST(WavConversion, IntegerDepthsKeepTheTopSixteenBits) {
    struct Case {
        std::uint16_t bits;
        std::vector<std::uint32_t> stored;
        std::vector<std::int16_t> decoded;
    };
    const Case cases[] = {
        {8, {0x80, 0x00, 0xFF, 0x81}, {0, -32768, 32512, 256}}, // unsigned around half scale
        {16, {0, 1, 0xFFFF, 32767, 0x8000, 12345}, {0, 1, -1, 32767, -32768, 12345}},
        {24,
         {0x7FFFFFu, 0x800000u, 0x0000FFu, 0xFFFFFFu, 0x123456u, 0xFEDCBAu},
         {32767, -32768, 0, -1, 0x1234, static_cast<std::int16_t>(0xFEDC)}},
        {32, {0x7FFFFFFFu, 0x80000000u, 0x0001FFFFu, 0xFFFFFFFFu}, {32767, -32768, 1, -1}},
    };
    for (const Case& c : cases) {
        Bytes data;
        for (std::uint32_t v : c.stored)
            test::putLe(data, v, c.bits / 8);
        const DecodeResult r = decodeBytes(test::simpleWav(1, 2, 96000, c.bits, data));
        ASSERT_TRUE(r.ok) << c.bits << ": " << r.error;
        EXPECT_EQ(r.samples, c.decoded) << c.bits;
    }
}

TEST(WavConversion, FloatsScaleClampAndTruncateWithNanAsSilence) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    // x * 32767, clamped, truncated towards zero.
    const std::pair<double, int> cases[] = {
        {0.0, 0},     {1.0, 32767},   {-1.0, -32767}, {1.5, 32767},       {-1.5, -32768},
        {0.5, 16383}, {-0.5, -16383}, {nan, 0},       {inf, 32767},       {-inf, -32768},
        {1e-9, 0},    {-2.0, -32768}, {0.25, 8191},   {-0.999999, -32766}};
    Bytes f32, f64;
    std::vector<std::int16_t> want;
    for (const auto& [in, out] : cases) {
        test::putReal(f32, static_cast<float>(in), false);
        test::putReal(f64, in, false);
        want.insert(want.end(), {static_cast<std::int16_t>(out), static_cast<std::int16_t>(out)});
    }
    for (const auto& [bits, data] : {std::pair{32, f32}, std::pair{64, f64}}) {
        const DecodeResult r =
            decodeBytes(test::simpleWav(3, 1, 44100, static_cast<std::uint16_t>(bits), data));
        ASSERT_TRUE(r.ok) << bits << ": " << r.error;
        EXPECT_EQ(r.samples, want) << bits;
    }
}

TEST(WavConversion, ExtensibleTakesItsSubFormat) {
    Bytes pcm, flt;
    test::putLe(pcm, 0x7FFFFF, 3);
    test::putLe(pcm, 0x800000, 3);
    test::putReal(flt, 1.5f, false);
    test::putReal(flt, -0.5f, false);
    const auto extensible = [](std::uint16_t subTag, std::uint16_t bits, const Bytes& data) {
        return decodeBytes(test::riffFile(
            {{"fmt ", test::fmtExtensible(subTag, 2, 48000, bits), {}}, {"data", data, {}}}));
    };
    EXPECT_EQ(extensible(1, 24, pcm).samples, (std::vector<std::int16_t>{32767, -32768}));
    EXPECT_EQ(extensible(3, 32, flt).samples, (std::vector<std::int16_t>{32767, -16383}));
    // An extensible header cut short never reveals its sub-format.
    Bytes shortExt = test::fmtBody(0xFFFE, 2, 48000, 16);
    test::putLe(shortExt, 0, 2);
    EXPECT_EQ(decodeBytes(test::riffFile({{"fmt ", shortExt, {}}, {"data", Bytes(8), {}}})).error,
              "unsupported WAV codec (compressed WAV is not supported)");
}

// ---------------------------------------------------------------------------------------------
// WAV structure

TEST(WavStructure, MonoIsDuplicatedAndMoreChannelsMixDownByTheirSpeakers) {
    EXPECT_EQ(decodeBytes(test::simpleWav(1, 1, 22050, 16, int16s({5, -7}))).samples,
              (std::vector<std::int16_t>{5, 5, -7, -7}));
    EXPECT_EQ(decodeBytes(test::simpleWav(1, 6, 48000, 16,
                                          int16s({1, 2, 3, 4, 5, 6, 11, 12, 13, 14, 15, 16})))
                  .samples,
              (std::vector<std::int16_t>{3, 3, 13, 13})); // 5.1, rounded
    // Four channels are 4.0 (FL FR FC BC) by default; a mask can make them FL FR SL SR.
    Bytes fmt = test::fmtExtensible(1, 4, 44100, 16);
    for (int i = 0; i < 4; ++i)
        fmt[20 + i] = static_cast<unsigned char>(0x603u >> (8 * i));
    Bytes frame;
    for (int c = 0; c < 4; ++c)
        test::putLe(frame, c == 2 ? 10000 : 0, 2);
    const DecodeResult sides =
        decodeBytes(test::riffFile({{"fmt ", fmt, {}}, {"data", frame, {}}}));
    EXPECT_EQ(sides.samples, (std::vector<std::int16_t>{4142, 0})) << sides.error;
    const DecodeResult centre = decodeBytes(test::simpleWav(1, 4, 44100, 16, frame));
    EXPECT_EQ(centre.samples, (std::vector<std::int16_t>{3204, 3204})) << centre.error;
}

TEST(WavStructure, TheDataPresentIsDecodedWhateverItsChunkDeclares) {
    Bytes partial = int16s({1, 2, 3, 4});
    partial.insert(partial.end(), {9, 9, 9}); // a trailing partial frame is dropped
    const Bytes fmt = test::fmtBody(1, 2, 44100, 16);
    const std::pair<std::vector<Chunk>, std::vector<std::int16_t>> cases[] = {
        {{{"fmt ", fmt, {}}, {"data", int16s({1, 2, 3, 4}), 4000}}, {1, 2, 3, 4}},
        {{{"fmt ", fmt, {}}, {"data", partial, {}}}, {1, 2, 3, 4}},
        {{{"fmt ", fmt, {}}, {"data", {}, {}}}, {}},
        // A chunk running far past the end after the data, and a stray header fragment.
        {{{"fmt ", fmt, {}}, {"data", int16s({1, 2, 3, 4}), {}}, {"junk", Bytes(3), 0xFFFFFFF0u}},
         {1, 2, 3, 4}},
    };
    for (const auto& [chunks, samples] : cases) {
        Bytes file = test::riffFile(chunks);
        file.push_back('d');
        const DecodeResult r = decodeBytes(file);
        ASSERT_TRUE(r.ok) << r.error;
        EXPECT_EQ(r.samples, samples);
        EXPECT_EQ(r.frames, samples.size() / 2);
    }
}

TEST(WavStructure, ChunksInAnyOrderWithOddPaddingAndLaterOnesWin) {
    const DecodeResult r = decodeBytes(test::riffFile({
        {"data", int16s({100, 200}), {}},
        {"LIST", {'a', 'b', 'c'}, {}}, // odd size: one pad byte follows
        {"fmt ", test::fmtBody(1, 1, 8000, 8), {}},
        {"fmt ", test::fmtBody(1, 2, 44100, 16), {}},
        {"data", int16s({7, 8, 9, 10}), {}},
        {"id3 ", {'x'}, {}},
    }));
    ASSERT_TRUE(r.ok) << r.error;
    EXPECT_EQ(r.sampleRate, 44100.0);
    EXPECT_EQ(r.samples, (std::vector<std::int16_t>{7, 8, 9, 10}));
}

TEST(WavStructure, HeaderErrorsInOrder) {
    const Bytes data = int16s({1, 2});
    const auto withFmt = [&](std::uint16_t tag, std::uint16_t channels, std::uint32_t rate,
                             std::uint16_t bits) {
        return std::vector<Chunk>{{"fmt ", test::fmtBody(tag, channels, rate, bits), {}},
                                  {"data", data, {}}};
    };
    const std::string compressed = "unsupported WAV codec (compressed WAV is not supported)";
    const std::pair<std::vector<Chunk>, std::string> cases[] = {
        {{{"data", data, {}}}, "no fmt chunk"},
        {{{"fmt ", Bytes(14), {}}, {"data", data, {}}}, "no fmt chunk"}, // too short
        {{{"fmt ", test::fmtBody(1, 2, 44100, 16), {}}}, "no data chunk"},
        {withFmt(1, 0, 0, 12), "zero channels"},
        {withFmt(1, 2, 0, 12), "zero sample rate"},
        {withFmt(1, 2, 44100, 12), "unsupported PCM bit depth"},
        {withFmt(1, 2, 44100, 0), "unsupported PCM bit depth"},
        {withFmt(3, 2, 44100, 16), "unsupported float bit depth"},
        {withFmt(2, 2, 44100, 4), compressed},
        {withFmt(0x55, 2, 44100, 16), compressed},
    };
    for (const auto& [chunks, error] : cases)
        EXPECT_EQ(decodeBytes(test::riffFile(chunks)).error, error);
}

TEST(WavRf64, DataSizeComesFromDs64OrFromTheBytesPresent) {
    // ds64 size, with ds64, trailing chunk, frames decoded.
    struct Case {
        std::uint64_t ds64Size;
        bool withDs64;
        Bytes trailer;
        std::size_t frames;
    };
    const Case cases[] = {
        {8, true, {'t', 'a', 'g', 's'}, 2}, // what follows two frames is a chunk, not samples
        {12, true, {}, 3},
        {1ull << 40, true, {}, 3}, // oversized: the bytes present
        {0, false, {}, 3},         // no ds64 at all
    };
    for (const Case& c : cases) {
        Bytes ds64;
        test::putLe(ds64, 0, 8); // RIFF size (unused)
        test::putLe(ds64, c.ds64Size, 8);
        test::putLe(ds64, 0, 8); // sample count
        test::putLe(ds64, 0, 4); // no table
        std::vector<Chunk> chunks;
        if (c.withDs64) chunks.push_back({"ds64", ds64, {}});
        chunks.push_back({"fmt ", test::fmtBody(1, 2, 48000, 16), {}});
        chunks.push_back({"data", int16s({1, 2, 3, 4, 5, 6}), 0xFFFFFFFFu});
        if (!c.trailer.empty()) chunks.push_back({"LIST", c.trailer, {}});
        const DecodeResult r = decodeBytes(test::riffFile(chunks, "RF64"));
        ASSERT_TRUE(r.ok) << r.error;
        EXPECT_EQ(r.frames, c.frames) << c.ds64Size;
        EXPECT_EQ(r.samples[0], 1);
    }
}

// ---------------------------------------------------------------------------------------------
// From a file (read piece by piece) and from a descriptor (rewound), the same as from memory

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
    EXPECT_TRUE(fromFile.samples == fromMemory.samples);

    const int fd = ::open(path.c_str(), O_RDONLY);
    ASSERT_GT(::lseek(fd, 0, SEEK_END), 0) << "a descriptor at the end is read from the start";
    const DecodeResult fromFd = decodeDescriptor(fd);
    ::close(fd);
    ASSERT_TRUE(fromFd.ok) << fromFd.error;
    EXPECT_TRUE(fromFd.samples == fromMemory.samples);
}

INSTANTIATE_TEST_SUITE_P(Layouts, WavSources,
                         ::testing::Values(Layout{1, 2, 16}, Layout{1, 1, 16}, Layout{1, 2, 24},
                                           Layout{1, 3, 24}, Layout{1, 6, 32}, Layout{1, 1, 8},
                                           Layout{3, 2, 32}, Layout{3, 5, 64}),
                         [](const auto& named) {
                             const Layout& l = named.param;
                             return std::string(l.tag == 3 ? "Float" : "Pcm") +
                                    std::to_string(l.bits) + "Bit" + std::to_string(l.channels) +
                                    "Channels";
                         });

// ---------------------------------------------------------------------------------------------
// WAV and AIFF files written by sox and ffmpeg

TEST(ToolWrittenFiles, DecodeToTheSourceSignal) {
    struct Case {
        std::string command; // IN and OUT stand for the two files
        std::string name;
        int tolerance;
        double level = 1.0; // of the source in the decoded signal
    };
    // No mono files: a mono header differs only in its count, and mono is exact in WavStructure
    // and AiffConversion.
    std::vector<Case> cases = {
        // 16-bit x is stored as x / 32768 and comes back as trunc(x * 32767 / 32768).
        {"sox -D IN -e floating-point -b 32 OUT", "f32.wav", 1},
        {"sox -D IN -e floating-point -b 64 OUT", "f64.wav", 1},
        // 5.1 with the source on the front pair and a loud low-frequency channel that stays out:
        // the front pair at the downmix's level.
        {"sox -D IN -b 24 OUT remix 1 2 0 2v0.9 0 0", "six.wav", 1, 0.41421356},
        {"ffmpeg -v error -y -i IN -c:a pcm_s24le -rf64 always OUT", "rf64.wav", 0},
        {"sox -D IN -t aifc OUT", "none.aifc", 0},
        {"ffmpeg -v error -y -i IN -c:a pcm_s16le -f aiff OUT", "sowt.aifc", 0},
        {"ffmpeg -v error -y -i IN -c:a pcm_f32be -f aiff OUT", "fl32.aifc", 1},
        {"ffmpeg -v error -y -i IN -c:a pcm_f64be -f aiff OUT", "fl64.aifc", 1},
        {"sox -D IN OUT remix 1 2 0 1v0.9 0 0", "six.aiff", 1, 0.41421356},
    };
    // Every integer depth in both containers (24-bit WAV with an extensible header, 8-bit WAV
    // unsigned, 8-bit AIFF signed).
    for (const char* container : {"wav", "aiff"})
        for (int bits : {8, 16, 24, 32})
            cases.push_back({"sox -D IN -b " + std::to_string(bits) + " OUT",
                             "s" + std::to_string(bits) + "." + container, bits == 8 ? 256 : 0});
    const std::string dir = test::scratchDir("tool-written");
    const std::vector<std::int16_t> signal = test::testSignal(24000, 48000);
    const std::string source = test::writeStereoWav(dir + "/source.wav", signal, 48000);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string out = dir + "/" + c.name;
        std::string command = c.command;
        command.replace(command.find("IN"), 2, "'" + source + "'");
        command.replace(command.find("OUT"), 3, "'" + out + "'");
        ASSERT_TRUE(test::shell(command)) << command;
        std::vector<std::int16_t> expected = signal;
        for (std::int16_t& v : expected)
            v = static_cast<std::int16_t>(std::lround(v * c.level));
        test::expectCloseToSignal(decodeFile(out), expected, 48000.0, c.tolerance);
    }
    std::ifstream rf64(dir + "/rf64.wav", std::ios::binary);
    char magic[4] = {};
    rf64.read(magic, 4);
    EXPECT_EQ(std::string(magic, 4), "RF64");
}

} // namespace
} // namespace vyn
