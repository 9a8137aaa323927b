#pragma once
// A WAV file that grows while it is recorded and is a valid file at every moment: its header
// starts with sizes of zero and is brought up to date on request (sizes then cover exactly the
// samples written before), so a crash leaves a file that plays up to the last update. Past the
// 32-bit size limit of RIFF the header turns into RF64 (the ds64 chunk that carries the 64-bit
// sizes takes the place of a JUNK chunk reserved for it). Interleaved 32-bit float samples.
//
// The file is written under its final name and never replaces an existing file. A pipe or other
// output that cannot seek gets a header with the "size unknown" values instead of updates.
//
// Threading: one thread at a time (the mix recorder's writer thread).

#include <cstdint>
#include <cstdio>
#include <string>

namespace vyn {

class WavRecordingFile {
public:
    // Largest RIFF chunk size a plain WAV header can state.
    static constexpr std::uint64_t kRiffLimit = 0xFFFFFFFFull;

    WavRecordingFile() = default;
    ~WavRecordingFile();
    WavRecordingFile(const WavRecordingFile&) = delete;
    WavRecordingFile& operator=(const WavRecordingFile&) = delete;

    // Creates `path` (failing when it exists, unless it is a pipe) and writes the empty header.
    // `riffLimit` lowers the RF64 threshold (for tests).
    bool open(const std::string& path, int channels, std::uint32_t sampleRate,
              std::uint64_t riffLimit = kRiffLimit);
    bool append(const float* interleaved, std::size_t frames);
    bool appendSilence(std::size_t frames);
    // Flushes the samples, then states their size in the header.
    bool updateHeader();
    // The final header update, then closes. Safe to call twice.
    bool close();

    bool isOpen() const { return file_ != nullptr; }
    bool rf64() const { return rf64_; }
    std::uint64_t frames() const { return dataBytes_ / frameBytes(); }
    const std::string& path() const { return path_; }
    // A fixed message for the first failure; empty while all went well.
    const std::string& error() const { return error_; }

private:
    std::size_t frameBytes() const { return static_cast<std::size_t>(channels_) * 4; }
    bool writeHeader();
    bool fail(int errorNumber);

    std::FILE* file_ = nullptr;
    std::string path_;
    int channels_ = 2;
    std::uint32_t sampleRate_ = 48000;
    std::uint64_t riffLimit_ = kRiffLimit;
    std::uint64_t dataBytes_ = 0;
    bool seekable_ = true;
    bool rf64_ = false;
    std::string error_;
};

} // namespace vyn
