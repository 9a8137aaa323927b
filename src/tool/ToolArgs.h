#pragma once
// Small argument walker for vyn-tool subcommands: options with range-checked numeric values,
// then positional arguments.

#include <string>
#include <vector>

namespace vyn::tool {

class ToolArgs {
public:
    ToolArgs(int argc, char** argv) : args_(argv, argv + argc) {}

    bool more() const { return !failed_ && index_ < args_.size(); }
    const std::string& peek() const { return args_[index_]; }
    std::string next() { return args_[index_++]; }

    // When the next argument is `name`, consumes it and its value (which must parse completely and
    // lie in [min, max]); returns true. A bad value sets the error and returns false.
    bool option(const char* name, double& value, double min, double max);
    bool option(const char* name, int& value, int min, int max);
    bool option(const char* name, std::string& value);
    // A flag without a value.
    bool flag(const char* name, bool& value);

    bool failed() const { return failed_; }
    const std::string& error() const { return error_; }

private:
    std::vector<std::string> args_;
    std::size_t index_ = 0;
    bool failed_ = false;
    std::string error_;
};

} // namespace vyn::tool
