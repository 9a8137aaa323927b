#pragma once
// A real Link server on the loopback interface for the tests that talk to it over sockets: its
// settings shortened for tests, the intents it delivered, a state publisher, and paired raw
// clients.

#include "LinkTestPeers.h"
#include "control/link/LinkServer.h"

#include <atomic>
#include <memory>
#include <mutex>
#include <thread>
#include <tuple>
#include <vector>

namespace vyn::test {

inline const char* kPage = "<!doctype html><title>VYN</title>remote";

class LinkServerFixture : public ::testing::Test {
protected:
    LinkSettings settings(const std::string& code = "4321") {
        LinkSettings s;
        s.port = 0;
        s.loopbackOnly = true;
        s.pairingCode = code;
        s.pageProvider = [] { return std::string(kPage); };
        s.wrongCodeWaitMs = 50;
        return s;
    }
    void start(LinkSettings s) {
        ASSERT_TRUE(server.start(std::move(s), [this](const LinkIntent& i) {
            if (intentDelayMs > 0)
                std::this_thread::sleep_for(std::chrono::milliseconds(intentDelayMs));
            std::lock_guard<std::mutex> lock(mutex);
            intents.push_back(i);
        }));
        port = server.port();
        ASSERT_GT(port, 0);
    }
    // The delivered intents as (command, deck, value), for whole-record comparisons.
    using Intents = std::vector<std::tuple<int, int, double>>;
    Intents takeIntents() {
        std::lock_guard<std::mutex> lock(mutex);
        Intents out;
        for (const LinkIntent& i : intents)
            out.emplace_back(i.command, i.deck, i.value);
        intents.clear();
        return out;
    }
    // Publishes a new state (with a counter) every few milliseconds until stopped.
    void startPublishing(int everyMs = 16) {
        publishing = true;
        publisher = std::thread([this, everyMs] {
            while (publishing) {
                server.publishState("{\"t\":\"state\",\"n\":" + std::to_string(++published) + "}");
                std::this_thread::sleep_for(std::chrono::milliseconds(everyMs));
            }
        });
    }
    void stopPublishing() {
        publishing = false;
        if (publisher.joinable()) publisher.join();
    }
    void TearDown() override {
        stopPublishing();
        server.stop();
    }
    std::unique_ptr<RawClient> pairedRaw(const std::string& code = "4321") {
        return pairedClient(port, code);
    }

    LinkServer server;
    int port = 0;
    std::mutex mutex;
    std::vector<LinkIntent> intents;
    std::atomic<int> intentDelayMs{0}; // a slow application: each intent takes this long
    std::thread publisher;
    std::atomic<bool> publishing{false};
    std::atomic<int> published{0};
};

} // namespace vyn::test
