#include "audio/WasapiAudioDevice.h"

#include "audio/RealtimeThread.h"

#include <windows.h>

#include <audioclient.h>
#include <mmdeviceapi.h>
#include <mmreg.h>
#include <propidl.h>

#include <algorithm>

namespace vyn {
namespace {

constexpr GUID kSubtypeFloat = {
    0x00000003, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71}};
constexpr PROPERTYKEY kFriendlyName = {
    {0xA45C254E, 0xDF1C, 0x4EFD, {0x80, 0x20, 0x67, 0xD1, 0x46, 0xA8, 0x50, 0xE0}}, 14};
constexpr PROPERTYKEY kEngineDeviceFormat = {
    {0xF19F064D, 0x082C, 0x4E27, {0xBC, 0x73, 0x68, 0x82, 0xA1, 0xBB, 0x8E, 0x4C}}, 0};

constexpr REFERENCE_TIME kFallbackPeriod = 100000; // 10 ms in 100-ns units

template <typename T> void release(T*& p) {
    if (p) p->Release();
    p = nullptr;
}

std::string toUtf8(const wchar_t* wide) {
    if (!wide || !*wide) return {};
    const int n = WideCharToMultiByte(CP_UTF8, 0, wide, -1, nullptr, 0, nullptr, nullptr);
    if (n <= 1) return {};
    std::string out(static_cast<std::size_t>(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, wide, -1, out.data(), n, nullptr, nullptr);
    out.resize(static_cast<std::size_t>(n - 1));
    return out;
}

bool isFloatFormat(const WAVEFORMATEX* f) {
    if (f->wFormatTag == WAVE_FORMAT_IEEE_FLOAT) return f->wBitsPerSample == 32;
    if (f->wFormatTag != WAVE_FORMAT_EXTENSIBLE || f->cbSize < 22) return false;
    const auto* x = reinterpret_cast<const WAVEFORMATEXTENSIBLE*>(f);
    return IsEqualGUID(x->SubFormat, kSubtypeFloat) && f->wBitsPerSample == 32;
}

WAVEFORMATEXTENSIBLE floatFormat(std::uint32_t channels, std::uint32_t rate) {
    WAVEFORMATEXTENSIBLE f{};
    f.Format.wFormatTag = WAVE_FORMAT_EXTENSIBLE;
    f.Format.nChannels = static_cast<WORD>(channels);
    f.Format.nSamplesPerSec = rate;
    f.Format.wBitsPerSample = 32;
    f.Format.nBlockAlign = static_cast<WORD>(4 * channels);
    f.Format.nAvgBytesPerSec = rate * f.Format.nBlockAlign;
    f.Format.cbSize = sizeof(WAVEFORMATEXTENSIBLE) - sizeof(WAVEFORMATEX);
    f.Samples.wValidBitsPerSample = 32;
    f.dwChannelMask = 0;
    f.SubFormat = kSubtypeFloat;
    return f;
}

} // namespace

struct WasapiAudioDevice::Stream {
    IMMDevice* endpoint = nullptr;
    IAudioClient* client = nullptr;
    IAudioRenderClient* render = nullptr;
    HANDLE event = nullptr;
    bool exclusive = false;
    std::uint32_t bufferFrames = 0;
    std::uint32_t channels = 0;

    ~Stream() {
        release(render);
        release(client);
        release(endpoint);
        if (event) CloseHandle(event);
    }
};

WasapiAudioDevice::WasapiAudioDevice(double preferredRate, int preferredChannels)
    : preferredRate_(preferredRate), preferredChannels_(preferredChannels) {}

WasapiAudioDevice::~WasapiAudioDevice() {
    close();
}

std::uint32_t WasapiAudioDevice::exclusiveChannels(std::uint32_t nativeChannels,
                                                   std::uint32_t mixChannels) {
    const std::uint32_t c = std::max(nativeChannels, mixChannels);
    return c >= 4 ? std::min<std::uint32_t>(c, kMaxOutputChannels) : 0;
}

bool WasapiAudioDevice::fail(const char* text) {
    error_ = text;
    stream_.reset();
    if (comJoined_) {
        CoUninitialize();
        comJoined_ = false;
    }
    return false;
}

bool WasapiAudioDevice::open(IRenderTarget& engine) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (stream_) return true;

