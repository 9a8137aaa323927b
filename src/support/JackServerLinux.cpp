#include "support/JackServer.h"

#include <jack/jack.h>

namespace vyn {

namespace {
void dropJackMessage(const char*) {}
} // namespace

void silenceJackMessages() {
    jack_set_error_function(dropJackMessage);
    jack_set_info_function(dropJackMessage);
}

bool jackServerRunning() {
    silenceJackMessages();
    jack_status_t status{};
    jack_client_t* client = jack_client_open("VYN probe", JackNoStartServer, &status);
    if (!client) return false;
    jack_client_close(client);
    return true;
}

} // namespace vyn
