// beamora-cli: a headless sender built on the client library, for scripts and kiosks.

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <system_error>

#include "cli/CliCommon.h"
#include "platform/Paths.h"
#include "platform/Ports.h"
#include "platform/Version.h"

namespace {

void PrintUsage(std::FILE* out) {
    std::fprintf(
        out,
        "usage: beamora-cli COMMAND [OPTIONS]\n"
        "\n"
        "Commands:\n"
        "  list [--seconds N]   listen for receiver beacons for up to N seconds (default 5)\n"
        "                       and print one line per receiver: ADDRESS<TAB>NAME.\n"
        "                       Exit 0 when one was heard, 1 when none was.\n"
        "  present [--receiver NAME|ADDRESS] [--code NNNN] [--duration SECONDS]\n"
        "                       log in to the receiver (by name, the only one heard, or at\n"
        "                       the address), ask it to start and present this desktop until\n"
        "                       the duration ends or SIGINT/SIGTERM, then stop.\n"
        "                       Exit 0 presented and stopped; 1 no receiver, login refused,\n"
        "                       start rejected or the screen cannot be captured; 3 the\n"
        "                       connection to the receiver was lost; 4 nothing was presented\n"
        "                       (start not answered, picture connection refused or failing).\n"
        "\n"
        "Every command exits 2 on a usage error. COMMAND --help describes one command;\n"
        "--version prints the version.\n"
        "\n"
        "Environment:\n"
        "  BEAMORA_CONTROL_PORT  beacon (UDP) and control (TCP) port, default %u\n"
        "  BEAMORA_DATA_PORT     data (TCP) port, default %u\n"
        "  BEAMORA_DEBUG=1       write the library's diagnostics to stderr\n",
        platform::kDefaultControlPort, platform::kDefaultDataPort);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        PrintUsage(stderr);
        return cli::kExitUsage;
    }
    std::string command = argv[1];
    if (command == "--help" || command == "-h" || command == "help") {
        PrintUsage(stdout);
        return cli::kExitOk;
    }
    if (command == "--version") {
        std::printf("beamora-cli %s\n", platform::kVersionText);
        return cli::kExitOk;
    }
    // The library reads the shipped "version" file by relative name: work from the data directory.
    if (auto data = platform::FindDataDirectory("version")) {
        std::error_code error;
        std::filesystem::current_path(*data, error);
        if (error) {
            std::fprintf(stderr, "beamora-cli: cannot enter the data directory: %s\n",
                         error.message().c_str());
        }
    }
    if (command == "list") return cli::RunList(argc - 1, argv + 1);
    if (command == "present") return cli::RunPresent(argc - 1, argv + 1);
    std::fprintf(stderr, "beamora-cli: unknown command \"%s\"\n", command.c_str());
    PrintUsage(stderr);
    return cli::kExitUsage;
}