    const HRESULT com = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    if (FAILED(com) && com != RPC_E_CHANGED_MODE) {
        error_ = "COM could not start for WASAPI";
        return false;
    }
    comJoined_ = SUCCEEDED(com);

    auto stream = std::make_unique<Stream>();
    IMMDeviceEnumerator* enumerator = nullptr;
    if (FAILED(CoCreateInstance(__uuidof(MMDeviceEnumerator), nullptr, CLSCTX_ALL,
                                __uuidof(IMMDeviceEnumerator),
                                reinterpret_cast<void**>(&enumerator))))
        return fail("WASAPI could not create the device enumerator");
    const HRESULT found = enumerator->GetDefaultAudioEndpoint(eRender, eConsole, &stream->endpoint);
    release(enumerator);
    if (FAILED(found) || !stream->endpoint) return fail("Windows reports no default output device");
    stream_ = std::move(stream);
    Stream& s = *stream_;

    std::string endpointName;
    std::uint32_t nativeChannels = 0;
    std::uint32_t rate = preferredRate_ > 0 ? static_cast<std::uint32_t>(preferredRate_) : 0;
    IPropertyStore* properties = nullptr;
    if (SUCCEEDED(s.endpoint->OpenPropertyStore(STGM_READ, &properties))) {
        PROPVARIANT value;
        PropVariantInit(&value);
        if (SUCCEEDED(properties->GetValue(kFriendlyName, &value)) && value.vt == VT_LPWSTR)
            endpointName = toUtf8(value.pwszVal);
        PropVariantClear(&value);
        if (SUCCEEDED(properties->GetValue(kEngineDeviceFormat, &value)) && value.vt == VT_BLOB &&
            value.blob.cbSize >= sizeof(WAVEFORMATEX) && value.blob.pBlobData) {
            const auto* f = reinterpret_cast<const WAVEFORMATEX*>(value.blob.pBlobData);
            nativeChannels = f->nChannels;
            if (rate == 0) rate = f->nSamplesPerSec;
        }
        PropVariantClear(&value);
        release(properties);
    }

    if (FAILED(s.endpoint->Activate(__uuidof(IAudioClient), CLSCTX_ALL, nullptr,
                                    reinterpret_cast<void**>(&s.client))))
        return fail("WASAPI could not activate the default output");
    WAVEFORMATEX* mix = nullptr;
    if (FAILED(s.client->GetMixFormat(&mix)) || !mix)
        return fail("WASAPI could not read the mix format");
    const std::uint32_t mixChannels = mix->nChannels;
    const std::uint32_t mixRate = mix->nSamplesPerSec;
    if (nativeChannels == 0) nativeChannels = mixChannels;
    if (rate == 0) rate = mixRate;
    std::uint32_t tryExclusive = exclusiveChannels(nativeChannels, mixChannels);
    if (preferredChannels_ > 0 && tryExclusive > 0)
        tryExclusive = std::min<std::uint32_t>(std::max(preferredChannels_, 4), kMaxOutputChannels);

    s.event = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    if (!s.event) {
        CoTaskMemFree(mix);
        return fail("WASAPI could not create the buffer event");
    }
    REFERENCE_TIME defaultPeriod = 0, minimumPeriod = 0;
    s.client->GetDevicePeriod(&defaultPeriod, &minimumPeriod);
    const REFERENCE_TIME period =
        minimumPeriod > 0 ? minimumPeriod : (defaultPeriod > 0 ? defaultPeriod : kFallbackPeriod);

