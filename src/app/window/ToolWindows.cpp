// The tool windows of this build, one line each. A new tool window adds its class and a line here.

#include "app/window/FeedbackWindow.h"
#include "app/window/LibraryWindow.h"
#include "app/window/LinkWindow.h"
#include "app/window/MidiWindow.h"
#include "app/window/ResolumeWindow.h"
#include "app/window/ToolWindow.h"

namespace vyn {

void registerToolWindows(ToolWindowRegistry& registry) {
    registry.add(std::make_unique<LibraryWindow>());
    registry.add(std::make_unique<LinkWindow>());
    registry.add(std::make_unique<MidiWindow>());
    registry.add(std::make_unique<ResolumeWindow>());
    registry.add(std::make_unique<FeedbackWindow>());
}

} // namespace vyn
