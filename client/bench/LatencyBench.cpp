// beamora-e2e-bench: the whole path on one machine, over loopback. A private Xvfb is the
// presenter's desktop, `beamora-cli present` is the sender (its own process, so its CPU time is its
// own), and the reference receiver's server runs inside this program, so that the moment a new
// picture is published is seen without polling files.
//
// Figures:
//  - latency: a marker square drawn on the screen in a new colour, until the receiver publishes a
//    picture whose pixel under the marker has that colour. Included: the X server's drawing,
//    DAMAGE, the wait for the sending thread's next pass, capture, encoding, TCP over loopback, the
//    receiver's parsing and decoding, and the composition of the published picture. Not included:
//    painting a window (the published picture is what a window would paint). The changes are spaced
//    by random pauses, so they fall at every phase of the sender's pass.
//  - CPU of the sending process (utime + stime from /proc), idle and while the whole screen
//    changes faster than the sender's passes, scaled to seconds per minute; the X server's and this
//    program's (the receiver and the drawing) are shown beside it.
#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <mutex>
#include <optional>
#include <random>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "client/bench/BenchFrames.h"
#include "platform/testing/XvfbServer.h"
#include "receiver/ReceiverServer.h"

// Last: Xlib defines macros (CursorShape, Status, ...) that clash with names above.
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include "platform/x11/XDisplay.h"

namespace {

using Clock = std::chrono::steady_clock;
using tarrowlink::bench::FrameSize;

struct Options {
    FrameSize screen{1024, 768};
    int depth = 16;  // the receiver's mode: 1024x768 at this depth
    int changes = 100;
    int cpu_seconds = 25;
    bool latency = true;
    bool idle = true;
    bool full = true;
    std::string sender;  // beamora-cli
};

const char kUsage[] =
    "usage: beamora-e2e-bench [--screen WxH] [--depth 16|24|32] [--changes N] [--cpu-seconds S]\n"
    "                         [--only latency|idle|full] [--sender PATH-TO-beamora-cli]\n"
    "Starts a private Xvfb of the screen size, an in-process receiver (1024x768 at the depth) on\n"
    "free loopback ports and `beamora-cli present` against it, then measures the latency from a\n"
    "screen change to the receiver's published picture (p50, p95 over N changes) and the sender's\n"
    "CPU time per minute, idle and while the whole screen changes faster than the sender's "
    "passes.\n";

// ---------------------------------------------------------------------------------------------
// The receiver's output: watches one pixel of every published picture.

class ProbeOutput : public receiver::ReceiverOutput {
  public:
    bool WriteSnapshot(const std::string&, const receiver::ComposedImage&,
                       std::string* error) override {
        *error = "the benchmark writes no snapshots";
        return false;
    }
    bool WantsFrames() const override { return true; }

    void Show(receiver::ComposedImage image) override {
        const Clock::time_point now = Clock::now();
        std::lock_guard lock(mutex_);
        ++frames_;
        if (probe_x_ < image.width && probe_y_ < image.height) {
            uint32_t pixel = image.pixels[size_t(probe_y_) * image.width + probe_x_] & 0xFFFFFF;
            if (armed_ && Near(pixel, expected_)) {
                armed_ = false;
                arrival_ = now;
            }
        }
        changed_.notify_all();
    }

    void Stats(const std::string& line) override {
        // "stats: U units/s, B bytes/s, F fps; ..."
        unsigned long long units = 0, bytes = 0, fps = 0;
        if (std::sscanf(line.c_str(), "stats: %llu units/s, %llu bytes/s, %llu fps", &units, &bytes,
                        &fps) == 3) {
            std::lock_guard lock(mutex_);
            stats_bytes_ += bytes;
            stats_updates_ += fps;
            ++stats_seconds_;
            total_updates_ += fps;
        }
        changed_.notify_all();
    }

    void SetProbe(int x, int y) {
        std::lock_guard lock(mutex_);
        probe_x_ = x;
        probe_y_ = y;
    }

    // Waits until screen updates have arrived and a picture was published (the server publishes
    // its black picture before any presenter comes). False after timeout.
    bool WaitFirstFrame(std::chrono::milliseconds timeout) {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, timeout, [&] { return frames_ > 0 && total_updates_ > 0; });
    }

    // Expects the probe pixel to turn colour from now on.
    void Arm(uint32_t colour) {
        std::lock_guard lock(mutex_);
        expected_ = colour;
        armed_ = true;
    }
    // The time the expected colour arrived, or nothing after timeout.
    std::optional<Clock::time_point> WaitArrival(std::chrono::milliseconds timeout) {
        std::unique_lock lock(mutex_);
        if (!changed_.wait_for(lock, timeout, [&] { return !armed_; })) {
            armed_ = false;
            return std::nullopt;
        }
        return arrival_;
    }

