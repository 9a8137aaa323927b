#include "app/Application.h"

#include "app/FeedbackControl.h"
#include "app/LibraryController.h"
#include "app/ResolumeControl.h"
#include "app/ToolbarIds.h"
#include "audio/IAudioDevice.h"
#include "control/link/SocketLayer.h"
#include "control/midi/IMidiBackend.h"
#include "control/midi/MidiHub.h"
#include "control/midi/MidiInputPorts.h"
#include "control/midi/MidiRouter.h"
#include "control/midi/MidiWindowModel.h"
#include "engine/EngineHost.h"
#include "library/Catalogue.h"
#include "library/DriveClassifier.h"
#include "library/LibraryLoaderHooks.h"
#include "library/UsbTrackCache.h"
#include "support/Desktop.h"
#include "support/KnownFolders.h"
#include "support/SettingsStore.h"
#include "support/TrackName.h"

#include <algorithm>
#include <cmath>

namespace vyn {
namespace {

constexpr auto kMidiRescan = std::chrono::seconds(2);

std::string setPlanPath(const std::optional<std::string>& chosen) {
    if (chosen) return *chosen;
    const std::string documents = documentsFolder();
    return documents.empty() ? std::string() : documents + "/" + SetPlanStore::kFileName;
}

std::string fileName(const std::string& path) {
    const std::size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

} // namespace

Application::Application(ApplicationOptions options)
    : store_(options.settings ? std::move(options.settings) : openSettingsFile(std::string())),
      settings_(WindowSettings::read(*store_)), facility_(std::move(options.facility)),
      deviceError_(std::move(options.deviceError)), wantMidi_(options.midi),
      catalogue_(std::make_unique<Catalogue>()),
      usbCache_(std::make_unique<UsbTrackCache>(makePlatformDriveClassifier())),
      engine_(EngineHost::create(std::move(options.device))) {
    library_ =
        std::make_unique<LibraryController>(*this, *catalogue_, setPlanPath(options.setPlanFile));
    usbCache_->setCacheFolder(defaultUsbCacheFolder());
    // The loader hooks go in before the engine opens: the loader reads them from its workers.
    engine_->loader().setHooks(makeLibraryLoaderHooks(*usbCache_));
    StemRequests::apply(settings_, cacheFolder(), engine_->loader());
    sets_ = std::make_unique<SetSession>(*this, *engine_);
    engine_->setMasterTap(&sets_->mixRecorder());
    midiRouter_ = std::make_unique<MidiRouter>();
    midiHub_ = std::make_unique<MidiHub>(*midiRouter_);
    midiHub_->listen(*midiRouter_);
    midiHub_->setEngine(engine_.get());
    midiHub_->setCaptureSink(
        [capture = &sets_->midiCapture()](int port, const MidiMessage& m, std::uint32_t) {
            capture->capture(port, m.status, m.data1, m.data2);
        });
    midiWindow_ =
        std::make_unique<MidiWindowModel>(*midiHub_, *midiRouter_, MidiMapStore::forThisProgram());
    resolume_ = std::make_unique<ResolumeControl>(*store_);
    feedback_ = std::make_unique<FeedbackControl>(*store_, kVersion, [this](bool send) {
        postMessage(send ? AppMessage::FeedbackSent : AppMessage::UpdateCheckFinished);
    });
    link_ = std::make_unique<LinkHost>(*engine_);
    linkModel_.drawCode();
    for (int p = 0; p < kPanelCount; ++p)
        panels_[index(p)] = DeckPanel(p);
}

Application::~Application() {
    shutdown();
}

void Application::start() {
    if (started_) return;
    started_ = true;
    engine_->setSoundOptions(settings_.sound);
    startAudio();
    if (wantMidi_) {
        installSavedMidiMappings();
        midiPorts_ = std::make_unique<MidiInputPorts>(createMidiBackend());
        midiPorts_->attach(*midiRouter_);
        lastMidiScan_ = Clock::now();
    }
    sets_->start(Clock::now());
    resolume_->setMidiBackend(midiPorts_ ? &midiPorts_->backend() : nullptr);
    resolume_->startAtLaunch(audioRunning());
    feedback_->startUpdateCheck();
    slowRefresh();
    library_->start();
}

void Application::installSavedMidiMappings() {
    for (MidiMapping& mapping : midiWindow_->store().savedMappings()) {
        const std::string device = mapping.device; // the mapping is moved from below
        midiHub_->installMapping(device, std::move(mapping));
    }
}

void Application::startAudio() {
    if (!engine_->open()) {
        IAudioDevice* device = engine_->device();
        const std::string error = device ? device->lastError() : deviceError_;
        channels_ = 0;
        statusLine_ = statusLineFor(false, error);
        if (!statusMessage_.empty()) statusLine_ = statusMessage_;
        return;
    }
    const DeviceFormat format = engine_->device()->format();
    channels_ = static_cast<int>(format.channels);
    sampleRate_ = format.sampleRate;
    deviceName_ = format.endpointName.empty()
                      ? format.backendName
                      : format.backendName + " (" + format.endpointName + ")";
    if (!userChoseDecks_)
        settings_.visibleDecks = decksForDevice(channels_, settings_.visibleDecks);
}

void Application::stopAudio() {
    engine_->stop();
}

bool Application::audioRunning() const {
    return engine_->running();
}

void Application::shutdown() {
    if (shutDown_) return;
    closing_ = true;
    library_->shutdown();
    releaseHeldControls();
    openTools_.clear();
    midiWindow_->cancelLearn();
    if (link_) link_->stop();
    linkModel_.setServerState(false, 0, 0);
    resolume_->close(); // the clock's stop byte goes out while MIDI is still there
    if (midiPorts_) midiPorts_->closeAll();
    feedback_->join(); // a running update check or send finishes first
    engine_->stop();
    sets_->shutdown(); // after the engine: the capture rings then hold the whole recording
    shutDown_ = true;
}

// --- messages ---

void Application::setMessagePoster(std::function<void(AppMessage)> poster) {
    poster_ = std::move(poster);
}

void Application::postMessage(AppMessage message) {
    if (poster_) poster_(message);
}

void Application::onMessage(AppMessage message, std::function<void()> handler) {
    handlers_.emplace_back(message, std::move(handler));
}

void Application::handleMessage(AppMessage message, Clock::time_point now) {
    if (message == AppMessage::Refresh) refresh(now);
    if (message == AppMessage::FeedbackSent) feedback_->sendFinished();
    if (message == AppMessage::UpdateCheckFinished) feedback_->updateCheckFinished();
    if (message == AppMessage::LibraryJobFinished) {
        library_->jobFinished();
        updateStatusLine();
    }
    for (auto& [m, handler] : handlers_)
        if (m == message && handler) handler();
}

// --- commands ---

bool Application::post(const Command& command) {
    if (replayOwnsMix_) return false;
    return engine_->pushOwn(command);
}

void Application::setReplayOwnsMix(bool owns) {
    replayOwnsMix_ = owns;
    link_->setReplayOwnsMix(owns);
    midiHub_->setReplayOwnsMix(owns);
}

// --- refresh ---

bool Application::refresh(Clock::time_point now) {
    if (audioRunning()) {
        EngineSnapshot fresh;
        if (engine_->readSnapshot(fresh)) snapshot_ = fresh;
        pollLoader();
        stemRequests_.observe(snapshot_, engine_->loader(), now - lastSlow_ >= kSlowRefresh);
        resolume_->tick(snapshot_, *engine_);
    }
    sets_->refresh(now);
    for (DeckPanel& p : panels_)
        p.revPoll(now, *this);
    library_->poll();
    LinkDeckView views[kDeckCount];
    for (int d = 0; d < kDeckCount; ++d) {
        views[d].name = views_[static_cast<std::size_t>(d)].trackName;
        if (d < kPanelCount) views[d].zoomSeconds = panels_[index(d)].zoomSeconds();
    }
    LinkTickInput tick;
    tick.deckCount = settings_.visibleDecks;
    tick.views = views;
    link_->tick(tick);
    if (now - lastSlow_ < kSlowRefresh) return false;
    lastSlow_ = now;
    slowRefresh();
    if (midiPorts_ && now - lastMidiScan_ >= kMidiRescan) {
        lastMidiScan_ = now;
        midiPorts_->rescan();
    }
    return true;
}

void Application::pollLoader() {
    engine_->loader().poll(loadResults_);
    if (loadResults_.empty()) return;
    for (const LoadResult& r : loadResults_) {
        const std::size_t d = r.deck;
        if (d >= views_.size()) continue;
        if (!r.ok) {
            if (r.error == "cancelled") continue; // a newer load for the deck took its place
            if (d < panels_.size())
                panels_[d].setMessage("Unable to decode this track. " + fileName(r.path));
            continue;
        }
        views_[d].trackName =
            pendingNames_[d].empty() ? trackDisplayName({}, {}, r.path) : pendingNames_[d];
        pendingNames_[d].clear();
        if (d < panels_.size()) panels_[d].setMessage(std::string());
    }
    refreshDeckViews();
}

void Application::refreshDeckViews() {
    for (int d = 0; d < kDeckCount; ++d) {
        DeckView& v = views_[static_cast<std::size_t>(d)];
        const std::uint64_t before = v.info.loadCount;
        v.info = engine_->loader().deckInfo(d);
        // A swap or a load from another surface hands a track over without a result here.
        if (v.info.loadCount != before && v.trackName.empty() && !v.info.path.empty())
            v.trackName = trackDisplayName({}, {}, v.info.path);
    }
}

void Application::slowRefresh() {
    refreshDeckViews();
    for (int p = 0; p < kPanelCount; ++p) {
        const DeckView& v = views_[index(p)];
        PanelTexts t = DeckPanel::texts(p, snapshot_.decks[p], v.trackName, hasOutputPair(p));
        if (!(t == texts_[index(p)])) texts_[index(p)] = std::move(t);
        StemJobStatus job = engine_->loader().stemStatus(panels_[index(p)].deck());
        if (!job.error.empty() && job.error != stemJobs_[index(p)].error)
            panels_[index(p)].setMessage(job.error);
        stemJobs_[index(p)] = std::move(job);
    }
    if (linkModel_.running()) linkModel_.refresh(*link_);
    if (audioRunning()) midiWindow_->periodic(toolOpen(toolbar_id::MIDI));
    updateStatusLine();
}

void Application::updateStatusLine() {
    const bool running = audioRunning();
    IAudioDevice* device = engine_->device();
    const std::string line = statusLineFor(running, running  ? std::string()
                                                    : device ? device->lastError()
                                                             : deviceError_);
    // While a library job runs the line shows its progress.
    if (std::string progress = library_->progressText(); !progress.empty()) {
        statusLine_ = std::move(progress);
        return;
    }
    statusLine_ = statusMessage_.empty() ? line : statusMessage_;
}

void Application::showMessage(std::string message) {
    statusMessage_ = std::move(message);
    statusLine_ = statusMessage_;
    messageIsNew_ = true;
}

std::string Application::statusLineFor(bool running, const std::string& error) {
    StatusLineInputs in;
    in.audioRunning = running;
    in.lastError = error;
    in.deviceName = deviceName_;
    in.sampleRate = sampleRate_;
    in.channels = channels_;
    in.deckPanels = settings_.visibleDecks;
    in.loadedBytes = running ? engine_->loader().loadedAudioBytes() : 0;
    in.quantise = snapshot_.quantise;
    in.linkRunning = linkModel_.running();
    in.linkSurfaces = linkModel_.running() ? link_->server().connectedCount() : 0;
    // A message stays until something the line reports changes (not the loaded megabytes) after
    // it was shown: what changed before it, it has seen.
    const bool changed =
        !messageIsNew_ &&
        (in.audioRunning != statusShown_.audioRunning || in.quantise != statusShown_.quantise ||
         in.linkRunning != statusShown_.linkRunning ||
         in.linkSurfaces != statusShown_.linkSurfaces || in.lastError != statusShown_.lastError);
    if (changed) statusMessage_.clear();
    statusShown_ = in;
    messageIsNew_ = false;
    return statusLineText(in);
}

// --- toolbar ---

void Application::saveInteger(const char* key, int value) {
    store_->setInteger(key, value);
}

void Application::changeDeckCount(int delta) {
    const int next = std::clamp(settings_.visibleDecks + delta, 1, WindowSettings::kMaxPanels);
    userChoseDecks_ = true;
    if (next == settings_.visibleDecks) return;
    settings_.visibleDecks = next;
    saveInteger(setting_names::kVisibleDecks, next);
    if (swapMark_ >= 0) {
        const auto at = std::find(order_.begin(), order_.end(), swapMark_) - order_.begin();
        if (at >= next) swapMark_ = -1;
    }
    slowRefresh();
}

void Application::setLayout(PanelLayout layout) {
    if (settings_.layout == layout) return;
    settings_.layout = layout;
    saveInteger(setting_names::kLayout, static_cast<int>(layout));
}

void Application::setTimeH(bool on) {
    if (settings_.timeH == on) return;
    settings_.timeH = on;
    saveInteger(setting_names::kTimeH, on ? 1 : 0);
}

void Application::setTimeV(bool on) {
    if (settings_.timeV == on) return;
    settings_.timeV = on;
    saveInteger(setting_names::kTimeV, on ? 1 : 0);
}

void Application::setChromeAtStart(bool on) {
    if (settings_.chromeAtStart == on) return;
    settings_.chromeAtStart = on;
    saveInteger(setting_names::kChromeAtStart, on ? 1 : 0);
}

void Application::setSetPlanWorkspace(bool on) {
    if (on) openTools_.erase(toolbar_id::LIBRARY);
    if (settings_.setPlanWorkspace == on) return;
    settings_.setPlanWorkspace = on;
    saveInteger(setting_names::kWorkspace, on ? 1 : 0);
}

void Application::toggleQuantise() {
    post(Command(CommandType::SET_QUANTISE, -1, snapshot_.quantise ? 0.0 : 1.0));
}

void Application::toggleAudio() {
    if (audioRunning()) {
        releaseHeldControls();
        stopAudio();
    } else {
        startAudio();
    }
    slowRefresh();
}

void Application::setSoundOptions(const SoundOptions& options) {
    SoundOptions o = options;
    o.keylockQuality = std::clamp(o.keylockQuality, 0, 1);
    o.eqType = std::clamp(o.eqType, 0, 1);
    o.interpolation = std::clamp(o.interpolation, 0, 1);
    engine_->setSoundOptions(o);
    if (o.keylockQuality != settings_.sound.keylockQuality)
        saveInteger(setting_names::kKeylockQuality, o.keylockQuality);
    if (o.eqType != settings_.sound.eqType) saveInteger(setting_names::kEqType, o.eqType);
    if (o.interpolation != settings_.sound.interpolation)
        saveInteger(setting_names::kInterpolation, o.interpolation);
    settings_.sound = o;
}

void Application::toggleTool(int toolbarId) {
    if (!openTools_.erase(toolbarId)) {
        openTools_.insert(toolbarId);
        return;
    }
    if (toolbarId == toolbar_id::MIDI) midiWindow_->cancelLearn();
}

// --- deck panels ---

bool Application::hasOutputPair(int deck) const {
    if (channels_ < 8) return true;
    return deck < std::min(channels_ / 2, kPanelCount);
}

void Application::pressDeckControl(int panel, int control) {
    if (panel < 0 || panel >= kPanelCount) return;
    DeckPanel& p = panels_[index(panel)];
    const int deck = p.deck();
    switch (control) {
    case deck_control::SWAP:
        pressSwap(panel);
        return;
    case deck_control::ZOOM_OUT:
    case deck_control::ZOOM_IN:
        zoom(panel, control == deck_control::ZOOM_IN);
        return;
    default:
        p.press(control, snapshot_.decks[deck], hasOutputPair(deck),
                static_cast<int>(snapshot_.beatJumpBeats), *this);
    }
}

void Application::setStemGain(int panel, int stem, double gain) {
    if (panel < 0 || panel >= kPanelCount) return;
    panels_[index(panel)].setStemGain(stem, gain, *this);
}

void Application::pressSwap(int panel) {
    if (swapMark_ < 0) {
        swapMark_ = panel;
        return;
    }
    if (swapMark_ != panel) {
        auto a = std::find(order_.begin(), order_.end(), swapMark_);
        auto b = std::find(order_.begin(), order_.end(), panel);
        std::iter_swap(a, b);
    }
    swapMark_ = -1;
}

void Application::revUp(int panel) {
    DeckPanel& p = panels_[index(panel)];
    p.revUp(snapshot_.decks[p.deck()], *this);
}

void Application::releaseHeldControls() {
    for (DeckPanel& p : panels_)
        p.revCancel(*this);
}

void Application::moveTempoSlider(int panel, int position) {
    panels_[index(panel)].moveTempoSlider(position, *this);
}

double Application::trackSeconds(int deck) const {
    const DeckView& v = views_[static_cast<std::size_t>(deck)];
    return DeckPanel::trackSeconds(snapshot_.decks[deck], v.info.sampleRate, v.info.waveform.get());
}

void Application::zoom(int panel, bool in) {
    DeckPanel& p = panels_[index(panel)];
    const double seconds = trackSeconds(p.deck());
    if (in)
        p.zoomIn(seconds);
    else
        p.zoomOut(seconds);
}

void Application::seek(int panel, double fraction) {
    const int deck = panels_[index(panel)].deck();
    const DeckSnapshot& s = snapshot_.decks[deck];
    if (s.length == 0 || !std::isfinite(fraction)) return;
    fraction = std::clamp(fraction, 0.0, 1.0);
    post(Command(CommandType::SET_PLAYHEAD, deck,
                 std::floor(fraction * static_cast<double>(s.length))));
}

bool Application::loadFile(int panel, const std::string& path) {
    DeckPanel& p = panels_[index(panel)];
    const int deck = p.deck();
    if (replayOwnsMix_ || !engine_->loader().queueLoad(deck, path)) {
        p.setMessage("The track could not be queued.");
        return false;
    }
    pendingNames_[static_cast<std::size_t>(deck)] = trackDisplayName({}, {}, path);
    p.setMessage("Loading\xE2\x80\xA6");
    return true;
}

CatalogueLoad Application::loadCatalogueTrack(int deck, std::uint32_t trackId) {
    if (deck < 0 || deck >= kDeckCount) return CatalogueLoad::Refused;
    DeckPanel* p = deck < kPanelCount ? &panels_[index(deck)] : nullptr;
    if (!hasOutputPair(deck)) {
        if (p) p->setMessage(kNoOutputPair);
        return CatalogueLoad::NoOutputPair;
    }
    LoadRequest request;
    std::string name;
    {
        std::lock_guard<std::mutex> lock(catalogue_->mutex());
        const CatalogueTrack* track = catalogue_->trackById(trackId);
        if (!track) return CatalogueLoad::UnknownTrack;
        name = Catalogue::displayName(*track);
        request = makeLoadRequest(*track, deck);
    }
    if (replayOwnsMix_ || !engine_->loader().submit(std::move(request)))
        return CatalogueLoad::Refused;
    pendingNames_[static_cast<std::size_t>(deck)] = name;
    if (p) p->setMessage("Loading " + name + "\xE2\x80\xA6");
    return CatalogueLoad::Queued;
}

void Application::rememberFolder(const std::string& folder) {
    if (folder.empty() || folder == settings_.lastFolder) return;
    settings_.lastFolder = folder;
    store_->setText(setting_names::kLastFolder, folder);
}

// --- feedback ---

FeedbackReport Application::feedbackReport() const {
    FeedbackReport r;
    r.booth.version = kVersion;
    r.booth.os = FeedbackControl::kOs;
    const bool running = engine_->running();
    r.booth.audioLine =
        boothAudioLine(deviceName_, running ? sampleRate_ : 0.0, channels_, settings_.visibleDecks);
    std::string midi;
    if (midiPorts_)
        for (const std::string& name : midiPorts_->names())
            midi += (midi.empty() ? "" : ", ") + name;
    r.booth.midiDevices = midi.empty() ? "none" : midi;
    r.decks = settings_.visibleDecks;
    r.worst1s = snapshot_.worst1s;
    r.host = hostName();
    return r;
}

// --- Link ---

void Application::startLink() {
    linkModel_.setAddresses(net::localIPv4Addresses());
    linkModel_.startLink(*link_, audioRunning());
    if (linkModel_.running()) linkModel_.setPort(link_->server().port());
}

void Application::stopLink() {
    linkModel_.stopLink(*link_);
}

void Application::newLinkCode() {
    linkModel_.newCode(*link_);
}

} // namespace vyn
