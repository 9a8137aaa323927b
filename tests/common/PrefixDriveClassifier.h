#pragma once
// A drive classifier for tests: every path under `prefix` lies on a drive of `kind` (a stick, by
// default), everything else on a fixed drive.

#include "library/DriveClassifier.h"

#include <string>

namespace vyn::test {

class PrefixDriveClassifier final : public IDriveClassifier {
public:
    explicit PrefixDriveClassifier(std::string prefix, DriveKind kind = DriveKind::Removable)
        : prefix_(std::move(prefix)), kind_(kind) {}
    DriveKind classify(const std::string& path) const override {
        return path.rfind(prefix_, 0) == 0 ? kind_ : DriveKind::Fixed;
    }

private:
    std::string prefix_;
    DriveKind kind_;
};

} // namespace vyn::test
