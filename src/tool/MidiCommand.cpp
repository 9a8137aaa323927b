// vyn-tool midi: see what a controller sends (monitor), which devices are present (devices), and
// whether a mapping file reads as intended (check).

#include "control/midi/IMidiBackend.h"
#include "control/midi/MidiAction.h"
#include "control/midi/MidiInputPorts.h"
#include "control/midi/MidiMappingFile.h"
#include "control/midi/MidiRouter.h"
#include "support/FileIo.h"
#include "support/JsonWriter.h"
#include "tool/ToolArgs.h"
#include "tool/ToolCommands.h"

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

namespace vyn::tool {

namespace {

const char* kUsage = "usage: vyn-tool midi monitor [--api alsa|jack] [--clock] [--seconds S] "
                     "[--count N]\n"
                     "       vyn-tool midi devices [--api alsa|jack]\n"
                     "       vyn-tool midi check FILE.vynmap\n";

std::atomic<bool> gStop{false};

void onSignal(int) {
    gStop.store(true);
}

bool parseApi(const std::string& text, MidiApi& api) {
    if (text == "alsa") {
        api = MidiApi::Alsa;
        return true;
    }
    if (text == "jack") {
        api = MidiApi::Jack;
        return true;
    }
    return false;
}

int usageError(const std::string& error) {
    if (!error.empty()) std::fprintf(stderr, "vyn-tool midi: %s\n", error.c_str());
    std::fputs(kUsage, stderr);
    return 2;
}

// One line per message: port, the message text and the raw bytes. Device changes are lines
// starting with "+" (opened) and "-" (closed).
int runMonitor(int argc, char** argv) {
    ToolArgs args(argc, argv);
    std::string apiText;
    bool clock = false;
    double seconds = 0.0;
    int count = 0;
    while (args.more()) {
        if (args.option("--api", apiText)) continue;
        if (args.flag("--clock", clock)) continue;
        if (args.option("--seconds", seconds, 0.0, 365.0 * 24 * 3600)) continue;
        if (args.option("--count", count, 0, 1 << 30)) continue;
        if (args.failed()) break;
        return usageError("unexpected argument '" + args.peek() + "'");
    }
    if (args.failed()) return usageError(args.error());
    MidiBackendOptions options;
    if (!apiText.empty() && !parseApi(apiText, options.api))
        return usageError("--api needs alsa or jack");

    std::signal(SIGINT, onSignal);
    std::signal(SIGTERM, onSignal);

    MidiRouter router;
    MidiInputPorts ports(createMidiBackend(options));
    std::fprintf(stderr, "vyn-tool midi: listening through %s (Ctrl-C stops)\n",
                 ports.backend().apiName());
    ports.attach(router);

    std::string shown[MidiRouter::kPorts];
    bool reported = false;
    int printed = 0;
    const auto started = std::chrono::steady_clock::now();
    auto lastScan = started;
    MidiRouterEntry entries[64];
    while (!gStop.load()) {
        const auto now = std::chrono::steady_clock::now();
        if (now - lastScan >= std::chrono::milliseconds(100)) {
            ports.rescan();
            lastScan = now;
        }
        for (int p = 0; p < MidiRouter::kPorts; ++p) {
            const std::string current = router.connected(p) ? std::string(router.name(p)) : "";
            if (current == shown[p]) continue;
            if (!shown[p].empty()) std::printf("- p%d %s\n", p, shown[p].c_str());
            if (!current.empty()) std::printf("+ p%d %s\n", p, current.c_str());
            shown[p] = current;
            std::fflush(stdout);
        }
        if (!reported && ports.openCount() == 0 && !ports.backend().lastError().empty()) {
            std::fprintf(stderr, "vyn-tool midi: %s\n", ports.backend().lastError().c_str());
            reported = true;
        }
        const std::size_t n = router.drain(entries, 64);
        for (std::size_t i = 0; i < n; ++i) {
            const MidiMessage& m = entries[i].message;
            if (m.midiKind() == MidiKind::SystemRealtime && !clock) continue;
            std::printf("p%d  %s  %02X %02X %02X\n", entries[i].port, formatMidiMessage(m).c_str(),
                        m.status, m.data1, m.data2);
            ++printed;
            if (count > 0 && printed >= count) gStop.store(true);
        }
        if (n > 0) std::fflush(stdout);
        if (seconds > 0 &&
            std::chrono::steady_clock::now() - started >= std::chrono::duration<double>(seconds))
            break;
        if (n == 0) std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    ports.closeAll();
    return 0;
}

int runDevices(int argc, char** argv) {
    ToolArgs args(argc, argv);
    std::string apiText;
    while (args.more()) {
        if (args.option("--api", apiText)) continue;
        if (args.failed()) break;
        return usageError("unexpected argument '" + args.peek() + "'");
    }
    if (args.failed()) return usageError(args.error());
    MidiBackendOptions options;
    if (!apiText.empty() && !parseApi(apiText, options.api))
        return usageError("--api needs alsa or jack");
    auto backend = createMidiBackend(options);
    for (const MidiDeviceInfo& in : backend->listInputs())
        std::printf("in  %s\n", MidiInputPorts::deviceName(in.name).c_str());
    for (const MidiOutputInfo& out : backend->listOutputs())
        std::printf("out %s\n", out.name.c_str());
    if (!backend->lastError().empty())
        std::fprintf(stderr, "vyn-tool midi: %s: %s\n", backend->apiName(),
                     backend->lastError().c_str());
    return 0;
}

int runCheck(int argc, char** argv) {
    if (argc != 1) return usageError("check takes one mapping file");
    MidiMapping mapping;
    MidiMappingReadResult result;
    FileReadResult file = readWholeFile(argv[0], 16u << 20);
    if (file.ok)
        result = readMidiMapping(file.data, mapping);
    else
        result.message = file.error;

    JsonWriter w;
    w.beginObject();
    w.key("ok").boolean(result.ok);
    w.key("message").string(result.message);
    w.key("read").unsignedInteger(result.read);
    w.key("dropped").unsignedInteger(result.dropped);
    w.key("device").string(mapping.device);
    w.key("channels").integer(mapping.channels);
    w.key("bindings").beginArray();
    for (const MidiBinding& b : mapping.bindings) {
        const char* action = midiActionName(b.action);
        w.beginObject();
        w.key("port").integer(b.port);
        w.key("kind").integer(b.kind);
        w.key("channel").integer(b.channel);
        w.key("number").integer(b.number);
        w.key("action").string(action ? action : "none");
        w.key("slot").integer(b.slot);
        w.key("mode").string(midiModeName(b.mode));
        w.key("relative").string(midiRelativeName(b.relative));
        w.key("min").number(b.min);
        w.key("max").number(b.max);
        w.key("step").number(b.step);
        w.key("param").number(b.param);
        w.key("mod").integer(b.mod);
        w.key("label").string(b.label);
        w.endObject();
    }
    w.endArray();
    w.endObject();
    std::printf("%s\n", w.text().c_str());
    return result.ok ? 0 : 1;
}

} // namespace

int runMidi(int argc, char** argv) {
    if (argc < 1) return usageError("");
    const char* sub = argv[0];
    if (std::strcmp(sub, "monitor") == 0) return runMonitor(argc - 1, argv + 1);
    if (std::strcmp(sub, "devices") == 0) return runDevices(argc - 1, argv + 1);
    if (std::strcmp(sub, "check") == 0) return runCheck(argc - 1, argv + 1);
    return usageError(std::string("unknown midi command '") + sub + "'");
}

} // namespace vyn::tool
