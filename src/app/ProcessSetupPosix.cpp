#include "app/ProcessSetup.h"

namespace vyn {

ProcessSetup::ProcessSetup(int argc, char** argv) {
    for (int i = 0; i < argc; ++i)
        arguments_.emplace_back(argv[i] ? argv[i] : "");
    for (std::string& a : arguments_)
        pointers_.push_back(a.data());
    pointers_.push_back(nullptr);
}

ProcessSetup::~ProcessSetup() = default;

} // namespace vyn
