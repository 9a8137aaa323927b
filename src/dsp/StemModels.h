#pragma once
// Bookkeeping for neural separator model files (".vynmodel"). The files are opaque here: a model
// is known by name, expected size and SHA-256, and lives in the models folder as name +
// ".vynmodel". Whoever registers a neural separator (StemSeparation.h) also registers its models;
// this system ships with neither.
//
// A model's identity is its file path plus its registered digest: it names the model in the stem
// cache key and label, so replacing a model (a new registration with a new digest) never serves
// stems the old model made.
//
// Threading: process-wide; every function takes the models mutex and may run on any thread.

#include <cstdint>
#include <string>

namespace vyn {

enum class StemModelStatus {
    Present = 1, // a regular file of the expected size (and digest, when asked)
    Unknown,     // no model of that name is registered
    Missing,
    NotAFile,
    WrongSize,
    WrongDigest,
};

void setStemModelsFolder(const std::string& folder);
std::string stemModelsFolder();
// Adds a model, or replaces the entry of the same name. `sha256` is lowercase hexadecimal.
void registerStemModel(const std::string& name, std::uint64_t bytes, const std::string& sha256);
void clearStemModels();

// The models folder joined with name + ".vynmodel".
std::string stemModelPath(const std::string& name);
// Checks size always and reads the whole file for its digest when `verifyDigest` is set.
StemModelStatus checkStemModel(const std::string& name, bool verifyDigest);
// The first registered model (in registration order) whose file is present; empty when none.
std::string findStemModel();
// Path and registered digest of a present model; empty otherwise.
std::string stemModelIdentity(const std::string& name);

} // namespace vyn
