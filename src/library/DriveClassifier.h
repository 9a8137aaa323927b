#pragma once
// Which kind of drive a file lives on. The USB track cache copies files off removable and optical
// drives before decoding and uses files on fixed drives in place. One implementation per platform
// (DriveClassifierLinux.cpp); tests install their own.
//
// Threading: classify may be called from several threads at once; implementations keep no
// unsynchronised state.

#include <cstdint>
#include <memory>
#include <string>

namespace vyn {

enum class DriveKind : std::uint8_t { Fixed = 0, Removable = 1, CdRom = 2 };

class IDriveClassifier {
public:
    virtual ~IDriveClassifier() = default;
    // The kind of the drive holding `path` (UTF-8); Fixed when it cannot be told.
    virtual DriveKind classify(const std::string& path) const = 0;
};

std::unique_ptr<IDriveClassifier> makePlatformDriveClassifier();

// The platform's folder for the persistent USB track cache (created by the cache, not here);
// empty when no per-user cache location is known.
std::string defaultUsbCacheFolder();

} // namespace vyn
