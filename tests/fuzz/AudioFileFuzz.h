#pragma once
// What the WAV and AIFF targets check: a parsed layout lies inside the input, a decode gives
// exactly the frames it reports at a real rate, and reading the same bytes from a file (piece by
// piece through the read-ahead window) gives the same result as reading them from memory.

#include "FuzzTarget.h"
#include "audio/AudioDecoderInternal.h"

#include <cmath>
#include <string>
#include <sys/mman.h>
#include <unistd.h>

namespace vyn::fuzz {

using LayoutParser = bool (*)(detail::ByteSource&, detail::PcmLayout&, std::string&);

inline DecodeResult decodeAsFile(const std::uint8_t* data, std::size_t size) {
    const int fd = ::memfd_create("fuzz-audio", 0);
    if (fd < 0) return {};
    DecodeResult r;
    if (::write(fd, data, size) == static_cast<ssize_t>(size))
        r = decodeFile("/proc/self/fd/" + std::to_string(fd));
    ::close(fd);
    return r;
}

inline void checkAudioFile(LayoutParser parse, const std::uint8_t* data, std::size_t size) {
    detail::MemoryByteSource source(data, size);
    detail::PcmLayout layout;
    std::string error;
    if (parse(source, layout, error)) {
        const std::size_t frameBytes = detail::bytesPerSample(layout.encoding) * layout.channels;
        require(layout.channels > 0 && frameBytes > 0, "a layout has channels");
        require(layout.dataOffset <= size &&
                    layout.frames <= (size - layout.dataOffset) / frameBytes,
                "the frames lie inside the input");
        require(std::isfinite(layout.sampleRate), "the rate is a number");
    } else {
        require(!error.empty(), "a refusal says why");
    }

    const DecodeResult memory = decodeMemory(data, size);
    if (memory.ok) {
        require(memory.samples.size() == 2 * memory.frames, "stereo samples for every frame");
        require(std::isfinite(memory.sampleRate) && memory.sampleRate > 0.0, "a real rate");
    } else {
        require(!memory.error.empty() && memory.samples.empty(), "a failure has a text only");
    }
    // Other kinds go to platform decoders, which memory and files reach differently.
    const AudioKind kind = sniff(data, size);
    if (kind != AudioKind::Wav && kind != AudioKind::Aiff) return;
    const DecodeResult file = decodeAsFile(data, size);
    require(file.ok == memory.ok && file.error == memory.error && file.frames == memory.frames &&
                file.sampleRate == memory.sampleRate && file.samples == memory.samples,
            "a file decodes as its bytes in memory do");
}

} // namespace vyn::fuzz
