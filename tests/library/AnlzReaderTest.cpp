#include "library/AnlzReader.h"
#include "AnlzWriter.h"
#include "common/LibraryFixtures.h"
#include "common/TestPaths.h"
#include "library/TrackAnalysis.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <filesystem>
#include <unistd.h>
#ifdef _WIN32
#include <io.h>
#endif

namespace vyn {
namespace {

using test::AnlzWriter;

AnlzResult full(const std::string& f) {
    return parseAnlz(reinterpret_cast<const unsigned char*>(f.data()), f.size());
}
AnlzResult light(const std::string& f) {
    return parseAnlzLight(reinterpret_cast<const unsigned char*>(f.data()), f.size());
}

std::string tags(const AnlzResult& r) {
    std::string s;
    for (const AnlzSection& section : r.sections)
        s += std::string(section.tag) + " ";
    return s;
}

TEST(AnlzHeader, RejectsWhatIsNoContainer) {
    const std::string good = AnlzWriter().beatGrid({{1, 12000, 0}}).build();
    for (auto parseMode : {full, light}) {
        EXPECT_TRUE(parseMode(good).ok);
        EXPECT_EQ(parseMode(good.substr(0, 11)).error, "file too short to be an ANLZ");
        std::string magic = good;
        magic[3] = 'X';
        EXPECT_EQ(parseMode(magic).error, "missing PMAI header");
        std::string header = good;
        header.replace(4, 4, test::be32(15));
        EXPECT_EQ(parseMode(header).error, "bad PMAI header length");
        EXPECT_EQ(parseMode(good.substr(0, 28)).error, "PMAI container held no sections");
        // The header's file length cuts the data: the section no longer fits.
        EXPECT_EQ(parseMode(AnlzWriter().beatGrid({{1, 12000, 0}}).build(40)).error,
                  "PMAI container held no sections");
    }
    EXPECT_EQ(full(good.substr(0, 15)).error, "file too short to be an ANLZ");
    std::string beyond = good;
    beyond.replace(4, 4, test::be32(1000));
    EXPECT_EQ(full(beyond).error, "bad PMAI header length");
    EXPECT_EQ(light(beyond).error, "could not read the PMAI header");
}

TEST(AnlzGrid, BeatsBecomeAGrid) {
    const AnlzResult r =
        full(AnlzWriter().beatGrid({{1, 12800, 25}, {0, 12800, 494}, {7, 12900, 963}}).build());
    ASSERT_TRUE(r.ok);
    // 0 and 7 are no beat-in-bar numbers: they become downbeats.
    EXPECT_EQ(r.grid.beats,
              (std::vector<GridBeat>{{0.025, 128, 1}, {0.494, 128, 1}, {0.963, 129, 1}}));
    EXPECT_FALSE(r.grid.constantTempo);
    EXPECT_NEAR(r.grid.bpm, (128.0 * 2 + 129.0) / 3, 1e-9);

    // A count larger than the section holds is capped by the section.
    std::string capped = AnlzWriter().beatGrid({{1, 12000, 0}, {2, 12000, 500}}).build();
    capped.replace(28 + 20, 4, test::be32(0x7FFFFFFF));
    EXPECT_EQ(full(capped).grid.beats.size(), 2u);
}

TEST(AnlzCues, PlainAndExtendedEntriesAreRead) {
    const std::vector<test::AnlzCueSpec> cues{
        {0, 1, 12345}, {3, 2, 10000, 20000}, {2, 2, 4000}, {0xFFFFFFFF, 1, 1}};
    // The plain list, and the extended one with its entries at offset 20 or 24.
    for (int list : {0, 20, 24}) {
        const bool extended = list != 0;
        AnlzWriter w;
        if (extended)
            w.extendedCueList(cues, list == 20);
        else
            w.cueList(cues);
        // A loop without an end keeps its flag; slot 0xFFFFFFFF is no usable hot cue.
        const AnlzResult r = full(w.build());
        std::vector<std::tuple<int, double, double, bool, bool>> got;
        for (const AnlzCue& c : r.cues)
            got.emplace_back(c.hotCueIndex, c.start, c.end, c.loop, c.extended);
        EXPECT_EQ(got, (std::vector<std::tuple<int, double, double, bool, bool>>{
                           {-1, 12.345, -1.0, false, extended},
                           {2, 10.0, 20.0, true, extended},
                           {1, 4.0, -1.0, true, extended},
                           {-1, 0.001, -1.0, false, extended}}))
            << list;
    }
}

TEST(AnlzCues, DamagedListsStopWithoutOverreading) {
    // An entry length below the minimum, or past the section, ends the list.
    std::string bad = AnlzWriter().cueList({{1, 1, 1000}, {2, 1, 2000}}).build();
    bad.replace(28 + 24 + 56 + 8, 4, test::be32(39));
    EXPECT_EQ(full(bad).cues.size(), 1u);
    bad.replace(28 + 24 + 56 + 8, 4, test::be32(0xFFFFFFF0));
    EXPECT_EQ(full(bad).cues.size(), 1u);
    // A list that ends with fewer than 12 bytes after the last entry, or a section too short to
    // hold any entry, reads nothing past its end.
    const std::string body = std::string("PCPT") + test::be32(28) + test::be32(40) +
                             std::string(28, '\0') + "PCPT" + std::string(4, '\0') + "xx";
    EXPECT_EQ(full(AnlzWriter().section("PCOB", std::string(12, '\0'), body).build()).cues.size(),
              1u);
    EXPECT_TRUE(
        full(AnlzWriter().section("PCO2", std::string(8, '\0'), "PCP2").build()).cues.empty());
    EXPECT_TRUE(
        full(AnlzWriter().section("PCOB", std::string(12, '\0'), "PCPT").build()).cues.empty());
}

TEST(AnlzWaveform, ColourWinsWhicheverComesFirst) {
    const std::vector<std::uint16_t> mono{0x1F | (2 << 5), 7};
    const std::vector<std::uint16_t> colour{(5 << 13) | (3 << 10) | (6 << 7) | (20 << 2)};
    for (bool colourFirst : {false, true}) {
        AnlzWriter w;
        if (colourFirst) w.waveform(true, colour, 300);
        w.waveform(false, mono);
        if (!colourFirst) w.waveform(true, colour, 300);
        const AnlzResult r = full(w.build());
        ASSERT_EQ(std::make_tuple(r.waveform.columns.size(), r.colourWaveform,
                                  r.waveform.columnsPerSecond),
                  std::make_tuple(1u, true, 300.0));
        const WaveColumn& c = r.waveform.columns[0];
        EXPECT_EQ(std::make_tuple(c.height, c.low, c.mid, c.high), std::make_tuple(20, 5, 3, 6));
    }
    const AnlzResult m = full(AnlzWriter().waveform(false, mono, 0).build());
    ASSERT_EQ(std::make_tuple(m.waveform.columns.size(), m.waveform.columnsPerSecond),
              std::make_tuple(2u, 150.0));
    const WaveColumn& c = m.waveform.columns[0]; // whiteness 2: red 5, blue 2
    EXPECT_EQ(std::make_tuple(c.height, c.low, c.high), std::make_tuple(31, 5, 2));
    EXPECT_DOUBLE_EQ(
        full(AnlzWriter().waveform(false, mono, 5000).build()).waveform.columnsPerSecond, 150.0);
    EXPECT_TRUE(full(AnlzWriter().waveform(true, colour, 150, 1).build()).waveform.columns.empty());
}

TEST(AnlzLight, HugeSectionsAreNeverAllocated) {
    // A section claiming 4 GiB in a small file ends the walk; sections before it are kept.
    std::string f = AnlzWriter().beatGrid({{1, 12000, 0}}).section("PSSI", "", "abcd").build();
    const std::size_t second = f.size() - 16;
    f.replace(second + 8, 4, test::be32(0xFFFFFFF0));
    for (const AnlzResult& r : {full(f), light(f)}) {
        ASSERT_TRUE(r.ok);
        EXPECT_EQ(r.sections.size(), 1u);
        EXPECT_EQ(r.grid.beats.size(), 1u);
    }
}

TEST(AnlzFiles, PathsAndDescriptorsInBothModes) {
    const std::string dir = test::scratchDir("anlz-files");
    const std::string path =
        test::touch(dir + "/a.DAT", AnlzWriter()
                                        .beatGrid({{1, 12000, 0}, {2, 12000, 500}})
                                        .waveform(true, std::vector<std::uint16_t>(600, 0x1234))
                                        .cueList({{1, 1, 250}})
                                        .build());
    const int fd = ::open(path.c_str(), O_RDONLY);
    ::lseek(fd, 100, SEEK_SET); // light reads rewind first
    for (bool isFull : {false, true}) {
        for (const AnlzResult& r : {readAnlzFile(path, isFull), readAnlzDescriptor(fd, isFull)}) {
            ASSERT_TRUE(r.ok) << r.error;
            EXPECT_EQ(std::make_tuple(r.grid.beats.size(), r.cues.size(), tags(r),
                                      r.waveform.columns.size()),
                      std::make_tuple(2u, 1u, "PQTZ PWV5 PCOB ", isFull ? 600u : 0u))
                << isFull;
        }
    }
    EXPECT_EQ(readAnlzFile("", false).error, "could not open analysis file");
    EXPECT_EQ(readAnlzFile(path + ".missing", true).error, "could not open analysis file");
    EXPECT_EQ(readAnlzDescriptor(-1, true).error, "invalid analysis file descriptor");
    const int empty = ::open(test::touch(dir + "/empty.DAT", "").c_str(), O_RDONLY);
    EXPECT_EQ(readAnlzFile(dir + "/empty.DAT", true).error, "empty analysis file");
    EXPECT_EQ(readAnlzDescriptor(empty, true).error, "analysis descriptor held no data");
    int pipeFds[2];
#ifdef _WIN32
    ASSERT_EQ(::_pipe(pipeFds, 4096, _O_BINARY), 0);
#else
    ASSERT_EQ(::pipe(pipeFds), 0);
#endif
    EXPECT_EQ(readAnlzDescriptor(pipeFds[0], false).error, "could not rewind analysis file");
    // Full reads are capped at 64 MiB; light mode reads only what it needs.
    std::filesystem::resize_file(path, kMaxAnlzBytes + 1); // sparse: cheap to make
    EXPECT_EQ(readAnlzFile(path, true).error, "analysis file is implausibly large");
    EXPECT_EQ(readAnlzDescriptor(fd, true).error, "analysis file is implausibly large");
    EXPECT_TRUE(readAnlzDescriptor(fd, false).ok);
    for (int open : {fd, empty, pipeFds[0], pipeFds[1]})
        ::close(open);
}

TEST(TrackAnalysisFiles, BothFilesMergeWithoutDuplicateCues) {
    const std::string dir = test::scratchDir("track-analysis");
    const std::vector<test::AnlzCueSpec> hot{{1, 1, 1000}, {3, 2, 2000, 3000}};
    const std::vector<test::AnlzCueSpec> memory{{0, 1, 500}};
    test::touch(dir + "/A.DAT", AnlzWriter()
                                    .beatGrid({{1, 12000, 500}})
                                    .cueList(hot)
                                    .cueList(memory, false)
                                    .waveform(false, {1, 2, 3})
                                    .build());
    test::touch(dir + "/A.EXT", AnlzWriter()
                                    .cueList(hot)
                                    .extendedCueList(hot)
                                    .extendedCueList(memory)
                                    .waveform(true, {0xFFFF, 0, 0, 0})
                                    .build());
    const TrackAnalysis a = readTrackAnalysis(dir + "/A.DAT", "", -1, -1, true);
    EXPECT_EQ(std::make_tuple(a.filesRead, a.grid.beats.size(), a.waveform.columns.size(),
                              a.colourWaveform),
              std::make_tuple(2, 1u, 4u, true));
    EXPECT_EQ(a.cues, (std::vector<CueMark>{{CueKind::Memory, -1, 0.5, -1.0, ""},
                                            {CueKind::HotCue, 0, 1.0, -1.0, ""},
                                            {CueKind::Loop, 2, 2.0, 3.0, ""}}));

    const TrackAnalysis missing = readTrackAnalysis(dir + "/none.DAT", "", -1, -1, true);
    EXPECT_EQ(std::make_tuple(missing.filesRead, missing.cues.size()), std::make_tuple(0, 0u));

    // The companion keeps the case of the extension; other extensions have none.
    for (const auto& [dat, ext] : {std::pair<std::string, std::string>{"/s/x.DAT", "/s/x.EXT"},
                                   {"/s/x.dat", "/s/x.ext"},
                                   {"/s/x.Dat", ""},
                                   {"/s/x", ""},
                                   {"", ""}})
        EXPECT_EQ(anlzCompanionPath(dat), ext) << dat;
}

} // namespace
} // namespace vyn
