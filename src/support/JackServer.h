#pragma once
// The one question about JACK that audio output and MIDI input both ask before choosing it:
// is a server running? Linux only (JackServerLinux.cpp).
//
// Threading: any thread.

namespace vyn {

// True when a JACK server answers. Never starts one and prints nothing.
bool jackServerRunning();

// Routes libjack's own error and information messages away from standard error (for the rest of
// the process).
void silenceJackMessages();

} // namespace vyn
