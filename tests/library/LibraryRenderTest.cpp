// vyn-tool render --library: a LOAD_TRACK naming a catalogue id loads that track with its beat
// grid and cues, checked from the rendered audio. The track is a 1 kHz tone whose level grows
// with its position, so the level of each stretch of output tells which part of the track played.

#include "common/RenderedSets.h"
#include "common/TestPaths.h"
#include "common/ToneMeasure.h"
#include "common/WavFiles.h"
#include "support/FileIo.h"

#include <gtest/gtest.h>

#include <cmath>
#include <fstream>

namespace vyn {
namespace {

constexpr double kRate = 48000.0;
constexpr double kTrackSeconds = 6.0;

// Tone level at a position of the track, in seconds.
double levelAt(double position) {
    return 0.02 + 0.03 * position;
}

bool writeTrack(const std::string& path) {
    const std::size_t frames = static_cast<std::size_t>(kTrackSeconds * kRate);
    std::vector<std::int16_t> pcm(frames * 2);
    for (std::size_t i = 0; i < frames; ++i) {
        const double t = static_cast<double>(i) / kRate;
        const double v = levelAt(t) * std::sqrt(2.0) * std::sin(2.0 * M_PI * 1000.0 * t);
        pcm[2 * i] = pcm[2 * i + 1] = static_cast<std::int16_t>(std::lround(v * 32767.0));
    }
    return !test::writeStereoWav(path, pcm).empty();
}

// Level of the 1 kHz tone over the 20 ms (twenty periods) starting at `seconds`.
double rmsAt(const std::vector<float>& audio, double seconds) {
    const auto from = static_cast<std::size_t>(seconds * kRate);
    if (from + 960 > audio.size()) return -1.0;
    return test::toneLevel(audio.data() + from, 960, 1, 0, kRate, 1000.0) / std::sqrt(2.0);
}

ReplayEvent event(double seconds, CommandType type, double value = 0.0, int trackId = 0) {
    ReplayEvent e = test::setCommand(static_cast<std::int64_t>(seconds * kRate), type, 0, value);
    e.trackId = trackId;
    return e;
}

struct Rendered {
    test::ProcessResult process;
    std::vector<float> left;
};

Rendered render(const std::string& dir, const std::vector<ReplayEvent>& events,
                const std::string& library, const std::string& seconds) {
    SetReplay replay;
    replay.sampleRate = kRate;
    replay.events = events;
    Rendered r;
    r.process = test::runTool("render --seconds " + seconds + " --library '" + library + "' '" +
                              test::writeSet(dir, replay) + "' '" + dir + "/out.wav'");
    if (r.process.exitCode == 0) r.left = test::readWav(dir + "/out.wav").channel(0);
    return r;
}

std::string collectionFor(const std::string& audio) {
    return "<DJ_PLAYLISTS Version=\"1.0.0\"><COLLECTION Entries=\"2\">"
           "<TRACK TrackID=\"70\" Name=\"Decoy\" Location=\"file:///nowhere/decoy.wav\"/>"
           "<TRACK TrackID=\"71\" Name=\"Ramp\" Tonality=\"Am\" TotalTime=\"6\" "
           "Location=\"file://localhost" +
           audio +
           "\">"
           "<TEMPO Inizio=\"0.000\" Bpm=\"100.00\" Metro=\"4/4\" Battito=\"1\"/>"
           "<POSITION_MARK Name=\"\" Type=\"0\" Start=\"3.000\" Num=\"0\"/>"
           "<POSITION_MARK Name=\"\" Type=\"3\" Start=\"1.000\" Num=\"-1\"/>"
           "</TRACK></COLLECTION></DJ_PLAYLISTS>";
}

TEST(LibraryRender, CatalogueTracksLoadWithTheirGridAndCues) {
    const std::string dir = test::scratchDir("library-render");
    const std::string audio = dir + "/ramp.wav";
    ASSERT_TRUE(writeTrack(audio));
    std::ofstream(dir + "/collection.xml") << collectionFor(audio);
    // Loaded by catalogue id 2 without a path; play from the load point (1 s), jump to hot cue A
    // (3 s), then a four-beat loop, which the 100 BPM grid makes 2.4 s long.
    const Rendered r =
        render(dir,
               {event(0.0, CommandType::LOAD_TRACK, 0, 2), event(0.1, CommandType::PLAY),
                event(0.5, CommandType::JUMP_HOT_CUE, 0), event(1.0, CommandType::BEAT_LOOP, 4)},
               dir + "/collection.xml", "4");
    ASSERT_EQ(r.process.exitCode, 0) << r.process.err;
    ASSERT_GE(r.left.size(), static_cast<std::size_t>(3.9 * kRate));

    EXPECT_LT(rmsAt(r.left, 0.02), 1e-4); // loaded, not playing yet
    // Position at output time t: 1 + (t - 0.1) before the jump, 3 + (t - 0.5) after it; in the
    // loop from 3.5 s to 5.9 s, wrapping at t = 3.4 (a 120 BPM loop would wrap at 3.0 s).
    const double gain = rmsAt(r.left, 0.3) / levelAt(1.2);
    ASSERT_GT(gain, 0.05);
    const std::pair<double, double> positions[] = {
        {0.45, 1.35}, {0.7, 3.2}, {1.5, 4.0}, {3.2, 5.7}, {3.6, 3.7}};
    for (const auto& [t, position] : positions)
        EXPECT_NEAR(rmsAt(r.left, t) / gain, levelAt(position), 0.004)
            << "at " << t << " s the track should be at " << position << " s";
}

TEST(LibraryRender, UnknownIdsAndBadLibrariesFail) {
    const std::string dir = test::scratchDir("library-render-bad");
    std::ofstream(dir + "/collection.xml") << collectionFor(dir + "/missing.wav");
    Rendered r =
        render(dir, {event(0.0, CommandType::LOAD_TRACK, 0, 3)}, dir + "/collection.xml", "0.5");
    EXPECT_EQ(r.process.exitCode, 1);
    EXPECT_NE(r.process.err.find("could not queue the load on deck 1"), std::string::npos)
        << r.process.err;

    r = render(dir, {event(0.0, CommandType::LOAD_TRACK, 0, 1)}, dir + "/none.xml", "0.5");
    EXPECT_EQ(r.process.exitCode, 1);
    EXPECT_EQ(r.process.err,
              "vyn-tool render: " + dir + "/none.xml: could not open " + dir + "/none.xml\n");
    EXPECT_FALSE(fileExists(dir + "/out.wav"));
}

} // namespace
} // namespace vyn
