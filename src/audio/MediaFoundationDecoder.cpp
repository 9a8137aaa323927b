#include "audio/MediaFoundationDecoder.h"
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

constexpr ULONG kMfVersion = 0x20070;
constexpr DWORD kFirstAudioStream = static_cast<DWORD>(MF_SOURCE_READER_FIRST_AUDIO_STREAM);
constexpr DWORD kAllStreams = static_cast<DWORD>(MF_SOURCE_READER_ALL_STREAMS);
// Compressed files beyond this are not loaded whole into memory.
constexpr std::uint64_t kDescriptorLimit = 1ull << 31;

// Owns one COM reference.
template <typename T> class ComPtr {
public:
    ComPtr() = default;
    ~ComPtr() { reset(); }
    ComPtr(const ComPtr&) = delete;
    ComPtr& operator=(const ComPtr&) = delete;
    T* get() const { return p_; }
    T* operator->() const { return p_; }
    T** out() {
        reset();
        return &p_;
    }
    void reset() {
        if (p_) p_->Release();
        p_ = nullptr;
    }

private:
    T* p_ = nullptr;
};

// The calling thread in COM's multithreaded apartment for one decode.
class ComScope {
public:
    ComScope() : hr_(CoInitializeEx(nullptr, COINIT_MULTITHREADED)) {}
    ~ComScope() {
        if (SUCCEEDED(hr_)) CoUninitialize();
    }
    bool usable() const { return SUCCEEDED(hr_) || hr_ == RPC_E_CHANGED_MODE; }

private:
    HRESULT hr_;
};

bool startMediaFoundation() {
    static std::once_flag once;
    static bool started = false;
    std::call_once(once, [] { started = SUCCEEDED(MFStartup(kMfVersion, MFSTARTUP_LITE)); });
    return started;
}

void fail(DecodeResult& out, std::string text) {
    out = DecodeResult{};
    out.error = std::move(text);
}

std::wstring widenPath(const std::string& utf8) {
    const std::wstring wide = widen(utf8);
    if (wide.empty()) return {};
    // The source reader resolves its argument as a URL: a full path leaves it no doubt.
    const DWORD full = GetFullPathNameW(wide.c_str(), 0, nullptr, nullptr);
    if (full == 0) return wide;
    std::wstring absolute(full, L'\0');
    const DWORD written = GetFullPathNameW(wide.c_str(), full, absolute.data(), nullptr);
    if (written == 0 || written >= full) return wide;
    absolute.resize(written);
    return absolute;
}

std::string kindName(AudioKind kind) {
    return audioKindName(kind);
}

// Asks the reader for 16-bit PCM with `channels` at the file's rate; true when it delivers
// exactly that.
bool usePcm(IMFSourceReader* reader, UINT32 rate, UINT32 channels) {
    ComPtr<IMFMediaType> pcm;
    if (FAILED(MFCreateMediaType(pcm.out()))) return false;
    pcm->SetGUID(MF_MT_MAJOR_TYPE, MFMediaType_Audio);
    pcm->SetGUID(MF_MT_SUBTYPE, MFAudioFormat_PCM);
    pcm->SetUINT32(MF_MT_AUDIO_NUM_CHANNELS, channels);
    pcm->SetUINT32(MF_MT_AUDIO_SAMPLES_PER_SECOND, rate);
    pcm->SetUINT32(MF_MT_AUDIO_BITS_PER_SAMPLE, 16);
    pcm->SetUINT32(MF_MT_AUDIO_BLOCK_ALIGNMENT, 2 * channels);
    pcm->SetUINT32(MF_MT_AUDIO_AVG_BYTES_PER_SECOND, rate * 2 * channels);
    pcm->SetUINT32(MF_MT_ALL_SAMPLES_INDEPENDENT, 1);
    if (FAILED(reader->SetCurrentMediaType(kFirstAudioStream, nullptr, pcm.get()))) return false;
    ComPtr<IMFMediaType> current;
    UINT32 got = 0, bits = 0;
    return SUCCEEDED(reader->GetCurrentMediaType(kFirstAudioStream, current.out())) &&
           SUCCEEDED(current->GetUINT32(MF_MT_AUDIO_NUM_CHANNELS, &got)) &&
           SUCCEEDED(current->GetUINT32(MF_MT_AUDIO_BITS_PER_SAMPLE, &bits)) && got == channels &&
           bits == 16;
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
    UINT32 channels = 2;
    if (!usePcm(reader, rate, channels)) {
        // Not every Media Foundation converts the channel count (wine's does not): take the
        // file's own count and fold it to stereo here.
        UINT32 fileChannels = 0;
        if (FAILED(native->GetUINT32(MF_MT_AUDIO_NUM_CHANNELS, &fileChannels)) ||
            fileChannels < 1 || fileChannels > kMaxFoldedChannels ||
            !usePcm(reader, rate, fileChannels))
            return fail(out, refused);
        channels = fileChannels;
    }
    reader->SetStreamSelection(kAllStreams, FALSE);
    reader->SetStreamSelection(kFirstAudioStream, TRUE);

    std::vector<std::int16_t> samples;
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
                    samples.resize((bytes + length + 1) / 2);
                    std::memcpy(reinterpret_cast<unsigned char*>(samples.data()) + bytes, data,
                                length);
                    bytes += length;
                }
                buffer->Unlock();
            }
        }
        if (flags & (MF_SOURCE_READERF_ENDOFSTREAM | MF_SOURCE_READERF_ERROR)) break;
    }
    const std::size_t frames = bytes / (2u * channels); // a trailing part frame is dropped
    if (frames == 0) return fail(out, "decoded no audio from a file sniffed as " + kindName(kind));
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
    const std::wstring wide = widenPath(path);
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
    ComPtr<IMFSourceReader> reader;
    if (FAILED(MFCreateSourceReaderFromByteStream(byteStream.get(), nullptr, reader.out())))
        return fail(out,
                    "Media Foundation could not decode the descriptor (" + kindName(kind) + ")");
    decodeReader(out, reader.get(), kind);
}

} // namespace vyn
