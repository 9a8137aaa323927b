#include "audio/WavFileWriter.h"

#include "support/FileIo.h"

#include <cstring>
#include <filesystem>
#include <system_error>
#include <vector>

namespace vyn {
namespace {

constexpr std::uint64_t kMaxDataBytes = 0xFFFFFFFFull - 80;

void put16(std::vector<unsigned char>& b, std::uint32_t v) {
    b.push_back(v & 0xFF);
    b.push_back((v >> 8) & 0xFF);
}
void put32(std::vector<unsigned char>& b, std::uint32_t v) {
    put16(b, v & 0xFFFF);
    put16(b, v >> 16);
}
void putTag(std::vector<unsigned char>& b, const char* tag) {
    b.insert(b.end(), tag, tag + 4);
}

} // namespace

WavFileWriter::~WavFileWriter() {
    if (file_) {
        std::fclose(file_);
        removeFile(tmpPath_);
    }
}

bool WavFileWriter::fail(const char* text) {
    error_ = text;
    if (file_) {
        std::fclose(file_);
        file_ = nullptr;
        removeFile(tmpPath_);
    }
    return false;
}

bool WavFileWriter::writeHeader(std::uint64_t dataBytes) {
    const int bytesPerSample = format_ == Format::Pcm16 ? 2 : 4;
    const bool extensible = channels_ > 2;
    std::vector<unsigned char> h;
    const std::uint32_t fmtSize = extensible ? 40 : (format_ == Format::Float32 ? 18 : 16);
    const std::uint32_t riffSize = static_cast<std::uint32_t>(4 + 8 + fmtSize + 8 + dataBytes);
    putTag(h, "RIFF");
    put32(h, riffSize);
    putTag(h, "WAVE");
    putTag(h, "fmt ");
    put32(h, fmtSize);
    const std::uint16_t tag = format_ == Format::Pcm16 ? 1 : 3;
    put16(h, extensible ? 0xFFFE : tag);
    put16(h, static_cast<std::uint32_t>(channels_));
    put32(h, sampleRate_);
    put32(h, sampleRate_ * static_cast<std::uint32_t>(channels_ * bytesPerSample));
    put16(h, static_cast<std::uint32_t>(channels_ * bytesPerSample));
    put16(h, static_cast<std::uint32_t>(bytesPerSample * 8));
    if (extensible) {
        put16(h, 22);
        put16(h, static_cast<std::uint32_t>(bytesPerSample * 8));
        put32(h, 0); // no speaker positions: the channels are deck pairs, not a surround layout
        // Sub-format GUID: the format tag followed by the standard suffix.
        put16(h, tag);
        const unsigned char suffix[14] = {0x00, 0x00, 0x00, 0x00, 0x10, 0x00, 0x80,
                                          0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};
        h.insert(h.end(), suffix, suffix + 14);
    } else if (format_ == Format::Float32) {
        put16(h, 0);
    }
    putTag(h, "data");
    put32(h, static_cast<std::uint32_t>(dataBytes));
    return std::fwrite(h.data(), 1, h.size(), file_) == h.size();
}

bool WavFileWriter::open(const std::string& path, Format format, int channels,
                         std::uint32_t sampleRate) {
    if (channels < 1 || channels > 64) return fail("unsupported channel count");
    path_ = path;
    tmpPath_ = path + ".tmp";
    format_ = format;
    channels_ = channels;
    sampleRate_ = sampleRate;
    dataBytes_ = 0;
    file_ = openFile(tmpPath_, "wb");
    if (!file_) return fail("could not create the output file");
    if (!writeHeader(0)) return fail("could not write the output file");
    return true;
}

bool WavFileWriter::writeFloat(const float* data, std::size_t frames) {
    if (!file_) return false;
    if (frames == 0) return true;
    const std::size_t n = frames * static_cast<std::size_t>(channels_);
    if (format_ == Format::Float32) {
        if (dataBytes_ + n * 4 > kMaxDataBytes) return fail("output too long for a WAV file");
        if (std::fwrite(data, sizeof(float), n, file_) != n)
            return fail("could not write the output file");
        dataBytes_ += n * 4;
        return true;
    }
    std::vector<std::int16_t> pcm(n);
    for (std::size_t i = 0; i < n; ++i) {
        float v = data[i] * 32767.0f;
        v = v > 32767.0f ? 32767.0f : (v < -32768.0f ? -32768.0f : v);
        pcm[i] = static_cast<std::int16_t>(v);
    }
    return writeInt16(pcm.data(), frames);
}

bool WavFileWriter::writeInt16(const std::int16_t* data, std::size_t frames) {
    if (!file_) return false;
    if (frames == 0) return true;
    if (format_ != Format::Pcm16) return fail("16-bit samples given to a float WAV");
    const std::size_t n = frames * static_cast<std::size_t>(channels_);
    if (dataBytes_ + n * 2 > kMaxDataBytes) return fail("output too long for a WAV file");
    if (std::fwrite(data, sizeof(std::int16_t), n, file_) != n)
        return fail("could not write the output file");
    dataBytes_ += n * 2;
    return true;
}

bool WavFileWriter::finish() {
    if (!file_) return false;
    if (std::fseek(file_, 0, SEEK_SET) != 0 || !writeHeader(dataBytes_))
        return fail("could not write the output file");
    if (std::fclose(file_) != 0) {
        file_ = nullptr;
        removeFile(tmpPath_);
        error_ = "could not write the output file";
        return false;
    }
    file_ = nullptr;
    std::error_code ec;
    std::filesystem::rename(pathFromUtf8(tmpPath_), pathFromUtf8(path_), ec);
    if (ec) {
        removeFile(tmpPath_);
        error_ = "could not replace the output file";
        return false;
    }
    return true;
}

} // namespace vyn
