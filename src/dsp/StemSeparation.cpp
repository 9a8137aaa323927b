#include "dsp/StemSeparation.h"

#include "dsp/SpectralSeparator.h"
#include "dsp/StemCache.h"
#include "dsp/StemModels.h"

#include <cmath>
#include <mutex>

namespace vyn {
namespace {

std::mutex& factoryMutex() {
    static std::mutex m;
    return m;
}

NeuralSeparatorFactory& factoryStorage() {
    static NeuralSeparatorFactory f;
    return f;
}

std::unique_ptr<IStemSeparator> chooseSeparator(bool preferNeural) {
    if (preferNeural) {
        NeuralSeparatorFactory factory;
        {
            std::lock_guard<std::mutex> lock(factoryMutex());
            factory = factoryStorage();
        }
        if (factory) {
            const std::string model = findStemModel();
            const std::string identity = model.empty() ? std::string() : stemModelIdentity(model);
            if (!model.empty() && !identity.empty()) {
                if (auto neural = factory(stemModelPath(model), identity)) return neural;
            }
        }
    }
    return std::make_unique<SpectralSeparator>();
}

} // namespace

void setNeuralSeparatorFactory(NeuralSeparatorFactory factory) {
    std::lock_guard<std::mutex> lock(factoryMutex());
    factoryStorage() = std::move(factory);
}

SeparationResult separateStems(const SeparationRequest& request) {
    SeparationResult result;
    if (!request.pcm || request.frames < 1 || !(request.sampleRate > 0.0) ||
        !std::isfinite(request.sampleRate)) {
        result.error = "nothing to separate";
        return result;
    }
    std::unique_ptr<IStemSeparator> separator = chooseSeparator(request.preferNeural);
    if (!separator) {
        result.error = "no separator available";
        return result;
    }
    const bool neural = separator->isNeural();
    const std::string identity = separator->modelIdentity();
    const std::string cachePath =
        stemCachePath(request.path, request.frames, request.sampleRate, neural, identity);
    auto report = [&request](float value) {
        if (request.progress) request.progress(value);
    };
    auto current = [&request] { return !request.isCurrent || request.isCurrent(); };

    report(0.0f);
    if (!cachePath.empty() &&
        loadStemCache(cachePath, request.pcm, request.frames, request.sampleRate, result.stems)) {
        result.ok = true;
        result.fromCache = true;
        report(-1.0f);
        return result;
    }
    const bool done = separator->separate(request.pcm, request.frames, request.sampleRate,
                                          result.stems, [&](float fraction) {
                                              if (!current()) return false;
                                              report(fraction);
                                              return true;
                                          });
    report(-1.0f);
    if (!done) {
        result.error = current() ? "separation failed" : "cancelled";
        result.stems = StemSet{};
        return result;
    }
    result.stems.neural = neural;
    result.stems.label = identity;
    result.ok = true;
    if (!cachePath.empty())
        storeStemCache(cachePath, result.stems); // a failed store only costs time
    return result;
}

} // namespace vyn
