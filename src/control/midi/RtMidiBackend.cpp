#include "control/midi/RtMidiBackend.h"

#include "control/midi/MidiInputPump.h"
#include "control/midi/MidiRouter.h"
#include "support/JackServer.h"

#include <RtMidi.h>
#include <jack/jack.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <thread>
#include <unistd.h>

namespace vyn {

namespace {

constexpr auto kRetryAfterFailure = std::chrono::seconds(5);

// What RtMidi reported during one call. RtMidi calls the error callback on the calling thread.
struct ErrorSink {
    std::string text;
    bool raised = false;
    void clear() {
        text.clear();
        raised = false;
    }
};

void onRtMidiError(RtMidiError::Type, const std::string& text, void* user) {
    auto* sink = static_cast<ErrorSink*>(user);
    sink->text = text;
    sink->raised = true;
}

} // namespace

// A JACK client used only to list MIDI ports. The server may go away at any time: the shutdown
// callback marks the client dead and the next listing opens a new one.
struct JackPortLister {
    jack_client_t* client = nullptr;
    std::atomic<bool> dead{false};

    ~JackPortLister() {
        if (client) jack_client_close(client);
    }
    static void onShutdown(void* self) {
        static_cast<JackPortLister*>(self)->dead.store(true, std::memory_order_release);
    }
};

namespace {

void onRtMidiMessage(double, std::vector<unsigned char>* message, void* user) {
    if (!message || message->empty()) return;
    static_cast<PumpSource*>(user)->push(message->data(), message->size());
}

class RtMidiInput final : public IMidiInput {
public:
    ~RtMidiInput() override {
        if (in) {
            try {
                in->closePort();
            } catch (...) {
            }
            in.reset(); // after this RtMidi calls back no more
        }
        if (pump) pump->remove(&source);
    }

