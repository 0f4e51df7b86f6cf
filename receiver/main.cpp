// beamora-receiver: a receiver for Beamora presenters, for tests, benchmarks, demos and Linux
// boxes wired to a projector. See UsageText() and the README.
#include <QApplication>
#include <QScreen>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "platform/Debug.h"
#include "platform/Version.h"
#include "receiver/ProgramOptions.h"
#include "receiver/QtOutput.h"
#include "receiver/ReceiverServer.h"

namespace {

receiver::ReceiverServer* g_server = nullptr;

void OnSignal(int) {
    if (g_server != nullptr) g_server->RequestQuit();
}

void InstallSignalHandlers() {
    struct sigaction action {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
    std::signal(SIGPIPE, SIG_IGN);
    // Started in the background of a terminal, reading commands ends instead of stopping us.
    std::signal(SIGTTIN, SIG_IGN);
}

bool HaveDisplay() {
    auto set = [](const char* name) {
        const char* value = std::getenv(name);
        return value != nullptr && *value != '\0';
    };
    return set("DISPLAY") || set("WAYLAND_DISPLAY") || set("QT_QPA_PLATFORM");
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> arguments(argv + 1, argv + argc);
    receiver::ProgramOptions options;
    std::string error;
    if (!receiver::ParseProgramOptions(arguments, &options, &error)) {
        std::fprintf(stderr, "beamora-receiver: %s\n", error.c_str());
        return 2;
    }
    if (options.help) {
        std::fputs(receiver::UsageText().c_str(), stdout);
        return 0;
    }
    if (options.version) {
        std::printf("beamora-receiver %s\n", platform::kVersionText);
        return 0;
    }
    if (options.window && !HaveDisplay()) {
        std::fprintf(stderr, "beamora-receiver: --window needs a display (DISPLAY is not set)\n");
        return 1;
    }

    // Every diagnostic line goes to standard error; statistics go to standard output.
    platform::SetDebugSink([](std::string_view text) {
        std::fwrite(text.data(), 1, text.size(), stderr);
        std::fflush(stderr);
    });
    options.server.command_fd = 0;

    if (!options.window) {
        receiver::QtOutput output(nullptr);
        receiver::ReceiverServer server(options.server, output);
        if (!server.Open(&error)) {
            std::fprintf(stderr, "beamora-receiver: %s\n", error.c_str());
            return 1;
        }
        g_server = &server;
        InstallSignalHandlers();
        server.Run();
        g_server = nullptr;
        return 0;
    }

    QApplication application(argc, argv);
    receiver::ReceiverServer* server_pointer = nullptr;
    receiver::PictureWindow window([&server_pointer] {
        if (server_pointer != nullptr) server_pointer->RequestQuit();
    });
    window.setWindowTitle(
        QString::fromStdString("Beamora receiver - " + options.server.settings.name));
    receiver::QtOutput output(&window);
    receiver::ReceiverServer server(options.server, output);
    if (!server.Open(&error)) {
        std::fprintf(stderr, "beamora-receiver: %s\n", error.c_str());
        return 1;
    }
    server_pointer = &server;
    g_server = &server;
    InstallSignalHandlers();
    std::thread network([&server] {
        server.Run();
        QMetaObject::invokeMethod(
            qApp, [] { QApplication::quit(); }, Qt::QueuedConnection);
    });
    if (options.fullscreen) {
        // Without a window manager (a bare X server on a projector box) only an explicit
        // geometry fills the screen.
        window.setGeometry(window.screen()->geometry());
        window.showFullScreen();
    } else {
        window.show();
    }
    application.exec();
    server.RequestQuit();
    network.join();
    g_server = nullptr;
    server_pointer = nullptr;
    return 0;
}
