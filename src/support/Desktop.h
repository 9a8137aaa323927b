#pragma once
// What the desktop offers a program: this machine's name and handing a web address to the
// user's browser.
//
// Threading: any thread.

#include <string>

namespace vyn {

// The machine's host name; empty when it cannot be read.
std::string hostName();
// Opens an https:// address in the desktop's browser (xdg-open on Linux) without waiting for
// it. False for other addresses or when nothing could be started.
bool openWebPage(const std::string& url);

} // namespace vyn
