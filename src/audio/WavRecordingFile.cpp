#include "audio/WavRecordingFile.h"

#include "support/FileIo.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <system_error>
#include <vector>

namespace vyn {
namespace {

// RIFF/RF64 (12) + JUNK/ds64 (8 + 28) + fmt (8 + 18) + fact (8 + 4) + data header (8).
constexpr std::size_t kHeaderBytes = 94;
constexpr std::uint64_t kRiffOverhead = kHeaderBytes - 8;
constexpr std::uint32_t kUnknown = 0xFFFFFFFFu;

void put16(unsigned char* p, std::uint32_t v) {
    p[0] = static_cast<unsigned char>(v & 0xFF);
    p[1] = static_cast<unsigned char>((v >> 8) & 0xFF);
}
void put32(unsigned char* p, std::uint32_t v) {
    put16(p, v & 0xFFFF);
    put16(p + 2, v >> 16);
}
void put64(unsigned char* p, std::uint64_t v) {
    put32(p, static_cast<std::uint32_t>(v));
    put32(p + 4, static_cast<std::uint32_t>(v >> 32));
}

int seekTo(std::FILE* f, std::uint64_t offset, int whence) {
#ifdef _WIN32
    return _fseeki64(f, static_cast<long long>(offset), whence);
#else
    return fseeko(f, static_cast<off_t>(offset), whence);
#endif
}

} // namespace

WavRecordingFile::~WavRecordingFile() {
    close();
}

bool WavRecordingFile::fail(int errorNumber) {
    if (error_.empty())
        error_ = errorNumber == ENOSPC ? "the disk is full" : "could not write the recording";
    return false;
}

bool WavRecordingFile::open(const std::string& path, int channels, std::uint32_t sampleRate,
                            std::uint64_t riffLimit) {
    close();
    error_.clear();
    path_ = path;
    channels_ = channels < 1 ? 1 : channels;
    sampleRate_ = sampleRate;
    riffLimit_ = riffLimit < kRiffOverhead ? kRiffOverhead : riffLimit;
    dataBytes_ = 0;
    rf64_ = false;
    std::error_code ec;
    const bool pipe = std::filesystem::is_fifo(pathFromUtf8(path), ec);
    if (!pipe && std::filesystem::exists(pathFromUtf8(path), ec)) {
        error_ = "a file of that name exists";
        return false;
    }
#ifdef _WIN32
    file_ = openFile(path, "wb");
#else
    file_ = openFile(path, pipe ? "wb" : "wbx"); // never replaces a file
#endif
    if (!file_) {
        error_ = "could not create the file";
        return false;
    }
    seekable_ = !pipe && seekTo(file_, 0, SEEK_CUR) == 0;
    if (!writeHeader()) {
        std::fclose(file_);
        file_ = nullptr;
        if (!pipe) removeFile(path);
        return false;
    }
    return true;
}

bool WavRecordingFile::writeHeader() {
    unsigned char h[kHeaderBytes] = {};
    const std::uint64_t riff = kRiffOverhead + dataBytes_;
    rf64_ = rf64_ || riff > riffLimit_;
    const std::uint64_t frameCount = dataBytes_ / frameBytes();
    const bool known = seekable_;
    std::memcpy(h, rf64_ ? "RF64" : "RIFF", 4);
    put32(h + 4, rf64_ || !known ? kUnknown : static_cast<std::uint32_t>(riff));
    std::memcpy(h + 8, "WAVE", 4);
    // Reserved room that becomes the ds64 chunk once the sizes outgrow 32 bits.
    std::memcpy(h + 12, rf64_ ? "ds64" : "JUNK", 4);
    put32(h + 16, 28);
    if (rf64_) {
        put64(h + 20, riff);
        put64(h + 28, dataBytes_);
        put64(h + 36, frameCount);
    }
    std::memcpy(h + 48, "fmt ", 4);
    put32(h + 52, 18);
    put16(h + 56, 3); // IEEE float
    put16(h + 58, static_cast<std::uint32_t>(channels_));
    put32(h + 60, sampleRate_);
    put32(h + 64, sampleRate_ * static_cast<std::uint32_t>(frameBytes()));
    put16(h + 68, static_cast<std::uint32_t>(frameBytes()));
    put16(h + 70, 32);
    put16(h + 72, 0);
    std::memcpy(h + 74, "fact", 4);
    put32(h + 78, 4);
    put32(h + 82, rf64_ || !known ? kUnknown : static_cast<std::uint32_t>(frameCount));
    std::memcpy(h + 86, "data", 4);
    put32(h + 90, rf64_ || !known ? kUnknown : static_cast<std::uint32_t>(dataBytes_));
    if (seekable_ && seekTo(file_, 0, SEEK_SET) != 0) return fail(errno);
    if (std::fwrite(h, 1, sizeof h, file_) != sizeof h || std::fflush(file_) != 0)
        return fail(errno);
    if (seekable_ && seekTo(file_, 0, SEEK_END) != 0) return fail(errno);
    return true;
}

bool WavRecordingFile::append(const float* interleaved, std::size_t frames) {
    if (!file_ || !error_.empty()) return false;
    const std::size_t bytes = frames * frameBytes();
    if (std::fwrite(interleaved, 1, bytes, file_) != bytes) return fail(errno);
    dataBytes_ += bytes;
    return true;
}

bool WavRecordingFile::appendSilence(std::size_t frames) {
    static const std::vector<float> zeros(4096, 0.0f);
    const std::size_t chunk = zeros.size() / static_cast<std::size_t>(channels_);
    while (frames > 0) {
        const std::size_t n = frames < chunk ? frames : chunk;
        if (!append(zeros.data(), n)) return false;
        frames -= n;
    }
    return true;
}

bool WavRecordingFile::updateHeader() {
    if (!file_ || !error_.empty()) return false;
    // The samples reach the file before the header that counts them.
    if (std::fflush(file_) != 0) return fail(errno);
    return seekable_ ? writeHeader() : true;
}

bool WavRecordingFile::close() {
    if (!file_) return error_.empty();
    const bool ok = updateHeader();
    const bool closed = std::fclose(file_) == 0;
    file_ = nullptr;
    if (!closed) fail(errno);
    return ok && closed;
}

} // namespace vyn