    // Statistics since the last call: seconds, bytes and screen updates received.
    void TakeStats(uint64_t* seconds, uint64_t* bytes, uint64_t* updates) {
        std::lock_guard lock(mutex_);
        *seconds = stats_seconds_;
        *bytes = stats_bytes_;
        *updates = stats_updates_;
        stats_seconds_ = stats_bytes_ = stats_updates_ = 0;
    }

  private:
    // Equal within what a 5-6-5 picture keeps of each channel.
    static bool Near(uint32_t a, uint32_t b) {
        for (int shift : {0, 8, 16}) {
            int ca = int(a >> shift & 0xFF), cb = int(b >> shift & 0xFF);
            if (std::abs(ca - cb) > 8) return false;
        }
        return true;
    }

    std::mutex mutex_;
    std::condition_variable changed_;
    uint64_t frames_ = 0;
    int probe_x_ = 0;
    int probe_y_ = 0;
    bool armed_ = false;
    uint32_t expected_ = 0;
    Clock::time_point arrival_;
    uint64_t stats_seconds_ = 0, stats_bytes_ = 0, stats_updates_ = 0;
    uint64_t total_updates_ = 0;
};

// ---------------------------------------------------------------------------------------------
// CPU time of a process from /proc.

double ProcessCpuSeconds(pid_t pid) {
    std::ifstream file("/proc/" + std::to_string(pid) + "/stat");
    std::string text((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    // The command name may hold spaces; the fields after it are space separated.
    size_t close = text.rfind(')');
    if (close == std::string::npos) return -1;
    std::istringstream fields(text.substr(close + 2));
    std::string field;
    unsigned long long utime = 0, stime = 0;
    // Fields 3..13 come before utime (14) and stime (15).
    for (int i = 3; i <= 15 && fields >> field; ++i) {
        if (i == 14) utime = std::stoull(field);
        if (i == 15) stime = std::stoull(field);
    }
    return double(utime + stime) / double(sysconf(_SC_CLK_TCK));
}

double SelfCpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    auto seconds = [](const timeval& t) { return double(t.tv_sec) + double(t.tv_usec) / 1e6; };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

// The Xvfb this program started (a child named Xvfb), or -1.
pid_t FindXvfbChild() {
    pid_t self = getpid();
    DIR* proc = opendir("/proc");
    if (proc == nullptr) return -1;
    pid_t found = -1;
    while (dirent* entry = readdir(proc)) {
        pid_t pid = static_cast<pid_t>(std::atoi(entry->d_name));
        if (pid <= 0) continue;
        std::ifstream file("/proc/" + std::to_string(pid) + "/stat");
        std::string text((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
        size_t open = text.find('('), close = text.rfind(')');
        if (open == std::string::npos || close == std::string::npos) continue;
        std::string name = text.substr(open + 1, close - open - 1);
        std::istringstream rest(text.substr(close + 2));
        std::string state;
        long parent = 0;
        rest >> state >> parent;
        if (name == "Xvfb" && parent == self) {
            found = pid;
            break;
        }
    }
    closedir(proc);
    return found;
}

// ---------------------------------------------------------------------------------------------
// The sender: beamora-cli present in its own process.

class Sender {
  public:
    bool Start(const std::string& program, const std::string& display, uint16_t control_port,
               uint16_t data_port, const std::string& log_path) {
        // Everything the child needs is made before the fork: after it, only exec-safe calls.
        std::vector<std::string> environment = {
            "DISPLAY=" + display,
            "BEAMORA_CONTROL_PORT=" + std::to_string(control_port),
            "BEAMORA_DATA_PORT=" + std::to_string(data_port),
        };
        for (char** entry = environ; *entry != nullptr; ++entry) {
            std::string text = *entry;
            if (text.rfind("DISPLAY=", 0) != 0 && text.rfind("BEAMORA_CONTROL_PORT=", 0) != 0 &&
                text.rfind("BEAMORA_DATA_PORT=", 0) != 0) {
                environment.push_back(std::move(text));
            }
        }
        std::vector<char*> envp;
        for (std::string& text : environment) envp.push_back(text.data());
        envp.push_back(nullptr);
        const char* args[] = {program.c_str(), "present", "--receiver", "127.0.0.1", nullptr};
        pid_ = fork();
        if (pid_ == 0) {
            int log = open(log_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
            if (log >= 0) {
                dup2(log, 1);
                dup2(log, 2);
            }
            execve(program.c_str(), const_cast<char**>(args), envp.data());
            _exit(127);
        }
        return pid_ > 0;
    }
    pid_t Pid() const { return pid_; }
    bool Alive() const { return pid_ > 0 && waitpid(pid_, nullptr, WNOHANG) == 0; }
    ~Sender() {
        if (pid_ <= 0) return;
        kill(pid_, SIGTERM);
        int status;
        while (waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
        }
    }

  private:
    pid_t pid_ = -1;
};

// ---------------------------------------------------------------------------------------------
// Drawing on the private screen.

struct ImageDestroyer {
    void operator()(XImage* image) const {
        image->data = nullptr;  // the pixels are not Xlib's
        XDestroyImage(image);
    }
};

// Redraws the whole screen from a background thread, alternating the desktop picture and its
// negative (so that every pixel changes), every interval_ms.
class FullScreenChanger {
  public:
    FullScreenChanger(const std::string& display_name, FrameSize screen, int interval_ms)
        : display_name_(display_name), screen_(screen), interval_ms_(interval_ms) {}
    ~FullScreenChanger() { Stop(); }

    bool Start() {
        display_.reset(XOpenDisplay(display_name_.c_str()));
        if (!display_) return false;
        Display* d = display_.get();
        int s = DefaultScreen(d);
        Window root = DefaultRootWindow(d);
        std::vector<uint8_t> frame =
            tarrowlink::bench::CaptureFrame(tarrowlink::bench::Scene::kDesktop, screen_);
        std::vector<uint8_t> negative = frame;
        for (size_t i = 0; i < negative.size(); i += 4) {
            negative[i] ^= 0xFF;
            negative[i + 1] ^= 0xFF;
            negative[i + 2] ^= 0xFF;
        }
        GC gc = DefaultGC(d, s);
        for (int i = 0; i < 2; ++i) {
            std::vector<uint8_t>& pixels = i == 0 ? frame : negative;
            std::unique_ptr<XImage, ImageDestroyer> image(
                XCreateImage(d, DefaultVisual(d, s), unsigned(DefaultDepth(d, s)), ZPixmap, 0,
                             reinterpret_cast<char*>(pixels.data()), unsigned(screen_.width),
                             unsigned(screen_.height), 32, screen_.width * 4));
            pixmaps_[i] = XCreatePixmap(d, root, unsigned(screen_.width), unsigned(screen_.height),
                                        unsigned(DefaultDepth(d, s)));
            XPutImage(d, pixmaps_[i], gc, image.get(), 0, 0, 0, 0, unsigned(screen_.width),
                      unsigned(screen_.height));
        }
        XSync(d, False);
        thread_ = std::thread([this] { Run(); });
        return true;
    }

    void Stop() {
        stop_.store(true);
        if (thread_.joinable()) thread_.join();
        if (display_) {
            for (Pixmap pixmap : pixmaps_) {
                if (pixmap != 0) XFreePixmap(display_.get(), pixmap);
            }
            XSync(display_.get(), False);
        }
        pixmaps_[0] = pixmaps_[1] = 0;
        display_.reset();
    }

    uint64_t Draws() const { return draws_.load(); }

  private:
    void Run() {
        Display* d = display_.get();
        Window root = DefaultRootWindow(d);
        GC gc = DefaultGC(d, DefaultScreen(d));
        auto next = Clock::now();
        for (uint64_t turn = 0; !stop_.load(); ++turn) {
            XCopyArea(d, pixmaps_[turn % 2], root, gc, 0, 0, unsigned(screen_.width),
                      unsigned(screen_.height), 0, 0);
            XSync(d, False);
            draws_.fetch_add(1);
            next += std::chrono::milliseconds(interval_ms_);
            std::this_thread::sleep_until(next);
        }
    }

    std::string display_name_;
    FrameSize screen_;
    int interval_ms_;
    platform::XDisplayPtr display_;
    Pixmap pixmaps_[2] = {0, 0};
    std::thread thread_;
    std::atomic<bool> stop_{false};
    std::atomic<uint64_t> draws_{0};
};

double Percentile(std::vector<double> values, double p) {
    if (values.empty()) return 0;
    std::sort(values.begin(), values.end());
    // Nearest rank.
    size_t rank = size_t(std::ceil(p / 100.0 * double(values.size())));
    return values[std::clamp<size_t>(rank, 1, values.size()) - 1];
}

// ---------------------------------------------------------------------------------------------

int MeasureLatency(const Options& options, const std::string& display_name, ProbeOutput& output) {
    platform::XDisplayPtr display(XOpenDisplay(display_name.c_str()));
    if (!display) return 1;
    Display* d = display.get();
    Window root = DefaultRootWindow(d);
    GC gc = DefaultGC(d, DefaultScreen(d));
    // A 64 x 64 marker away from the pointer (which Xvfb keeps in the middle of the screen).
    const int marker_x = options.screen.width / 8, marker_y = options.screen.height / 8;
    const int side = 64;
    output.SetProbe((marker_x + side / 2) * 1024 / options.screen.width,
                    (marker_y + side / 2) * 768 / options.screen.height);
    static const uint32_t kColours[] = {0xC03030, 0x30C030, 0x3030C0, 0xC0C030,
                                        0x30C0C0, 0xC030C0, 0xF0F0F0, 0x202020};
    std::mt19937 random(7);
    std::uniform_int_distribution<int> pause_ms(100, 250);
    std::vector<double> latencies_ms;
    int lost = 0;
    for (int i = 0; i < options.changes + 1; ++i) {
        const uint32_t colour = kColours[i % 8];
        output.Arm(colour);
        const Clock::time_point start = Clock::now();
        XSetForeground(d, gc, colour);
        XFillRectangle(d, root, gc, marker_x, marker_y, side, side);
        XSync(d, False);
        std::optional<Clock::time_point> arrival = output.WaitArrival(std::chrono::seconds(2));
        // The first change only puts the marker in place.
        if (i > 0) {
            if (arrival) {
                latencies_ms.push_back(
                    std::chrono::duration<double, std::milli>(*arrival - start).count());
            } else {
                ++lost;
            }
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(pause_ms(random)));
    }
    std::printf(
        "latency %dx%d -> 1024x768x%d: %zu changes, p50 %.1f ms, p95 %.1f ms, min %.1f ms, "
        "max %.1f ms, lost %d\n",
        options.screen.width, options.screen.height, options.depth, latencies_ms.size(),
        Percentile(latencies_ms, 50), Percentile(latencies_ms, 95),
        latencies_ms.empty() ? 0.0 : *std::min_element(latencies_ms.begin(), latencies_ms.end()),
        latencies_ms.empty() ? 0.0 : *std::max_element(latencies_ms.begin(), latencies_ms.end()),
        lost);
    std::fflush(stdout);
    return lost == 0 ? 0 : 1;
}

// CPU seconds per minute of the sender, the X server and this program over the window.
void MeasureCpu(const char* label, const Options& options, pid_t sender, pid_t xvfb,
                ProbeOutput& output, const FullScreenChanger* changer) {
    uint64_t seconds, bytes, updates;
    output.TakeStats(&seconds, &bytes, &updates);
    const uint64_t draws_before = changer ? changer->Draws() : 0;
    const double sender_before = ProcessCpuSeconds(sender);
    const double xvfb_before = xvfb > 0 ? ProcessCpuSeconds(xvfb) : 0;
    const double self_before = SelfCpuSeconds();
    const Clock::time_point start = Clock::now();
    std::this_thread::sleep_for(std::chrono::seconds(options.cpu_seconds));
    const double wall = std::chrono::duration<double>(Clock::now() - start).count();
    const double sender_cpu = ProcessCpuSeconds(sender) - sender_before;
    const double xvfb_cpu = xvfb > 0 ? ProcessCpuSeconds(xvfb) - xvfb_before : 0;
    const double self_cpu = SelfCpuSeconds() - self_before;
    output.TakeStats(&seconds, &bytes, &updates);
    const double per_minute = 60.0 / wall;
    std::printf(
        "cpu %s %dx%d -> 1024x768x%d over %.1f s: sender %.2f s/min (%.1f %% of a core); "
        "Xvfb %.2f s/min; receiver and drawing %.2f s/min; %.1f updates/s, %.0f kB/s "
        "received",
        label, options.screen.width, options.screen.height, options.depth, wall,
        sender_cpu * per_minute, 100.0 * sender_cpu / wall, xvfb_cpu * per_minute,
        self_cpu * per_minute, seconds ? double(updates) / double(seconds) : 0.0,
        seconds ? double(bytes) / double(seconds) / 1000.0 : 0.0);
    // A cheaper pass makes more passes a second, so the cost of one update shows what changed.
    if (changer && updates > 0 && seconds > 0) {
        std::printf(", sender %.1f ms CPU per update",
                    1000.0 * sender_cpu / (double(updates) / double(seconds) * wall));
    }
    if (changer)
        std::printf(", %.1f screen redraws/s", double(changer->Draws() - draws_before) / wall);
    std::printf("\n");
    std::fflush(stdout);
}

bool ParseSize(const std::string& text, FrameSize* size) {
    return std::sscanf(text.c_str(), "%dx%d", &size->width, &size->height) == 2 &&
           size->width >= 640 && size->height >= 480 && size->width <= 4096 && size->height <= 4096;
}

std::string SiblingProgram(const char* name) {
    char path[4096];
    ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
    if (n <= 0) return name;
    std::string self(path, size_t(n));
    return self.substr(0, self.rfind('/') + 1) + name;
}

}  // namespace

int main(int argc, char** argv) {
    Options options;
    options.sender = SiblingProgram("beamora-cli");
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        const char* value = i + 1 < argc ? argv[i + 1] : nullptr;
        if (arg == "--screen" && value && ParseSize(value, &options.screen)) {
            ++i;
        } else if (arg == "--depth" && value) {
            options.depth = std::atoi(argv[++i]);
        } else if (arg == "--changes" && value) {
            options.changes = std::max(1, std::atoi(argv[++i]));
        } else if (arg == "--cpu-seconds" && value) {
            options.cpu_seconds = std::max(1, std::atoi(argv[++i]));
        } else if (arg == "--only" && value) {
            std::string what = argv[++i];
            options.latency = what == "latency";
            options.idle = what == "idle";
            options.full = what == "full";
        } else if (arg == "--sender" && value) {
            options.sender = argv[++i];
        } else {
            std::fputs(kUsage, arg == "--help" ? stdout : stderr);
            return arg == "--help" ? 0 : 2;
        }
    }
    if (options.depth != 16 && options.depth != 24 && options.depth != 32) {
        std::fputs(kUsage, stderr);
        return 2;
    }
    std::signal(SIGPIPE, SIG_IGN);

    platform::testing::XvfbServer xvfb(options.screen.width, options.screen.height, 24);
    if (!xvfb.Ok()) {
        std::fprintf(stderr, "beamora-e2e-bench: %s\n", xvfb.Error().c_str());
        return 1;
    }
    const pid_t xvfb_pid = FindXvfbChild();

    receiver::ServerOptions server_options;
    server_options.settings.name = "Bench receiver";
    server_options.settings.mode = receiver::ReceiverMode{1024, 768, options.depth};
    server_options.beacons = false;
    server_options.stats = true;
    ProbeOutput output;
    receiver::ReceiverServer server(server_options, output);
    std::string error;
    if (!server.Open(&error)) {
        std::fprintf(stderr, "beamora-e2e-bench: receiver: %s\n", error.c_str());
        return 1;
    }
    std::thread server_thread([&] { server.Run(); });

    char log_dir[] = "/tmp/beamora-e2e-bench-XXXXXX";
    std::string log_path = mkdtemp(log_dir) ? std::string(log_dir) + "/sender.log" : "/dev/null";
    int result = 0;
    {
        Sender sender;
        if (!sender.Start(options.sender, xvfb.Display(), server.ControlPort(), server.DataPort(),
                          log_path) ||
            !output.WaitFirstFrame(std::chrono::seconds(20))) {
            std::fprintf(stderr, "beamora-e2e-bench: no picture from %s (its output: %s)\n",
                         options.sender.c_str(), log_path.c_str());
            result = 1;
        } else {
            std::printf("sender pid %d, Xvfb pid %d on %s, sender log %s\n", int(sender.Pid()),
                        int(xvfb_pid), xvfb.Display().c_str(), log_path.c_str());
            std::fflush(stdout);
            // Let the first full picture settle.
            std::this_thread::sleep_for(std::chrono::seconds(2));
            if (options.latency) result |= MeasureLatency(options, xvfb.Display(), output);
            if (options.idle) {
                MeasureCpu("idle", options, sender.Pid(), xvfb_pid, output, nullptr);
            }
            if (options.full) {
                // Faster than the sender's 50 ms passes, so that every pass finds a new screen.
                FullScreenChanger changer(xvfb.Display(), options.screen, 20);
                if (changer.Start()) {
                    std::this_thread::sleep_for(std::chrono::seconds(2));
                    MeasureCpu("full-screen changes", options, sender.Pid(), xvfb_pid, output,
                               &changer);
                } else {
                    result = 1;
                }
            }
            if (!sender.Alive()) {
                std::fprintf(stderr, "beamora-e2e-bench: the sender ended early (see %s)\n",
                             log_path.c_str());
                result = 1;
            }
        }
    }
    server.RequestQuit();
    server_thread.join();
    return result;
}
