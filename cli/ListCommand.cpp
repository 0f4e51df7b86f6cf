// beamora-cli list: prints each receiver as soon as it is heard.
#include <cstdio>
#include <cstring>
#include <string>

#include "cli/CliCommon.h"
#include "cli/ReceiverSearch.h"
#include "platform/Ports.h"

namespace cli {

bool ParseSeconds(const char* text, int max, int* out) {
    if (text == nullptr || *text == '\0') return false;
    long value = 0;
    for (const char* p = text; *p; ++p) {
        if (*p < '0' || *p > '9') return false;
        value = value * 10 + (*p - '0');
        if (value > max) return false;
    }
    if (value < 1) return false;
    *out = static_cast<int>(value);
    return true;
}

std::string DiscoveryFailureText(int code) {
    std::string port = std::to_string(platform::ControlPort());
    switch (code) {
        case kNotifyNoUdpSocket:
            return "cannot create the UDP socket to listen for receivers";
        case kNotifyBindFailed:
            return "cannot listen on UDP port " + port +
                   " (is another presenter running? BEAMORA_CONTROL_PORT changes the port)";
        case kNotifyReceiveFailed:
            return "receiving receiver beacons failed";
        default:
            return "discovery failed (code " + std::to_string(code) + ")";
    }
}

int RunList(int argc, char** argv) {
    int seconds = 5;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--seconds") == 0 && i + 1 < argc) {
            if (!ParseSeconds(argv[++i], 86400, &seconds)) {
                std::fprintf(stderr,
                             "beamora-cli list: --seconds takes a whole number from 1 to 86400\n");
                return kExitUsage;
            }
        } else if (std::strcmp(argv[i], "--help") == 0) {
            std::printf(
                "usage: beamora-cli list [--seconds N]\n"
                "Listens for receiver beacons for up to N seconds (default 5) and prints\n"
                "one line per receiver heard: ADDRESS<TAB>NAME. Exit 0 when at least one\n"
                "was heard, 1 when none was, 2 on a usage error.\n");
            return kExitOk;
        } else {
            std::fprintf(stderr, "beamora-cli list: unexpected argument \"%s\"\n", argv[i]);
            return kExitUsage;
        }
    }

    int failure = 0;
    auto heard = SearchReceivers(
        seconds,
        [](const HeardReceiver& r) {
            std::printf("%s\t%s\n", r.address.c_str(), r.name.c_str());
            std::fflush(stdout);
            return false;
        },
        &failure);
    if (!heard.empty()) return kExitOk;
    if (failure != 0) {
        std::fprintf(stderr, "beamora-cli list: %s\n", DiscoveryFailureText(failure).c_str());
    } else {
        std::fprintf(stderr,
                     "beamora-cli list: no receiver heard within %d second%s on UDP port %u\n",
                     seconds, seconds == 1 ? "" : "s", platform::ControlPort());
    }
    return kExitFailed;
}

}  // namespace cli