    bool initialised = false;
    std::uint32_t streamRate = rate;
    if (tryExclusive > 0) {
        WAVEFORMATEXTENSIBLE f = floatFormat(tryExclusive, rate);
        const auto* wf = reinterpret_cast<const WAVEFORMATEX*>(&f);
        if (s.client->IsFormatSupported(AUDCLNT_SHAREMODE_EXCLUSIVE, wf, nullptr) == S_OK &&
            SUCCEEDED(s.client->Initialize(AUDCLNT_SHAREMODE_EXCLUSIVE,
                                           AUDCLNT_STREAMFLAGS_EVENTCALLBACK, period, period, wf,
                                           nullptr))) {
            initialised = true;
            s.exclusive = true;
            s.channels = tryExclusive;
        } else {
            // A client whose Initialize failed cannot be initialised again.
            release(s.client);
            if (FAILED(s.endpoint->Activate(__uuidof(IAudioClient), CLSCTX_ALL, nullptr,
                                            reinterpret_cast<void**>(&s.client)))) {
                CoTaskMemFree(mix);
                return fail("WASAPI could not re-activate after exclusive failed");
            }
        }
    }
    if (!initialised) {
        IAudioClient3* client3 = nullptr;
        if (SUCCEEDED(s.client->QueryInterface(__uuidof(IAudioClient3),
                                               reinterpret_cast<void**>(&client3)))) {
            UINT32 defaultFrames = 0, fundamental = 0, minFrames = 0, maxFrames = 0;
            if (SUCCEEDED(client3->GetSharedModeEnginePeriod(mix, &defaultFrames, &fundamental,
                                                             &minFrames, &maxFrames))) {
                const UINT32 frames = minFrames > 0 ? minFrames : defaultFrames;
                if (frames > 0 && SUCCEEDED(client3->InitializeSharedAudioStream(
                                      AUDCLNT_STREAMFLAGS_EVENTCALLBACK, frames, mix, nullptr)))
                    initialised = true;
            }
            release(client3);
            if (!initialised) {
                // A failed attempt may leave the client unusable: start again with a fresh one.
                release(s.client);
                if (FAILED(s.endpoint->Activate(__uuidof(IAudioClient), CLSCTX_ALL, nullptr,
                                                reinterpret_cast<void**>(&s.client)))) {
                    CoTaskMemFree(mix);
                    return fail("WASAPI could not activate the default output");
                }
            }
        }
        if (!initialised) {
            WAVEFORMATEXTENSIBLE f = floatFormat(mixChannels, mixRate);
            const WAVEFORMATEX* wf =
                isFloatFormat(mix) ? mix : reinterpret_cast<const WAVEFORMATEX*>(&f);
            if (FAILED(s.client->Initialize(AUDCLNT_SHAREMODE_SHARED,
                                            AUDCLNT_STREAMFLAGS_EVENTCALLBACK, 0, 0, wf,
                                            nullptr))) {
                CoTaskMemFree(mix);
                return fail("WASAPI could not open a shared float stream");
            }
            initialised = true;
        }
        s.exclusive = false;
        s.channels = mixChannels;
        streamRate = mixRate;
    }
    CoTaskMemFree(mix);

    if (FAILED(s.client->SetEventHandle(s.event)))
        return fail("WASAPI could not attach the buffer event");
    UINT32 bufferFrames = 0;
    if (FAILED(s.client->GetBufferSize(&bufferFrames)) || bufferFrames == 0)
        return fail("WASAPI granted an empty buffer");
    if (FAILED(s.client->GetService(__uuidof(IAudioRenderClient),
                                    reinterpret_cast<void**>(&s.render))))
        return fail("WASAPI could not get the render client");
    s.bufferFrames = bufferFrames;
    REFERENCE_TIME streamLatency = 0;
    if (FAILED(s.client->GetStreamLatency(&streamLatency)) || streamLatency <= 0)
        streamLatency = period;

