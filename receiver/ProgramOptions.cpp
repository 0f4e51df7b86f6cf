#include "receiver/ProgramOptions.h"

#include <arpa/inet.h>

#include "platform/Paths.h"
#include "platform/Ports.h"
#include "platform/Socket.h"

namespace receiver {

std::string UsageText() {
    return "usage: beamora-receiver [options]\n"
           "A receiver for Beamora presenters: beacons, serves the control and data connections,\n"
           "decodes the picture, writes PNG snapshots and shows it in a window.\n"
           "\n"
           "  --name NAME          name in the beacons (default: the host name)\n"
           "  --mode WxHxBPP       picture mode (default 1024x768x16; depth 16, 24 or 32)\n"
           "  --code NNNN          login code presenters must give (0001 to 9999)\n"
           "  --version-text TEXT  refuse presenters whose version differs in its first 8 "
           "characters\n"
           "  --reject             refuse every start request\n"
           "  --misbehave MODE     act as a broken receiver, for testing presenters: silent-start\n"
           "                       (never answer a start request), drop-data (close every data\n"
           "                       connection at once), stall-data (never read the data)\n"
           "  --snapshot FILE.png  write the picture when a projection stops, its data connection\n"
           "                       closes, and at exit\n"
           "  --window             show the picture in a window, scaled to fit\n"
           "  --fullscreen         the window fills the screen (implies --window)\n"
           "  --stats              print units, bytes and frames per second once a second\n"
           "  --beacon-to ADDR     send beacons to ADDR instead of the broadcast address and\n"
           "                       127.0.0.1 (repeatable)\n"
           "  --bind ADDR          listen and beacon on the local address ADDR only (default:\n"
           "                       every address)\n"
           "  --help               this text\n"
           "  --version            print the version and exit\n"
           "\n"
           "Commands on standard input, one per line: stop, start, mode WxHxBPP, snapshot FILE,\n"
           "quit. Ports: BEAMORA_CONTROL_PORT (beacons and control, 6566), BEAMORA_DATA_PORT "
           "(data, 6565).\n";
}

bool ParseProgramOptions(const std::vector<std::string>& arguments, ProgramOptions* options,
                         std::string* error) {
    ServerOptions& server = options->server;
    server.control_port = platform::ControlPort();
    server.data_port = platform::DataPort();
    server.beacon_port = server.control_port;
    bool named = false;

    for (size_t i = 0; i < arguments.size(); ++i) {
        const std::string& option = arguments[i];
        auto value = [&](std::string* out) {
            if (i + 1 >= arguments.size()) {
                *error = option + " needs a value";
                return false;
            }
            *out = arguments[++i];
            return true;
        };
        std::string text;
        if (option == "--help" || option == "-h") {
            options->help = true;
        } else if (option == "--version") {
            options->version = true;
        } else if (option == "--name") {
            if (!value(&server.settings.name)) return false;
            named = true;
        } else if (option == "--mode") {
            if (!value(&text)) return false;
            auto mode = ParseModeText(text);
            if (!mode) {
                *error = "--mode needs WxHxBPP with a depth of 16, 24 or 32, not \"" + text + "\"";
                return false;
            }
            server.settings.mode = *mode;
        } else if (option == "--code") {
            if (!value(&text)) return false;
            // Presenters send 0 when they have no code, so 0000 could not be told from none.
            bool digits =
                text.size() == 4 && text.find_first_not_of("0123456789") == std::string::npos;
            if (!digits || text == "0000") {
                *error = "--code needs 4 digits from 0001 to 9999, not \"" + text + "\"";
                return false;
            }
            server.settings.code = std::stoi(text);
        } else if (option == "--version-text") {
            if (!value(&text)) return false;
            server.settings.version_text = text;
        } else if (option == "--reject") {
            server.settings.reject = true;
        } else if (option == "--misbehave") {
            if (!value(&text)) return false;
            using M = ReceiverSettings::Misbehaviour;
            if (text == "silent-start") {
                server.settings.misbehaviour = M::kSilentStart;
            } else if (text == "drop-data") {
                server.settings.misbehaviour = M::kDropData;
            } else if (text == "stall-data") {
                server.settings.misbehaviour = M::kStallData;
            } else {
                *error = "--misbehave takes silent-start, drop-data or stall-data";
                return false;
            }
        } else if (option == "--snapshot") {
            if (!value(&server.snapshot_path)) return false;
        } else if (option == "--window") {
            options->window = true;
        } else if (option == "--fullscreen") {
            options->window = true;
            options->fullscreen = true;
        } else if (option == "--stats") {
            server.stats = true;
        } else if (option == "--beacon-to") {
            if (!value(&text)) return false;
            auto address = platform::ResolveIpv4(text.c_str());
            if (!address) {
                *error = "--beacon-to: cannot resolve \"" + text + "\"";
                return false;
            }
            server.beacon_targets.push_back(*address);
        } else if (option == "--bind") {
            if (!value(&text)) return false;
            in_addr address{};
            if (::inet_pton(AF_INET, text.c_str(), &address) != 1) {
                *error = "--bind needs a dotted IPv4 address, not \"" + text + "\"";
                return false;
            }
            server.bind_address = address;
        } else {
            *error = "unknown option \"" + option + "\" (see --help)";
            return false;
        }
    }
    if (!named) server.settings.name = platform::ComputerName().value_or("Beamora receiver");
    if (server.settings.name.empty()) {
        *error = "--name must not be empty";
        return false;
    }
    return true;
}

}  // namespace receiver
