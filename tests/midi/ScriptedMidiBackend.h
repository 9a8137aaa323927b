#pragma once
// A MIDI backend whose device lists the test sets, counting opens and closes of its inputs; an
// input opens unless its name is in `failing`. Outputs are only listed.

#include "control/midi/IMidiBackend.h"
#include "control/midi/MidiRouter.h"

#include <memory>
#include <set>
#include <string>
#include <vector>

namespace vyn::test {

class ScriptedBackend final : public IMidiBackend {
public:
    struct Input final : IMidiInput {
        Input(ScriptedBackend& b, MidiRouter& r, int p) : backend(b), router(r), port(p) {}
        ~Input() override {
            // The port must still be connected while its input closes; disconnect comes after.
            if (!router.connected(port)) ++backend.disconnectedBeforeClose;
            ++backend.closed;
        }
        ScriptedBackend& backend;
        MidiRouter& router;
        int port;
    };

    const char* apiName() const override { return api; }
    std::vector<MidiDeviceInfo> listInputs() override {
        std::vector<MidiDeviceInfo> out;
        for (std::size_t i = 0; i < devices.size(); ++i)
            out.push_back({i, devices[i]});
        return out;
    }
    std::unique_ptr<IMidiInput> openInput(const MidiDeviceInfo& device, MidiRouter& router,
                                          int port) override {
        if (!router.connected(port)) ++openedBeforeConnect;
        if (failing.count(device.name)) return nullptr;
        ++opened;
        return std::make_unique<Input>(*this, router, port);
    }
    std::vector<MidiOutputInfo> listOutputs() override {
        std::vector<MidiOutputInfo> out;
        for (std::uint32_t i = 0; i < outputs.size(); ++i)
            out.push_back({i, outputs[i]});
        return out;
    }
    std::string lastError() const override { return {}; }

    const char* api = "scripted";
    std::vector<std::string> devices; // inputs
    std::vector<std::string> outputs;
    std::set<std::string> failing;
    int opened = 0;
    int closed = 0;
    int openedBeforeConnect = 0;
    int disconnectedBeforeClose = 0;
};

} // namespace vyn::test