    if (streamRate != preparedRate_) {
        engine.prepare(streamRate, kMaxBlockFrames);
        preparedRate_ = streamRate;
    }
    engine_ = &engine;
    format_ = DeviceFormat{};
    format_.sampleRate = streamRate;
    format_.bufferFrames = bufferFrames;
    format_.periodFrames = bufferFrames;
    format_.channels = s.channels;
    format_.deviceChannels = std::max(nativeChannels, s.channels);
    format_.lowLatency = s.exclusive || bufferFrames <= 512;
    format_.backendName = s.exclusive ? "WASAPI exclusive" : "WASAPI shared";
    format_.endpointName = endpointName;
    latency_ = static_cast<std::int64_t>(bufferFrames) +
               static_cast<std::int64_t>(streamLatency * static_cast<double>(streamRate) / 1e7);
    return true;
}

void WasapiAudioDevice::releaseStream() {
    stream_.reset();
    engine_ = nullptr;
    if (comJoined_) {
        CoUninitialize();
        comJoined_ = false;
    }
}

bool WasapiAudioDevice::start() {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!stream_) {
        error_ = "start() called before open()";
        return false;
    }
    if (running_) return true;
    stopRequested_.store(false, std::memory_order_release);
    // Silence in the whole buffer first, so the first period starts from a full buffer.
    BYTE* data = nullptr;
    if (SUCCEEDED(stream_->render->GetBuffer(stream_->bufferFrames, &data)))
        stream_->render->ReleaseBuffer(stream_->bufferFrames, AUDCLNT_BUFFERFLAGS_SILENT);
    if (FAILED(stream_->client->Start())) {
        error_ = "WASAPI could not start the output stream";
        return false;
    }
    running_ = true;
    thread_ = std::thread([this] { renderLoop(); });
    return true;
}

bool WasapiAudioDevice::stop() {
    std::thread worker;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stopRequested_.store(true, std::memory_order_release);
        if (stream_ && stream_->event) SetEvent(stream_->event);
        worker = std::move(thread_);
    }
    if (worker.joinable() && worker.get_id() != std::this_thread::get_id()) worker.join();
    std::lock_guard<std::mutex> lock(mutex_);
    if (running_ && stream_ && stream_->client) stream_->client->Stop();
    running_ = false;
    return true;
}

void WasapiAudioDevice::close() {
    stop();
    std::lock_guard<std::mutex> lock(mutex_);
    releaseStream();
}

void WasapiAudioDevice::renderLoop() {
    const HRESULT com = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    enableFlushToZero();
    raiseToRealtimePriority();
    // The stream cannot change while the thread runs: close() and open() wait for stop().
    Stream& s = *stream_;
    IRenderTarget& engine = *engine_;
    const int channels = static_cast<int>(s.channels);
    while (!stopRequested_.load(std::memory_order_acquire)) {
        if (WaitForSingleObject(s.event, 2000) != WAIT_OBJECT_0) continue;
        if (stopRequested_.load(std::memory_order_acquire)) break;
        UINT32 frames = s.bufferFrames;
        if (!s.exclusive) {
            UINT32 padding = 0;
            if (FAILED(s.client->GetCurrentPadding(&padding))) continue;
            frames = padding < s.bufferFrames ? s.bufferFrames - padding : 0;
        }
        if (frames < 1) continue;
        BYTE* data = nullptr;
        if (FAILED(s.render->GetBuffer(frames, &data)) || !data) continue;
        router_.fill(engine, reinterpret_cast<float*>(data), channels, static_cast<long>(frames));
        s.render->ReleaseBuffer(frames, 0);
    }
    if (SUCCEEDED(com)) CoUninitialize();
}

bool WasapiAudioDevice::isRunning() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return running_;
}

DeviceFormat WasapiAudioDevice::format() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return format_;
}

std::int64_t WasapiAudioDevice::latencyFrames() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return latency_;
}

std::string WasapiAudioDevice::lastError() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return error_;
}

} // namespace vyn
