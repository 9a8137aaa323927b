#pragma once
// Records what a PulseAudio null sink played: `parec` on the sink's monitor as raw float32 into a
// file, stopped by its process id.

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

namespace vyn::test {

class SinkRecorder {
public:
    SinkRecorder(const std::string& sink, int channels, const std::string& path)
        : channels_(channels), path_(path) {
        const std::string cmd =
            "parec -d " + sink + ".monitor --no-remap --no-remix " +
            "--format=float32le --rate=48000 --channels=" + std::to_string(channels) + " > '" +
            path + "' 2>/dev/null & echo $!";
        if (FILE* p = popen(cmd.c_str(), "r")) {
            if (std::fscanf(p, "%d", &pid_) != 1) pid_ = -1;
            pclose(p);
        }
    }
    ~SinkRecorder() { stop(); }
    bool running() const { return pid_ > 0; }
    // Stops the recorder and returns what it captured, interleaved.
    std::vector<float> stop() {
        if (pid_ > 0) {
            kill(pid_, SIGINT);
            for (int i = 0; i < 100 && kill(pid_, 0) == 0; ++i)
                std::this_thread::sleep_for(std::chrono::milliseconds(20));
            pid_ = -1;
        }
        std::ifstream in(path_, std::ios::binary);
        std::vector<char> bytes((std::istreambuf_iterator<char>(in)), {});
        std::vector<float> samples(bytes.size() / sizeof(float) / channels_ * channels_);
        std::memcpy(samples.data(), bytes.data(), samples.size() * sizeof(float));
        return samples;
    }

private:
    int channels_;
    std::string path_;
    int pid_ = -1;
};

} // namespace vyn::test
