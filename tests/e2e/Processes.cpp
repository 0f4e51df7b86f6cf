#include "tests/e2e/Processes.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "platform/Ports.h"
#include "tests/e2e/Pictures.h"

namespace e2e {

TempDir::TempDir() {
    char name[] = "/tmp/beamora-e2e-XXXXXX";
    if (::mkdtemp(name) != nullptr) path_ = name;
}

TempDir::~TempDir() {
    std::error_code ignored;
    if (!path_.empty()) std::filesystem::remove_all(path_, ignored);
}

uint16_t FreePort() {
    for (int attempt = 0; attempt < 50; ++attempt) {
        platform::UniqueFd udp(::socket(AF_INET, SOCK_DGRAM, 0));
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        if (::bind(udp.get(), reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
            continue;
        }
        socklen_t length = sizeof address;
        ::getsockname(udp.get(), reinterpret_cast<sockaddr*>(&address), &length);
        platform::UniqueFd tcp(::socket(AF_INET, SOCK_STREAM, 0));
        if (::bind(tcp.get(), reinterpret_cast<sockaddr*>(&address), sizeof address) == 0) {
            return ntohs(address.sin_port);
        }
    }
    return 0;
}

void UsePrivatePorts() {
    const uint16_t control = FreePort();
    uint16_t data = FreePort();
    while (data == control) data = FreePort();
    ::setenv("BEAMORA_CONTROL_PORT", std::to_string(control).c_str(), 1);
    ::setenv("BEAMORA_DATA_PORT", std::to_string(data).c_str(), 1);
}

ChildProcess::ChildProcess(const std::string& program, std::vector<std::string> arguments,
                           const std::string& log_path,
                           const std::vector<std::pair<std::string, std::string>>& environment)
    : log_path_(log_path) {
    int input[2];
    if (::pipe2(input, O_CLOEXEC) != 0) return;
    pid_ = ::fork();
    if (pid_ == 0) {
        ::dup2(input[0], 0);
        int log = ::open(log_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        ::dup2(log, 1);
        ::dup2(log, 2);
        for (const auto& [name, value] : environment) ::setenv(name.c_str(), value.c_str(), 1);
        std::vector<char*> argv{const_cast<char*>(program.c_str())};
        for (auto& argument : arguments) argv.push_back(argument.data());
        argv.push_back(nullptr);
        ::execv(argv[0], argv.data());
        ::_exit(127);
    }
    ::close(input[0]);
    stdin_.reset(input[1]);
}

ChildProcess::~ChildProcess() {
    if (pid_ > 0) {
        ::kill(pid_, SIGKILL);
        ::waitpid(pid_, nullptr, 0);
    }
}

bool ChildProcess::Command(const std::string& line) {
    std::string text = line + "\n";
    return ::write(stdin_.get(), text.data(), text.size()) == static_cast<ssize_t>(text.size());
}

void ChildProcess::Signal(int number) {
    if (pid_ > 0) ::kill(pid_, number);
}

int ChildProcess::Wait(int timeout_ms) {
    return WaitFor([&] { return !Running(); }, timeout_ms) ? exit_status_ : -1;
}

bool ChildProcess::Running() {
    if (pid_ <= 0) return false;
    int raw = 0;
    if (::waitpid(pid_, &raw, WNOHANG) != pid_) return true;
    pid_ = -1;
    exit_status_ = WIFEXITED(raw) ? WEXITSTATUS(raw) : 128 + WTERMSIG(raw);
    return false;
}

std::string ChildProcess::Log() const {
    std::ifstream in(log_path_);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

int ChildProcess::Count(const std::string& text) const {
    std::string log = Log();
    int count = 0;
    for (size_t at = log.find(text); at != std::string::npos; at = log.find(text, at + 1)) {
        ++count;
    }
    return count;
}

bool ChildProcess::WaitForLog(const std::string& text, int times, int timeout_ms) const {
    return WaitFor([&] { return Count(text) >= times; }, timeout_ms);
}

Receiver::Receiver(const TempDir& dir, std::vector<std::string> arguments,
                   const std::string& log_name)
    : dir_(dir),
      address_([&] {
          auto bind = std::find(arguments.begin(), arguments.end(), "--bind");
          return bind != arguments.end() && bind + 1 != arguments.end() ? *(bind + 1)
                                                                        : std::string("127.0.0.1");
      }()),
      process_(
          BEAMORA_RECEIVER_PROGRAM,
          [&] {
              if (std::find(arguments.begin(), arguments.end(), "--name") == arguments.end()) {
                  arguments.insert(arguments.end(), {"--name", kReceiverName});
              }
              arguments.insert(arguments.end(), {"--beacon-to", "127.0.0.1", "--stats"});
              return arguments;
          }(),
          dir.File(log_name)) {}

bool Receiver::WaitReady() {
    return WaitFor([&] {
        platform::UniqueFd fd(::socket(AF_INET, SOCK_STREAM, 0));
        sockaddr_in address{};
        address.sin_family = AF_INET;
        ::inet_pton(AF_INET, address_.c_str(), &address.sin_addr);
        address.sin_port = htons(platform::ControlPort());
        return ::connect(fd.get(), reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    });
}

QImage Receiver::Snapshot() {
    std::string path = dir_.File("snapshot-" + std::to_string(++snapshots_) + ".png");
    if (!process_.Command("snapshot " + path)) return {};
    if (!process_.WaitForLog("snapshot: wrote " + path + " ")) return {};
    return QImage(QString::fromStdString(path));
}

bool Receiver::Totals(unsigned long long* units, unsigned long long* bytes) const {
    std::string log = process_.Log();
    size_t at = log.rfind("; total ");
    if (at == std::string::npos) return false;
    return std::sscanf(log.c_str() + at, "; total %llu units, %llu bytes", units, bytes) == 2;
}

bool Receiver::WaitForNextStats() {
    int seen = process_.Count("stats: ");
    return process_.WaitForLog("stats: ", seen + 1, 5000);
}

std::string Receiver::AwaitPicture(const QImage& expected, int timeout_ms) {
    std::string last = "no snapshot taken";
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
    do {
        last = Differences(expected, Snapshot());
        if (last.empty()) return last;
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    } while (std::chrono::steady_clock::now() < deadline);
    return last;
}

bool Receiver::SettledTotals(unsigned long long* units, unsigned long long* bytes, bool* settled) {
    if (settled != nullptr) *settled = false;
    if (!WaitForNextStats() || !Totals(units, bytes)) return false;
    for (int line = 0; line < 10; ++line) {
        unsigned long long u = 0, b = 0;
        if (!WaitForNextStats() || !Totals(&u, &b)) return false;
        if (u == *units && b == *bytes) {
            if (settled != nullptr) *settled = true;
            return true;
        }
        *units = u;
        *bytes = b;
    }
    return true;
}

CliPresenter::CliPresenter(const TempDir& dir, const std::string& display,
                           const std::string& receiver, int duration_s, const std::string& log_name)
    : process_(BEAMORA_CLI_PROGRAM,
               {"present", "--receiver", receiver, "--duration", std::to_string(duration_s)},
               dir.File(log_name), {{"DISPLAY", display}}) {}

}  // namespace e2e
