#include "audio/PulseSinkProbe.h"

#include <pulse/pulseaudio.h>

#include <chrono>
#include <cstdlib>

namespace vyn {
namespace {

struct ProbeState {
    pa_mainloop* loop = nullptr;
    pa_context* context = nullptr;
    std::string wanted;
    bool done = false;
    bool failed = false;
    PulseSinkInfo info;
};

void onSinkInfo(pa_context*, const pa_sink_info* sink, int eol, void* userdata) {
    auto* s = static_cast<ProbeState*>(userdata);
    if (eol != 0) {
        if (!s->done) {
            s->done = true;
            s->failed = s->info.channels == 0;
        }
        return;
    }
    if (!sink) return;
    s->info.name = sink->name ? sink->name : "";
    s->info.description = sink->description ? sink->description : "";
    s->info.channels = sink->sample_spec.channels;
    s->info.sampleRate = sink->sample_spec.rate;
}

void onServerInfo(pa_context* c, const pa_server_info* server, void* userdata) {
    auto* s = static_cast<ProbeState*>(userdata);
    if (s->wanted.empty() && server && server->default_sink_name)
        s->wanted = server->default_sink_name;
    if (s->wanted.empty()) {
        s->done = s->failed = true;
        return;
    }
    pa_operation* op = pa_context_get_sink_info_by_name(c, s->wanted.c_str(), onSinkInfo, s);
    if (op)
        pa_operation_unref(op);
    else
        s->done = s->failed = true;
}

void onContextState(pa_context* c, void* userdata) {
    auto* s = static_cast<ProbeState*>(userdata);
    switch (pa_context_get_state(c)) {
    case PA_CONTEXT_READY: {
        pa_operation* op = pa_context_get_server_info(c, onServerInfo, s);
        if (op)
            pa_operation_unref(op);
        else
            s->done = s->failed = true;
        break;
    }
    case PA_CONTEXT_FAILED:
    case PA_CONTEXT_TERMINATED:
        if (!s->done) s->done = s->failed = true;
        break;
    default:
        break;
    }
}

} // namespace

std::optional<PulseSinkInfo> probePulseSink() {
    ProbeState s;
    if (const char* sink = std::getenv("PULSE_SINK")) s.wanted = sink;
    s.loop = pa_mainloop_new();
    if (!s.loop) return std::nullopt;
    s.context = pa_context_new(pa_mainloop_get_api(s.loop), "VYN device probe");
    if (!s.context) {
        pa_mainloop_free(s.loop);
        return std::nullopt;
    }
    pa_context_set_state_callback(s.context, onContextState, &s);
    if (pa_context_connect(s.context, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0) {
        s.done = s.failed = true;
    }
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(1);
    while (!s.done && std::chrono::steady_clock::now() < deadline) {
        // Wake at least every 20 ms so the deadline is honoured when the server never answers.
        if (pa_mainloop_prepare(s.loop, 20000) < 0 || pa_mainloop_poll(s.loop) < 0 ||
            pa_mainloop_dispatch(s.loop) < 0)
            break;
    }
    pa_context_set_state_callback(s.context, nullptr, nullptr);
    pa_context_disconnect(s.context);
    pa_context_unref(s.context);
    pa_mainloop_free(s.loop);
    if (!s.done || s.failed || s.info.channels <= 0) return std::nullopt;
    return s.info;
}

} // namespace vyn
