#pragma once
// Streams interleaved samples into a WAV file: 16-bit PCM or 32-bit float, any channel count
// (WAVE_FORMAT_EXTENSIBLE above two channels). The data goes to PATH.tmp, which finish() renames
// over PATH once the sizes are patched, so a failed or interrupted write never leaves a
// half-written file under the final name.

#include <cstdint>
#include <cstdio>
#include <string>

namespace vyn {

class WavFileWriter {
public:
    enum class Format { Pcm16, Float32 };

    WavFileWriter() = default;
    ~WavFileWriter();
    WavFileWriter(const WavFileWriter&) = delete;
    WavFileWriter& operator=(const WavFileWriter&) = delete;

    bool open(const std::string& path, Format format, int channels, std::uint32_t sampleRate);
    bool writeFloat(const float* interleaved, std::size_t frames);
    bool writeInt16(const std::int16_t* interleaved, std::size_t frames);
    bool finish();
    const std::string& error() const { return error_; }

private:
    bool fail(const char* text);
    bool writeHeader(std::uint64_t dataBytes);

    std::FILE* file_ = nullptr;
    std::string path_;
    std::string tmpPath_;
    Format format_ = Format::Float32;
    int channels_ = 2;
    std::uint32_t sampleRate_ = 48000;
    std::uint64_t dataBytes_ = 0;
    std::string error_;
};

} // namespace vyn