    std::shared_ptr<MidiInputPump> pump;
    PumpSource source;
    ErrorSink errors;
    std::unique_ptr<RtMidiIn> in;
};

} // namespace

RtMidiBackend::RtMidiBackend(const MidiBackendOptions& options)
    : jack_(resolveApi(options.api) == MidiApi::Jack),
      clientName_(options.clientName.empty() ? "VYN" : options.clientName),
      epoch_(std::chrono::steady_clock::now()) {}

RtMidiBackend::~RtMidiBackend() = default;

MidiApi RtMidiBackend::resolveApi(MidiApi requested) {
    if (requested != MidiApi::Auto) return requested;
    if (const char* env = std::getenv("VYN_MIDI")) {
        std::string v(env);
        std::transform(v.begin(), v.end(), v.begin(),
                       [](char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; });
        if (v == "jack") return MidiApi::Jack;
        if (v == "alsa") return MidiApi::Alsa;
    }
    return ::access("/dev/snd/seq", R_OK | W_OK) == 0 ? MidiApi::Alsa : MidiApi::Jack;
}

const char* RtMidiBackend::apiName() const {
    return jack_ ? "JACK" : "ALSA";
}

std::string RtMidiBackend::deviceName(std::string_view portName, bool alsa) {
    if (!alsa) return std::string(portName);
    // Strip a trailing " <client>:<port>" sequencer address.
    std::size_t end = portName.size();
    std::size_t i = end;
    auto digitsBefore = [&](std::size_t pos) {
        std::size_t k = pos;
        while (k > 0 && portName[k - 1] >= '0' && portName[k - 1] <= '9')
            --k;
        return k;
    };
    i = digitsBefore(end);
    if (i == end || i == 0 || portName[i - 1] != ':') return std::string(portName);
    const std::size_t colon = i - 1;
    const std::size_t j = digitsBefore(colon);
    if (j == colon || j == 0 || portName[j - 1] != ' ') return std::string(portName);
    return std::string(portName.substr(0, j - 1));
}

bool RtMidiBackend::ownJackPort(std::string_view portName, std::string_view clientName) {
    const std::size_t colon = portName.find(':');
    if (colon == std::string_view::npos) return false;
    const std::string_view client = portName.substr(0, colon);
    if (client == clientName) return true;
    // The server renames clients that reuse a taken name: "VYN-01", "VYN-02"...
    if (client.size() <= clientName.size() + 1 ||
        client.substr(0, clientName.size()) != clientName || client[clientName.size()] != '-')
        return false;
    for (char c : client.substr(clientName.size() + 1))
        if (c < '0' || c > '9') return false;
    return true;
}

bool RtMidiBackend::retryAllowed(std::chrono::steady_clock::time_point& lastFailure) {
    if (lastFailure == std::chrono::steady_clock::time_point{}) return true;
    if (std::chrono::steady_clock::now() - lastFailure < kRetryAfterFailure) return false;
    lastFailure = {};
    return true;
}

bool RtMidiBackend::ensureJackLister() {
    if (jackLister_ && !jackLister_->dead.load(std::memory_order_acquire)) return true;
    jackLister_.reset();
    if (!retryAllowed(inFailure_)) return false;
    // Also routes libjack's own messages away from standard error.
    if (!jackServerRunning()) {
        error_ = "JACK server not running";
        inFailure_ = std::chrono::steady_clock::now();
        return false;
    }
    auto lister = std::make_unique<JackPortLister>();
    jack_status_t status{};
    lister->client = jack_client_open(clientName_.c_str(), JackNoStartServer, &status);
    if (!lister->client) {
        error_ = "JACK server not running";
        inFailure_ = std::chrono::steady_clock::now();
        return false;
    }
    jack_on_shutdown(lister->client, &JackPortLister::onShutdown, lister.get());
    if (jack_activate(lister->client) != 0) {
        error_ = "could not use JACK MIDI";
        inFailure_ = std::chrono::steady_clock::now();
        return false;
    }
    jackLister_ = std::move(lister);
    return true;
}

std::vector<std::string> RtMidiBackend::jackPorts(bool inputs) {
    std::vector<std::string> names;
    if (!ensureJackLister()) return names;
    // Devices we read from are other clients' MIDI outputs, and the other way round.
    const char** ports = jack_get_ports(jackLister_->client, nullptr, JACK_DEFAULT_MIDI_TYPE,
                                        inputs ? JackPortIsOutput : JackPortIsInput);
    if (!ports) return names;
    for (const char** p = ports; *p; ++p)
        if (!ownJackPort(*p, clientName_)) names.emplace_back(*p);
    jack_free(ports);
    return names;
}

bool RtMidiBackend::ensureInputLister() {
    if (inLister_) return true;
    if (!retryAllowed(inFailure_)) return false;
    try {
        inLister_ = std::make_unique<RtMidiIn>(RtMidi::LINUX_ALSA, clientName_, 16);
        return true;
    } catch (const std::exception&) {
        error_ = "could not open the ALSA sequencer";
        inFailure_ = std::chrono::steady_clock::now();
        return false;
    }
}

bool RtMidiBackend::ensureOutputLister() {
    if (outLister_) return true;
    if (!retryAllowed(outFailure_)) return false;
    try {
        outLister_ = std::make_unique<RtMidiOut>(RtMidi::LINUX_ALSA, clientName_);
        return true;
    } catch (const std::exception&) {
        error_ = "could not open the ALSA sequencer";
        outFailure_ = std::chrono::steady_clock::now();
        return false;
    }
}

std::vector<MidiDeviceInfo> RtMidiBackend::listInputs() {
    std::vector<MidiDeviceInfo> out;
    if (jack_) {
        std::vector<std::string> names = jackPorts(true);
        for (std::size_t i = 0; i < names.size(); ++i)
            out.push_back({i, std::move(names[i])});
        return out;
    }
    if (!ensureInputLister()) return out;
    ErrorSink errors;
    inLister_->setErrorCallback(&onRtMidiError, &errors);
    try {
        const unsigned count = inLister_->getPortCount();
        for (unsigned i = 0; i < count; ++i) {
            errors.clear();
            const std::string name = inLister_->getPortName(i);
            if (errors.raised) continue;
            out.push_back({i, deviceName(name, true)});
        }
    } catch (const std::exception& e) {
        error_ = e.what();
        out.clear();
    }
    inLister_->setErrorCallback(nullptr, nullptr);
    return out;
}

std::unique_ptr<IMidiInput> RtMidiBackend::openInput(const MidiDeviceInfo& device,
                                                     MidiRouter& router, int port) {
    if (!pump_) pump_ = std::make_shared<MidiInputPump>();
    auto input = std::make_unique<RtMidiInput>();
    input->pump = pump_;
    input->source.router = &router;
    input->source.port = port;
    input->source.pump = pump_.get();
    input->source.epoch = epoch_;
    try {
        input->in = std::make_unique<RtMidiIn>(jack_ ? RtMidi::UNIX_JACK : RtMidi::LINUX_ALSA,
                                               clientName_, 16);
        input->in->setErrorCallback(&onRtMidiError, &input->errors);
        // Open the device by name: RtMidi's numbering may differ from the listing's (JACK) or
        // have changed since (devices come and go).
        const unsigned count = input->in->getPortCount();
        unsigned index = count;
        for (unsigned i = 0; i < count && index == count; ++i)
            if (deviceName(input->in->getPortName(i), !jack_) == device.name) index = i;
        if (index == count) {
            error_ = "the MIDI device is gone";
            return nullptr;
        }
        input->in->ignoreTypes(false, false, false);
        pump_->add(&input->source);
        input->in->setCallback(&onRtMidiMessage, &input->source);
        input->errors.clear();
        input->in->openPort(index, "in");
        if (!input->in->isPortOpen() || input->errors.raised) {
            error_ = input->errors.raised ? input->errors.text : "could not open the MIDI input";
            return nullptr;
        }
    } catch (const std::exception& e) {
        error_ = e.what();
        return nullptr;
    }
    return input;
}

std::vector<MidiOutputInfo> RtMidiBackend::listOutputs() {
    std::vector<MidiOutputInfo> out;
    if (jack_) {
        std::vector<std::string> names = jackPorts(false);
        for (std::size_t i = 0; i < names.size(); ++i)
            out.push_back({static_cast<std::uint32_t>(i), std::move(names[i])});
        return out;
    }
    if (!ensureOutputLister()) return out;
    ErrorSink errors;
    outLister_->setErrorCallback(&onRtMidiError, &errors);
    try {
        const unsigned count = outLister_->getPortCount();
        for (unsigned i = 0; i < count; ++i) {
            errors.clear();
            std::string name = deviceName(outLister_->getPortName(i), true);
            if (errors.raised || name.empty()) continue;
            out.push_back({i, std::move(name)});
        }
    } catch (const std::exception& e) {
        error_ = e.what();
        out.clear();
    }
    outLister_->setErrorCallback(nullptr, nullptr);
    return out;
}

std::unique_ptr<IMidiBackend> createMidiBackend(const MidiBackendOptions& options) {
    return std::make_unique<RtMidiBackend>(options);
}

} // namespace vyn
