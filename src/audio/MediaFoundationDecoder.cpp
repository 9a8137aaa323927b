#include "audio/MediaFoundationDecoder.h"
#include "support/WideText.h"

#include "support/FileDescriptor.h"

#include <windows.h>

#include <mfapi.h>
#include <mfidl.h>
#include <mfreadwrite.h>
#include <objbase.h>
#include <objidl.h>

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

void decodeReader(DecodeResult& out, IMFSourceReader* reader, AudioKind kind) {
    ComPtr<IMFMediaType> native;
    if (FAILED(reader->GetNativeMediaType(kFirstAudioStream, 0, native.out())))
        return fail(out,
                    "Media Foundation could not read the file format (" + kindName(kind) + ")");
    UINT32 rate = 0;
    if (FAILED(native->GetUINT32(MF_MT_AUDIO_SAMPLES_PER_SECOND, &rate)) || rate == 0)
        return fail(out, "Media Foundation file has no sample rate");

    ComPtr<IMFMediaType> pcm;
    if (FAILED(MFCreateMediaType(pcm.out())))
        return fail(out, "Media Foundation could not create a PCM type");
    pcm->SetGUID(MF_MT_MAJOR_TYPE, MFMediaType_Audio);
    pcm->SetGUID(MF_MT_SUBTYPE, MFAudioFormat_PCM);
    pcm->SetUINT32(MF_MT_AUDIO_NUM_CHANNELS, 2);
    pcm->SetUINT32(MF_MT_AUDIO_SAMPLES_PER_SECOND, rate);
    pcm->SetUINT32(MF_MT_AUDIO_BITS_PER_SAMPLE, 16);
    pcm->SetUINT32(MF_MT_AUDIO_BLOCK_ALIGNMENT, 4);
    pcm->SetUINT32(MF_MT_AUDIO_AVG_BYTES_PER_SECOND, rate * 4);
    pcm->SetUINT32(MF_MT_ALL_SAMPLES_INDEPENDENT, 1);
    const std::string refused =
        "Media Foundation refused 16-bit stereo PCM (" + kindName(kind) + ")";
    if (FAILED(reader->SetCurrentMediaType(kFirstAudioStream, nullptr, pcm.get())))
        return fail(out, refused);
    ComPtr<IMFMediaType> current;
    UINT32 channels = 0, bits = 0;
    if (FAILED(reader->GetCurrentMediaType(kFirstAudioStream, current.out())) ||
        FAILED(current->GetUINT32(MF_MT_AUDIO_NUM_CHANNELS, &channels)) ||
        FAILED(current->GetUINT32(MF_MT_AUDIO_BITS_PER_SAMPLE, &bits)) || channels != 2 ||
        bits != 16)
        return fail(out, refused);
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
    if (bytes / 2 < 2)
        return fail(out, "decoded no audio from a file sniffed as " + kindName(kind));
    samples.resize(bytes / 4 * 2); // a trailing half frame is dropped
    out = DecodeResult{};
    out.frames = samples.size() / 2;
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
