#pragma once
// Drive classification on Linux: the mount holding a path is found in the mount table
// (/proc/self/mountinfo); mounts under /media and /run/media are removable, and otherwise the
// block device's removable flag (/sys/block/<disk>/removable) decides; sr devices are optical.
// The two roots can be pointed elsewhere for tests.

#include "library/DriveClassifier.h"

#include <string>

namespace vyn {

class LinuxDriveClassifier final : public IDriveClassifier {
public:
    explicit LinuxDriveClassifier(std::string mountInfoPath = "/proc/self/mountinfo",
                                  std::string sysRoot = "/sys");
    DriveKind classify(const std::string& path) const override;

private:
    DriveKind classifyDevice(const std::string& majorMinor, const std::string& source) const;

    std::string mountInfoPath_;
    std::string sysRoot_;
};

} // namespace vyn
