// The Wayland end-to-end tests run inside wayland-session, which gives them the desktop; each
// process talks on ports of its own.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "tests/e2e/Processes.h"

int main(int argc, char** argv) {
    e2e::UsePrivatePorts();
    if (::chdir(BEAMORA_DATA_DIR) != 0)
        std::perror("wayland_e2e_tests: cannot enter the data directory");
    ::testing::InitGoogleTest(&argc, argv);
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    const char* bar = std::getenv("BEAMORA_TEST_BAR");
    if (wayland == nullptr || bar == nullptr) {
        std::fprintf(stderr, "wayland_e2e_tests: run me through tests/wayland/wayland-session\n");
        return 2;
    }
    return RUN_ALL_TESTS();
}
