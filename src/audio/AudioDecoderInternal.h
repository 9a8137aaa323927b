#pragma once
// Internal to the audio file decoder: the byte source the WAV and AIFF parsers read from (a
// buffer in memory, or a file read piece by piece), the sample layout they produce, and the
// conversion of that layout to 16-bit stereo.
//
// Threading: every object here belongs to the single decode call that created it.

#include "audio/AudioDecoder.h"
#include "audio/StereoDownmix.h"

#include <cstddef>
#include <cstdint>
#include <string>

namespace vyn::detail {

// Random-access bytes of one audio file.
class ByteSource {
public:
    virtual ~ByteSource() = default;
    std::uint64_t size() const { return size_; }
    // The whole input when it is held in memory, else null.
    const unsigned char* memory() const { return memory_; }
    // Copies `n` bytes at `offset` (the caller keeps offset + n <= size()). False on a read error.
    virtual bool readAt(std::uint64_t offset, void* dst, std::size_t n) = 0;

protected:
    std::uint64_t size_ = 0;
    const unsigned char* memory_ = nullptr;
};

class MemoryByteSource final : public ByteSource {
public:
    MemoryByteSource(const unsigned char* bytes, std::size_t size);
    bool readAt(std::uint64_t offset, void* dst, std::size_t n) override;
};

// How each sample is stored. Integers keep their top 16 bits; floats are scaled by 32767.
enum class SampleEncoding : std::uint8_t {
    U8,
    S8,
    S16LE,
    S16BE,
    S24LE,
    S24BE,
    S32LE,
    S32BE,
    S64LE,
    S64BE,
    F32LE,
    F32BE,
    F64LE,
    F64BE,
};

std::size_t bytesPerSample(SampleEncoding encoding);

// Where a parser found the samples and how to read them.
struct PcmLayout {
    SampleEncoding encoding = SampleEncoding::S16LE;
    std::uint32_t channels = 0;
    std::uint32_t speakerMask = 0; // StereoDownmix.h; 0 = the default layout for the count
    double sampleRate = 0.0;
    std::uint64_t dataOffset = 0; // of the first frame
    std::uint64_t frames = 0;     // whole frames available
};

// Parse the container; on failure return false with one of the decoder's fixed texts in `error`.
bool parseWavLayout(ByteSource& source, PcmLayout& layout, std::string& error);
bool parseAiffLayout(ByteSource& source, PcmLayout& layout, std::string& error);

// Converts `frames` frames of `channels` interleaved samples to stereo 16-bit: mono is duplicated,
// stereo kept, and more channels are mixed down with `downmix` (stereoDownmix of the file's
// layout; unused for one or two channels), rounded to the nearest value.
void convertToStereo16(const unsigned char* src, std::uint64_t frames, SampleEncoding encoding,
                       std::uint32_t channels, const StereoDownmix& downmix, std::int16_t* out);

// Reads and converts the samples `layout` describes in one pass.
DecodeResult decodeLayout(ByteSource& source, const PcmLayout& layout);

DecodeResult failure(std::string error);

} // namespace vyn::detail
