#pragma once
// Turns an audio file (by path, by descriptor, or from memory) into 16-bit signed stereo,
// interleaved, at the file's own rate. WAV (PCM, float, extensible, RF64) and AIFF/AIFC are
// decoded here; other formats are recognised by their header and handed to a platform decoder
// registered at start-up.
//
// Threading: the decode functions are reentrant. The hooks are set once at start-up, before any
// load, and only read afterwards.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace vyn {

struct DecodeResult {
    std::vector<std::int16_t> samples; // stereo interleaved (left, right)
    double sampleRate = 0.0;
    std::uint64_t frames = 0;
    bool ok = false;
    std::string error; // empty when ok
};

enum class AudioKind : std::uint8_t {
    Unknown = 0,
    Wav = 1,
    Aiff = 2,
    Mp3 = 3,
    Flac = 4,
    M4a = 5,
    Ogg = 6
};

// "WAV", "AIFF", "MP3", "FLAC", "M4A/AAC", "Ogg" or "unknown".
const char* audioKindName(AudioKind kind);

AudioKind sniff(const unsigned char* bytes, std::size_t size);

DecodeResult decodeMemory(const unsigned char* bytes, std::size_t size);
DecodeResult decodeFile(const std::string& path);
DecodeResult decodeDescriptor(int descriptor);

// The first bytes as hex and as characters, for the unknown-format message.
std::string headerDump(const unsigned char* bytes, std::size_t size);

using FileDecoderHook = void (*)(DecodeResult& out, const std::string& path, AudioKind kind);
// The descriptor is rewound to offset 0 before the call.
using DescriptorDecoderHook = void (*)(DecodeResult& out, int descriptor, AudioKind kind);

void registerFileDecoder(FileDecoderHook hook);
void registerDescriptorDecoder(DescriptorDecoderHook hook);

} // namespace vyn
