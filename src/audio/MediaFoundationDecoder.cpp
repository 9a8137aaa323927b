#include "audio/MediaFoundationDecoder.h"
#include "audio/MediaFoundationSession.h"
#include "support/WideText.h"

#include "support/FileDescriptor.h"

#include <windows.h>

#include <mfapi.h>
#include <mfidl.h>
#include <mfreadwrite.h>
#include <objbase.h>
#include <objidl.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <mutex>

// mfplat exports it, mingw-w64's mfidl.h does not declare it.
extern "C" HRESULT WINAPI MFCreateMFByteStreamOnStream(IStream* stream, IMFByteStream** out);

namespace vyn {
namespace {

using media_foundation::ComPtr;
using media_foundation::ComScope;
using media_foundation::startMediaFoundation;

constexpr DWORD kFirstAudioStream = static_cast<DWORD>(MF_SOURCE_READER_FIRST_AUDIO_STREAM);
constexpr DWORD kAllStreams = static_cast<DWORD>(MF_SOURCE_READER_ALL_STREAMS);
// Compressed files beyond this are not loaded whole into memory.
constexpr std::uint64_t kDescriptorLimit = 1ull << 31;

const wchar_t* contentType(AudioKind kind) {
    switch (kind) {
    case AudioKind::Mp3:
        return L"audio/mpeg";
    case AudioKind::Flac:
        return L"audio/flac";
    case AudioKind::M4a:
        return L"audio/mp4";
    case AudioKind::Ogg:
        return L"audio/ogg";
    default:
        return nullptr;
    }
}

void fail(DecodeResult& out, std::string text) {
    out = DecodeResult{};
    out.error = std::move(text);
}

std::string kindName(AudioKind kind) {
    return audioKindName(kind);
}

// Asks the reader for PCM with `channels` at the file's rate, as 32-bit float or 16-bit integer
// samples; true when it delivers exactly that.
bool usePcm(IMFSourceReader* reader, UINT32 rate, UINT32 channels, bool floatSamples) {
    const UINT32 bytes = floatSamples ? 4 : 2;
    ComPtr<IMFMediaType> pcm;
    if (FAILED(MFCreateMediaType(pcm.out()))) return false;
    pcm->SetGUID(MF_MT_MAJOR_TYPE, MFMediaType_Audio);
    pcm->SetGUID(MF_MT_SUBTYPE, floatSamples ? MFAudioFormat_Float : MFAudioFormat_PCM);
    pcm->SetUINT32(MF_MT_AUDIO_NUM_CHANNELS, channels);
    pcm->SetUINT32(MF_MT_AUDIO_SAMPLES_PER_SECOND, rate);
    pcm->SetUINT32(MF_MT_AUDIO_BITS_PER_SAMPLE, 8 * bytes);
    pcm->SetUINT32(MF_MT_AUDIO_BLOCK_ALIGNMENT, bytes * channels);
    pcm->SetUINT32(MF_MT_AUDIO_AVG_BYTES_PER_SECOND, rate * bytes * channels);
    pcm->SetUINT32(MF_MT_ALL_SAMPLES_INDEPENDENT, 1);
    if (FAILED(reader->SetCurrentMediaType(kFirstAudioStream, nullptr, pcm.get()))) return false;
    ComPtr<IMFMediaType> current;
    GUID subtype = GUID_NULL;
    UINT32 got = 0, bits = 0;
    return SUCCEEDED(reader->GetCurrentMediaType(kFirstAudioStream, current.out())) &&
           SUCCEEDED(current->GetGUID(MF_MT_SUBTYPE, &subtype)) &&
           SUCCEEDED(current->GetUINT32(MF_MT_AUDIO_NUM_CHANNELS, &got)) &&
           SUCCEEDED(current->GetUINT32(MF_MT_AUDIO_BITS_PER_SAMPLE, &bits)) && got == channels &&
           bits == 8 * bytes && subtype == (floatSamples ? MFAudioFormat_Float : MFAudioFormat_PCM);
}

// Float samples to 16-bit, rounded to nearest: the same file always gives the same samples.
std::vector<std::int16_t> toInt16(const std::vector<unsigned char>& bytes, std::size_t count) {
    std::vector<std::int16_t> out(count);
    for (std::size_t i = 0; i < count; ++i) {
        float x;
        std::memcpy(&x, bytes.data() + 4 * i, 4);
        const float scaled = std::isfinite(x) ? x * 32768.0f : 0.0f;
        out[i] = static_cast<std::int16_t>(std::lround(std::clamp(scaled, -32768.0f, 32767.0f)));
    }
    return out;
}

constexpr UINT32 kMaxFoldedChannels = 8;

// Where the centre and the surround pairs sit in interleaved frames of each channel count, in
// the default WAVE channel order (the LFE and a back centre are left out).
struct FoldLayout {
    int centre;   // -1: none
    int pairs[2]; // first channel of each left/right surround pair; -1: none
};
constexpr FoldLayout kFoldLayouts[kMaxFoldedChannels + 1] = {
    {-1, {-1, -1}}, {-1, {-1, -1}}, {-1, {-1, -1}}, // 0-2: not folded
    {2, {-1, -1}},                                  // 3: L R C
    {-1, {2, -1}},                                  // 4: L R BL BR
    {2, {3, -1}},                                   // 5: L R C BL BR
    {2, {4, -1}},                                   // 6: L R C LFE BL BR
    {2, {5, -1}},                                   // 7: L R C LFE BC SL SR
    {2, {4, 6}},                                    // 8: L R C LFE BL BR SL SR
};

// Interleaved 16-bit frames folded to stereo: mono on both sides; the centre and the surround
// pairs at -3 dB into their side, the sum scaled back into range.
void foldToStereo(const std::int16_t* in, UINT32 channels, std::size_t frames, std::int16_t* out) {
    constexpr float kMinus3dB = 0.70710678f;
    const FoldLayout& layout = kFoldLayouts[channels];
    int extras = layout.centre >= 0 ? 1 : 0;
    for (int pair : layout.pairs)
        extras += pair >= 0 ? 1 : 0;
    const float scale = 1.0f / (1.0f + kMinus3dB * static_cast<float>(extras));
    auto clamp = [](float v) {
        return static_cast<std::int16_t>(std::lround(std::clamp(v, -32768.0f, 32767.0f)));
    };
    for (std::size_t f = 0; f < frames; ++f) {
        const std::int16_t* x = in + f * channels;
        if (channels == 1) {
            out[2 * f] = out[2 * f + 1] = x[0];
            continue;
        }
        float left = x[0], right = x[1];
        if (layout.centre >= 0) {
            left += kMinus3dB * x[layout.centre];
            right += kMinus3dB * x[layout.centre];
        }
        for (int pair : layout.pairs)
            if (pair >= 0) {
                left += kMinus3dB * x[pair];
                right += kMinus3dB * x[pair + 1];
            }
        out[2 * f] = clamp(left * scale);
        out[2 * f + 1] = clamp(right * scale);
    }
}

void decodeReader(DecodeResult& out, IMFSourceReader* reader, AudioKind kind) {
    ComPtr<IMFMediaType> native;
    if (FAILED(reader->GetNativeMediaType(kFirstAudioStream, 0, native.out())))
        return fail(out,
                    "Media Foundation could not read the file format (" + kindName(kind) + ")");
    UINT32 rate = 0;
    if (FAILED(native->GetUINT32(MF_MT_AUDIO_SAMPLES_PER_SECOND, &rate)) || rate == 0)
        return fail(out, "Media Foundation file has no sample rate");

    const std::string refused =
        "Media Foundation refused 16-bit stereo PCM (" + kindName(kind) + ")";
    // Float first: a decoder that works in float (AAC) would otherwise be converted to 16 bits
    // by the system, which may dither (wine's does), so that two decodes of one file differ.
    // Not every Media Foundation converts the channel count (wine's does not): then the file's
    // own count is taken and folded to stereo here.
    UINT32 fileChannels = 0;
    if (FAILED(native->GetUINT32(MF_MT_AUDIO_NUM_CHANNELS, &fileChannels)) || fileChannels < 1 ||
        fileChannels > kMaxFoldedChannels)
        fileChannels = 2;
    UINT32 channels = 0;
    bool floatSamples = false;
    for (const bool asFloat : {true, false})
        for (const UINT32 count : {UINT32{2}, fileChannels})
            if (channels == 0 && usePcm(reader, rate, count, asFloat)) {
                channels = count;
                floatSamples = asFloat;
            }
    if (channels == 0) return fail(out, refused);
    const std::size_t sampleBytes = floatSamples ? 4 : 2;
    reader->SetStreamSelection(kAllStreams, FALSE);
    reader->SetStreamSelection(kFirstAudioStream, TRUE);

    std::vector<unsigned char> decoded;
    std::size_t bytes = 0;
    for (;;) {
        DWORD flags = 0;
        ComPtr<IMFSample> sample;
        if (FAILED(
                reader->ReadSample(kFirstAudioStream, 0, nullptr, &flags, nullptr, sample.out())))
            return fail(out, "Media Foundation ReadSample failed");
        if (sample.get()) {
            ComPtr<IMFMediaBuffer> buffer;
            BYTE* data = nullptr;
            DWORD length = 0;
            if (SUCCEEDED(sample->ConvertToContiguousBuffer(buffer.out())) && buffer.get() &&
                SUCCEEDED(buffer->Lock(&data, nullptr, &length))) {
                if (data && length > 0) {
                    decoded.resize(bytes + length);
                    std::memcpy(decoded.data() + bytes, data, length);
                    bytes += length;
                }
                buffer->Unlock();
            }
        }
        if (flags & (MF_SOURCE_READERF_ENDOFSTREAM | MF_SOURCE_READERF_ERROR)) break;
    }
    const std::size_t frames = bytes / (sampleBytes * channels); // a part frame is dropped
    if (frames == 0) return fail(out, "decoded no audio from a file sniffed as " + kindName(kind));
    std::vector<std::int16_t> samples;
    if (floatSamples) {
        samples = toInt16(decoded, frames * channels);
    } else {
        samples.resize(frames * channels);
        std::memcpy(samples.data(), decoded.data(), frames * channels * 2);
    }
    decoded = {};
    if (channels == 2) {
        samples.resize(frames * 2);
    } else {
        std::vector<std::int16_t> stereo(frames * 2);
        foldToStereo(samples.data(), channels, frames, stereo.data());
        samples = std::move(stereo);
    }
    out = DecodeResult{};
    out.frames = frames;
    out.samples = std::move(samples);
    out.sampleRate = rate;
    out.ok = true;
}

} // namespace

void MediaFoundationDecoder::decodeFile(DecodeResult& out, const std::string& path,
                                        AudioKind kind) {
    ComScope com;
    if (!com.usable() || !startMediaFoundation())
        return fail(out, "Media Foundation could not start");
    const std::wstring wide = media_foundation::fullWidePath(path);
    if (wide.empty()) return fail(out, "path is not valid UTF-8");
    ComPtr<IMFSourceReader> reader;
    if (FAILED(MFCreateSourceReaderFromURL(wide.c_str(), nullptr, reader.out())))
        return fail(out,
                    "Media Foundation could not open the file (sniffed as " + kindName(kind) + ")");
    decodeReader(out, reader.get(), kind);
}

void MediaFoundationDecoder::decodeDescriptor(DecodeResult& out, int descriptor, AudioKind kind) {
    if (descriptor < 0) return fail(out, "no file descriptor");
    ComScope com;
    if (!com.usable() || !startMediaFoundation())
        return fail(out, "Media Foundation could not start");
    DescriptorReadResult whole = readWholeDescriptor(descriptor, kDescriptorLimit);
    if (!whole.ok) {
        if (whole.error == "descriptor held no data" || whole.error == "file is too large to load")
            return fail(out, whole.error);
        return fail(out, "could not read the descriptor");
    }
    HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, whole.bytes.size());
    if (!block) return fail(out, "out of memory");
    void* at = GlobalLock(block);
    if (!at) {
        GlobalFree(block);
        return fail(out, "out of memory");
    }
    std::memcpy(at, whole.bytes.data(), whole.bytes.size());
    GlobalUnlock(block);
    whole.bytes = {};

    ComPtr<IStream> stream;
    if (FAILED(CreateStreamOnHGlobal(block, TRUE, stream.out()))) {
        GlobalFree(block);
        return fail(out, "could not wrap the descriptor as a stream");
    }
    ComPtr<IMFByteStream> byteStream;
    if (FAILED(MFCreateMFByteStreamOnStream(stream.get(), byteStream.out())))
        return fail(out, "Media Foundation could not wrap the descriptor");
    // Without a URL the resolver would guess the container from the bytes and may pick another
    // source than a path of the same file gets; the sniffed kind names it.
    ComPtr<IMFAttributes> streamAttributes;
    if (SUCCEEDED(byteStream->QueryInterface(IID_PPV_ARGS(streamAttributes.out())))) {
        if (const wchar_t* type = contentType(kind))
            streamAttributes->SetString(MF_BYTESTREAM_CONTENT_TYPE, type);
    }
    ComPtr<IMFSourceReader> reader;
    if (FAILED(MFCreateSourceReaderFromByteStream(byteStream.get(), nullptr, reader.out())))
        return fail(out,
                    "Media Foundation could not decode the descriptor (" + kindName(kind) + ")");
    decodeReader(out, reader.get(), kind);
}

} // namespace vyn
