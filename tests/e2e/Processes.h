// The programs an end-to-end test runs: beamora-receiver (driven through its standard input and
// read through its log and snapshots) and beamora-cli, each with its output in a file of the
// test's own directory.
#pragma once

#include <sys/types.h>

#include <QImage>
#include <chrono>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "platform/Socket.h"

namespace e2e {

// A temporary directory, removed with its files.
class TempDir {
  public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    std::string File(const std::string& name) const { return path_ + "/" + name; }

  private:
    std::string path_;
};

// A port free for TCP and UDP alike on loopback (the beacon and control ports share a number).
uint16_t FreePort();

// Gives this test process control and data ports of its own (BEAMORA_CONTROL_PORT and
// BEAMORA_DATA_PORT, which its children inherit), so that test processes run side by side.
void UsePrivatePorts();

// Polls cond every 20 ms for up to timeout_ms; true as soon as it holds.
template <typename Cond>
bool WaitFor(Cond cond, int timeout_ms = 10000);

// A child program with its standard input on a pipe and its standard output and error in one
// file. The environment is this process's plus `environment`. Killed (SIGKILL) when destroyed.
class ChildProcess {
  public:
    ChildProcess(const std::string& program, std::vector<std::string> arguments,
                 const std::string& log_path,
                 const std::vector<std::pair<std::string, std::string>>& environment = {});
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    // Writes one line to its standard input.
    bool Command(const std::string& line);
    void Signal(int number);
    // Waits up to timeout_ms for it to end: its exit status (128 + signal when killed), or -1.
    // Asked again after it ended, it gives the same status.
    int Wait(int timeout_ms = 10000);
    // False once it has ended (its status is then kept for Wait).
    bool Running();
    // Everything it has written so far.
    std::string Log() const;
    // How often text occurs in the log.
    int Count(const std::string& text) const;
    // Waits until text occurs at least `times` times.
    bool WaitForLog(const std::string& text, int times = 1, int timeout_ms = 10000) const;

  private:
    std::string log_path_;
    pid_t pid_ = -1;
    int exit_status_ = -1;  // once it has ended: its status (128 + signal when killed)
    platform::UniqueFd stdin_;
};

// The name a test's receiver beacons unless the test names it.
inline constexpr char kReceiverName[] = "e2e-receiver";

// beamora-receiver on the ports of BEAMORA_CONTROL_PORT / BEAMORA_DATA_PORT, named
// "e2e-receiver" unless the arguments name it, beaconing to 127.0.0.1 only, printing its stats
// every second. With `--bind ADDR` among the arguments it listens on ADDR only.
class Receiver {
  public:
    Receiver(const TempDir& dir, std::vector<std::string> arguments,
             const std::string& log_name = "receiver.txt");
    ChildProcess& process() { return process_; }
    bool Command(const std::string& line) { return process_.Command(line); }
    // Waits until its control port takes connections (on its --bind address, else 127.0.0.1).
    bool WaitReady();
    // Writes its picture to a new file and reads it back; a null image when that fails.
    QImage Snapshot();
    // Total units and bytes from its most recent stats line; false when there is none yet.
    bool Totals(unsigned long long* units, unsigned long long* bytes) const;
    // Waits for the next stats line, so that Totals includes everything received until now.
    bool WaitForNextStats();
    // Waits until the totals hold still between two stats lines (at most ten more lines) and
    // gives the last ones read. False when a stats line does not come; *settled, when given,
    // says whether they held still.
    bool SettledTotals(unsigned long long* units, unsigned long long* bytes,
                       bool* settled = nullptr);
    // Waits until its picture equals expected; the last differences found, empty when it does.
    std::string AwaitPicture(const QImage& expected, int timeout_ms = 15000);

  private:
    const TempDir& dir_;
    std::string address_ = "127.0.0.1";
    ChildProcess process_;
    int snapshots_ = 0;
};

// `beamora-cli present --receiver RECEIVER` on the given X display; the receiver by address or
// by the name in its beacons.
class CliPresenter {
  public:
    CliPresenter(const TempDir& dir, const std::string& display,
                 const std::string& receiver = "127.0.0.1", int duration_s = 60,
                 const std::string& log_name = "cli.txt");
    ChildProcess& process() { return process_; }

  private:
    ChildProcess process_;
};

template <typename Cond>
bool WaitFor(Cond cond, int timeout_ms) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
    while (std::chrono::steady_clock::now() < deadline) {
        if (cond()) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return cond();
}

}  // namespace e2e
