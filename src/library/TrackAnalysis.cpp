#include "library/TrackAnalysis.h"

#include <algorithm>
#include <set>
#include <tuple>
#include <utility>

namespace vyn {
namespace {

CueMark toCueMark(const AnlzCue& c) {
    CueMark m;
    m.start = c.start;
    if (c.loop) {
        m.kind = CueKind::Loop;
        m.number = c.hotCueIndex;
        m.end = c.end;
    } else if (c.hotCueIndex >= 0) {
        m.kind = CueKind::HotCue;
        m.number = c.hotCueIndex;
    } else {
        m.kind = CueKind::Memory;
        m.number = -1;
    }
    return m;
}

void merge(TrackAnalysis& into, AnlzResult&& r) {
    ++into.filesRead;
    if (into.grid.empty() && !r.grid.empty()) into.grid = std::move(r.grid);
    if (!r.waveform.columns.empty() &&
        (into.waveform.columns.empty() || (r.colourWaveform && !into.colourWaveform))) {
        into.waveform = std::move(r.waveform);
        into.colourWaveform = r.colourWaveform;
    }
}

} // namespace

std::vector<CueMark> anlzCueMarks(const std::vector<AnlzCue>& cues) {
    // A cue is the same cue when its slot, start and loop flag agree.
    using Key = std::tuple<std::int32_t, double, bool>;
    std::set<Key> seen;
    std::vector<CueMark> marks;
    for (const bool extended : {true, false}) {
        for (const AnlzCue& c : cues) {
            if (c.extended != extended) continue;
            if (!seen.emplace(c.hotCueIndex, c.start, c.loop).second) continue;
            marks.push_back(toCueMark(c));
        }
    }
    std::stable_sort(marks.begin(), marks.end(),
                     [](const CueMark& a, const CueMark& b) { return a.start < b.start; });
    return marks;
}

TrackAnalysis readTrackAnalysis(const std::string& first, const std::string& second, int firstFd,
                                int secondFd, bool full) {
    TrackAnalysis out;
    std::vector<AnlzCue> cues;
    const std::string companion = second.empty() ? anlzCompanionPath(first) : second;
    const std::pair<const std::string*, int> files[] = {{&first, firstFd}, {&companion, secondFd}};
    for (const auto& [path, fd] : files) {
        if (fd < 0 && path->empty()) continue;
        AnlzResult r = fd >= 0 ? readAnlzDescriptor(fd, full) : readAnlzFile(*path, full);
        if (!r.ok) continue;
        cues.insert(cues.end(), r.cues.begin(), r.cues.end());
        merge(out, std::move(r));
    }
    out.cues = anlzCueMarks(cues);
    return out;
}

} // namespace vyn
