// The tool windows of this build, one line each. A new tool window adds its class and a line here.

#include "app/window/LibraryWindow.h"
#include "app/window/LinkWindow.h"
#include "app/window/ToolWindow.h"

namespace vyn {

void registerToolWindows(ToolWindowRegistry& registry) {
    registry.add(std::make_unique<LibraryWindow>());
    registry.add(std::make_unique<LinkWindow>());
}

} // namespace vyn
