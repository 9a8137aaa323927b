// Tags through Media Foundation: the media source of the format the first bytes show gives the
// length and the audio format; its property handler (where the system has one for the format)
// gives the tags. A file the system can open but whose tags it cannot read is still a track,
// named by its file.

#include "audio/AudioDecoder.h"
#include "audio/AudioTags.h"
#include "audio/MediaFoundationSession.h"
#include "support/WideText.h"

#include <windows.h>

#include <mfapi.h>
#include <mfidl.h>
#include <propvarutil.h>
// The property keys are defined here rather than taken from a library that may lack them.
#include <initguid.h>
#include <propkey.h>

#include <cmath>
#include <cstdint>
#include <cstdio>

namespace vyn {
namespace {

using media_foundation::ComPtr;

AudioTags failure(const char* text) {
    AudioTags t;
    t.error = text;
    return t;
}

// The property as text; the first entry of a list (artists, genres).
std::string propertyText(IPropertyStore* store, const PROPERTYKEY& key) {
    if (!store) return {};
    PROPVARIANT value;
    PropVariantInit(&value);
    std::string out;
    if (SUCCEEDED(store->GetValue(key, &value)) && value.vt != VT_EMPTY) {
        PWSTR text = nullptr;
        if (SUCCEEDED(PropVariantToStringAlloc(value, &text)) && text) {
            std::wstring wide(text);
            const std::size_t list = wide.find(L"; ");
            if ((value.vt & VT_VECTOR) && list != std::wstring::npos) wide.resize(list);
            out = narrow(wide);
        }
        CoTaskMemFree(text);
    }
    PropVariantClear(&value);
    return out;
}

// The first audio stream's format: sample rate and average bit rate.
bool audioFormat(IMFPresentationDescriptor* presentation, AudioTags& t) {
    DWORD count = 0;
    if (FAILED(presentation->GetStreamDescriptorCount(&count))) return false;
    for (DWORD i = 0; i < count; ++i) {
        BOOL selected = FALSE;
        ComPtr<IMFStreamDescriptor> stream;
        ComPtr<IMFMediaTypeHandler> handler;
        GUID major = GUID_NULL;
        if (FAILED(presentation->GetStreamDescriptorByIndex(i, &selected, stream.out())) ||
            FAILED(stream->GetMediaTypeHandler(handler.out())) ||
            FAILED(handler->GetMajorType(&major)) || major != MFMediaType_Audio)
            continue;
        ComPtr<IMFMediaType> type;
        if (SUCCEEDED(handler->GetCurrentMediaType(type.out())) ||
            SUCCEEDED(handler->GetMediaTypeByIndex(0, type.out()))) {
            UINT32 rate = 0, bytesPerSecond = 0;
            if (SUCCEEDED(type->GetUINT32(MF_MT_AUDIO_SAMPLES_PER_SECOND, &rate)) && rate > 0 &&
                rate <= INT32_MAX)
                t.sampleRate = static_cast<std::int32_t>(rate);
            if (SUCCEEDED(type->GetUINT32(MF_MT_AUDIO_AVG_BYTES_PER_SECOND, &bytesPerSecond)))
                t.bitRate = static_cast<std::int32_t>(bytesPerSecond * 8ull / 1000);
        }
        return true;
    }
    return false;
}

} // namespace

AudioTags readAudioTags(const std::string& path) {
    if (path.empty()) return failure("could not open the file");
    const std::wstring wide = media_foundation::fullWidePath(path);
    if (wide.empty()) return failure("could not open the file");
    unsigned char head[16] = {};
    std::FILE* f = _wfopen(wide.c_str(), L"rb");
    if (!f) return failure("could not open the file");
    const std::size_t got = std::fread(head, 1, sizeof head, f);
    std::fclose(f);
    if (sniff(head, got) == AudioKind::Unknown) return failure("not an audio file");

    media_foundation::ComScope com;
    if (!com.usable() || !media_foundation::startMediaFoundation())
        return failure("Media Foundation could not start");
    ComPtr<IMFSourceResolver> resolver;
    ComPtr<IUnknown> object;
    ComPtr<IMFMediaSource> source;
    MF_OBJECT_TYPE type = MF_OBJECT_INVALID;
    if (FAILED(MFCreateSourceResolver(resolver.out())) ||
        FAILED(resolver->CreateObjectFromURL(wide.c_str(),
                                             MF_RESOLUTION_MEDIASOURCE | MF_RESOLUTION_READ,
                                             nullptr, &type, object.out())) ||
        FAILED(object->QueryInterface(IID_PPV_ARGS(source.out()))))
        return failure("Media Foundation could not read the file");

    AudioTags t;
    ComPtr<IMFPresentationDescriptor> presentation;
    if (FAILED(source->CreatePresentationDescriptor(presentation.out())) ||
        !audioFormat(presentation.get(), t)) {
        source->Shutdown();
        return failure("the file holds no audio");
    }
    t.ok = true;
    UINT64 duration = 0; // 100 ns units
    if (SUCCEEDED(presentation->GetUINT64(MF_PD_DURATION, &duration))) {
        const double seconds = static_cast<double>(duration) / 1.0e7;
        t.duration = std::isfinite(seconds) && seconds > 0.0 && seconds < 1.0e7 ? seconds : 0.0;
    }

    ComPtr<IPropertyStore> store;
    if (SUCCEEDED(
            MFGetService(source.get(), MF_PROPERTY_HANDLER_SERVICE, IID_PPV_ARGS(store.out())))) {
        t.title = propertyText(store.get(), PKEY_Title);
        t.artist = propertyText(store.get(), PKEY_Music_Artist);
        if (t.artist.empty()) t.artist = propertyText(store.get(), PKEY_Music_AlbumArtist);
        t.album = propertyText(store.get(), PKEY_Music_AlbumTitle);
        t.genre = propertyText(store.get(), PKEY_Music_Genre);
        t.key = propertyText(store.get(), PKEY_Music_InitialKey);
        t.bpm = parseTagBpm(propertyText(store.get(), PKEY_Music_BeatsPerMinute));
        t.year = parseTagYear(propertyText(store.get(), PKEY_Media_Year));
    }
    source->Shutdown();
    return t;
}

} // namespace vyn
