// beamora-receiver as a program: started with its options and environment, driven through its
// sockets and standard input, its PNG snapshot read back.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>

#include <QImage>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <set>
#include <sstream>
#include <thread>

#include "platform/Version.h"
#include "receiver/tests/TestPresenter.h"

namespace receiver {
namespace {

using namespace std::chrono_literals;
using test::Bytes;

uint16_t FreeTcpPort() {
    platform::UniqueFd fd(::socket(AF_INET, SOCK_STREAM, 0));
    sockaddr_in local{};
    local.sin_family = AF_INET;
    ::bind(fd.get(), reinterpret_cast<sockaddr*>(&local), sizeof local);
    socklen_t length = sizeof local;
    ::getsockname(fd.get(), reinterpret_cast<sockaddr*>(&local), &length);
    return ntohs(local.sin_port);
}

// A temporary directory removed with its files.
class TempDir {
  public:
    TempDir() {
        char name[] = "/tmp/beamora-receiver-XXXXXX";
        path_ = ::mkdtemp(name);
    }
    ~TempDir() { std::system(("rm -rf '" + path_ + "'").c_str()); }
    std::string File(const std::string& name) const { return path_ + "/" + name; }

  private:
    std::string path_;
};

// The program running with the given arguments on its own ports; stderr goes to a file.
class Program {
  public:
    // Ports 0: free ones of its own.
    Program(const TempDir& dir, std::vector<std::string> arguments, uint16_t control_port = 0,
            uint16_t data_port = 0, const std::string& log_name = "stderr.txt",
            const std::vector<std::pair<std::string, std::string>>& environment = {})
        : control_port_(control_port != 0 ? control_port : FreeTcpPort()),
          data_port_(data_port != 0 ? data_port : FreeTcpPort()),
          log_(dir.File(log_name)) {
        int input[2];
        EXPECT_EQ(::pipe2(input, O_CLOEXEC), 0);
        pid_ = ::fork();
        if (pid_ == 0) {
            ::dup2(input[0], 0);
            int err = ::open(log_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            ::dup2(err, 2);
            ::dup2(err, 1);
            ::setenv("BEAMORA_CONTROL_PORT", std::to_string(control_port_).c_str(), 1);
            ::setenv("BEAMORA_DATA_PORT", std::to_string(data_port_).c_str(), 1);
            for (const auto& [name, value] : environment) ::setenv(name.c_str(), value.c_str(), 1);
            std::vector<char*> argv{const_cast<char*>(BEAMORA_RECEIVER_PROGRAM)};
            for (auto& argument : arguments) argv.push_back(argument.data());
            argv.push_back(nullptr);
            ::execv(argv[0], argv.data());
            ::_exit(127);
        }
        ::close(input[0]);
        stdin_.reset(input[1]);
    }
    ~Program() {
        if (pid_ > 0) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, nullptr, 0);
        }
    }
    uint16_t control_port() const { return control_port_; }
    uint16_t data_port() const { return data_port_; }

    // Waits until the control port accepts connections.
    bool WaitReady() {
        for (int i = 0; i < 100; ++i) {
            if (test::TcpClient(control_port_).Connected()) return true;
            std::this_thread::sleep_for(50ms);
        }
        return false;
    }
    void Command(const std::string& line) {
        std::string text = line + "\n";
        EXPECT_EQ(::write(stdin_.get(), text.data(), text.size()),
                  static_cast<ssize_t>(text.size()));
    }
    // Waits for the program to end; its exit status, or -1 when it did not end within 10 s.
    int Wait() {
        for (int i = 0; i < 200; ++i) {
            int status = 0;
            if (::waitpid(pid_, &status, WNOHANG) == pid_) {
                pid_ = -1;
                return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            }
            std::this_thread::sleep_for(50ms);
        }
        return -1;
    }
    void Signal(int number) { ::kill(pid_, number); }
    std::string Log() const {
        std::ifstream in(log_);
        std::stringstream text;
        text << in.rdbuf();
        return text.str();
    }
    // Waits until the log holds text.
    bool WaitForLog(const std::string& text) {
        for (int i = 0; i < 100; ++i) {
            if (Log().find(text) != std::string::npos) return true;
            std::this_thread::sleep_for(50ms);
        }
        return false;
    }

  private:
    uint16_t control_port_;
    uint16_t data_port_;
    std::string log_;
    pid_t pid_ = -1;
    platform::UniqueFd stdin_;
};

int RunToEnd(const TempDir& dir, std::vector<std::string> arguments, std::string* log) {
    Program program(dir, std::move(arguments));
    int status = program.Wait();
    *log = program.Log();
    return status;
}

TEST(Program, UsageAndRefusedOptions) {
    TempDir dir;
    std::string log;
    EXPECT_EQ(RunToEnd(dir, {"--help"}, &log), 0);
    EXPECT_NE(log.find("usage: beamora-receiver"), std::string::npos);
    EXPECT_EQ(RunToEnd(dir, {"--version"}, &log), 0);
    EXPECT_EQ(log, std::string("beamora-receiver ") + platform::kVersionText + "\n");
    EXPECT_EQ(RunToEnd(dir, {"--mode", "1024x768x8"}, &log), 2);
    EXPECT_NE(log.find("--mode needs WxHxBPP"), std::string::npos) << log;
    EXPECT_EQ(RunToEnd(dir, {"--code", "0000"}, &log), 2);
    EXPECT_EQ(RunToEnd(dir, {"--code", "12345"}, &log), 2);
    EXPECT_EQ(RunToEnd(dir, {"--bind", "projector"}, &log), 2);
    EXPECT_NE(log.find("--bind needs a dotted IPv4 address"), std::string::npos) << log;
    EXPECT_EQ(RunToEnd(dir, {"--bogus"}, &log), 2);
    EXPECT_NE(log.find("unknown option \"--bogus\""), std::string::npos) << log;
}

TEST(Program, ControlPortInUseIsAClearError) {
    TempDir dir;
    Program holder(dir, {"--beacon-to", "127.0.0.1"});
    ASSERT_TRUE(holder.WaitReady());
    // A second receiver on the same ports cannot listen.
    Program second(dir, {"--beacon-to", "127.0.0.1"}, holder.control_port(), holder.data_port(),
                   "second.txt");
    EXPECT_EQ(second.Wait(), 1);
    EXPECT_NE(
        second.Log().find("cannot listen on TCP port " + std::to_string(holder.control_port())),
        std::string::npos)
        << second.Log();
    holder.Signal(SIGTERM);
    EXPECT_EQ(holder.Wait(), 0);
}

// Receivers bound to different loopback addresses share the port numbers, take no connection on
// another address, and beacon from their own address, which is where presenters connect.
TEST(Program, BoundReceiversShareThePortsAndBeaconFromTheirAddress) {
    TempDir dir;
    const uint16_t control = FreeTcpPort(), data = FreeTcpPort();
    platform::UniqueFd udp(::socket(AF_INET, SOCK_DGRAM, 0));
    {
        sockaddr_in local{};
        local.sin_family = AF_INET;
        local.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        local.sin_port = htons(control);
        ASSERT_EQ(::bind(udp.get(), reinterpret_cast<sockaddr*>(&local), sizeof local), 0);
    }
    Program two(dir, {"--bind", "127.0.0.2", "--beacon-to", "127.0.0.1", "--name", "Two"}, control,
                data, "two.txt");
    Program three(dir, {"--bind", "127.0.0.3", "--beacon-to", "127.0.0.1", "--name", "Three"},
                  control, data, "three.txt");
    for (const char* address : {"127.0.0.2", "127.0.0.3"}) {
        in_addr to{};
        ::inet_pton(AF_INET, address, &to);
        bool connected = false;
        for (int i = 0; i < 100 && !connected; ++i) {
            connected =
                test::TcpClient(control, to).Connected() && test::TcpClient(data, to).Connected();
            if (!connected) std::this_thread::sleep_for(50ms);
        }
        EXPECT_TRUE(connected) << address << "\n" << two.Log() << three.Log();
    }
    EXPECT_FALSE(test::TcpClient(control).Connected());

    std::set<std::string> heard;
    for (int i = 0; i < 8 && heard.size() < 2; ++i) {
        if (platform::WaitReadable(udp.get(), 1500) != 1) break;
        char beacon[64] = {};
        sockaddr_in from{};
        socklen_t size = sizeof from;
        ASSERT_EQ(::recvfrom(udp.get(), beacon, sizeof beacon, 0,
                             reinterpret_cast<sockaddr*>(&from), &size),
                  32);
        char text[16] = {};
        ::inet_ntop(AF_INET, &from.sin_addr, text, sizeof text);
        heard.insert(std::string(beacon) + " from " + text);
    }
    EXPECT_EQ(heard, (std::set<std::string>{"Two from 127.0.0.2", "Three from 127.0.0.3"}));
    EXPECT_NE(two.Log().find("on 127.0.0.2, control port " + std::to_string(control)),
              std::string::npos)
        << two.Log();
}

// The window runs on the GUI thread while the network thread decodes; quit ends both.
TEST(Program, WindowShowsThePictureAndQuitEndsIt) {
    TempDir dir;
    Program program(dir, {"--window", "--mode", "64x48x32", "--beacon-to", "127.0.0.1", "--stats"},
                    0, 0, "stderr.txt", {{"QT_QPA_PLATFORM", "offscreen"}});
    ASSERT_TRUE(program.WaitReady()) << program.Log();
    test::TcpClient data(program.data_port());
    ASSERT_TRUE(data.Send(test::EncodeRectangle(test::Screen(64, 48, 3), 32, 0, 0, 64, 48, 16)));
    data.Close();
    ASSERT_TRUE(program.WaitForLog("ended (closed by the presenter) after 3 units"));
    ASSERT_TRUE(program.WaitForLog("stats: "));
    std::string snapshot = dir.File("window.png");
    program.Command("snapshot " + snapshot);
    program.Command("quit");
    EXPECT_EQ(program.Wait(), 0) << program.Log();
    EXPECT_FALSE(QImage(QString::fromStdString(snapshot)).isNull()) << program.Log();
}

// The whole path: beacon, login with a code, a projection with a cursor, a refused unit and the
// next connection, and the snapshot at exit showing exactly what was sent.
TEST(Program, PresenterWithCodeEndsInAnExactSnapshot) {
    TempDir dir;
    const std::string snapshot = dir.File("out.png");
    Program program(dir, {"--mode", "72x40x16", "--code", "1234", "--snapshot", snapshot,
                          "--beacon-to", "127.0.0.1", "--name", "Projector"});
    // Beacons go to UDP on the control port's number.
    platform::UniqueFd udp(::socket(AF_INET, SOCK_DGRAM, 0));
    {
        sockaddr_in local{};
        local.sin_family = AF_INET;
        local.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        local.sin_port = htons(program.control_port());
        ASSERT_EQ(::bind(udp.get(), reinterpret_cast<sockaddr*>(&local), sizeof local), 0);
    }
    ASSERT_TRUE(program.WaitReady()) << program.Log();
    ASSERT_EQ(platform::WaitReadable(udp.get(), 3000), 1);
    char beacon[64] = {};
    ASSERT_EQ(::recv(udp.get(), beacon, sizeof beacon, 0), 32);
    EXPECT_STREQ(beacon, "Projector");

    {
        test::Presenter first(program.control_port());
        EXPECT_EQ(first.Version("1.0.0"), SERVER_VERSION_OK);
        EXPECT_EQ(first.LastReply().PayloadText(0, 124), "72x40x16");
        EXPECT_EQ(first.Login(0), SERVER_CODE_ERROR);
    }
    test::Presenter presenter(program.control_port());
    ASSERT_EQ(presenter.Login(1234), SERVER_CODE_OK);
    ASSERT_EQ(presenter.Ask(MSG_START_REQUEST), SERVER_START);
    ASSERT_TRUE(presenter.PictureSize(72, 40));

    // A malformed unit closes its data connection ...
    {
        test::TcpClient bad(program.data_port());
        ASSERT_TRUE(bad.Send(test::StripUnit(0, 0, 0, 16, Bytes(8, 0))));
        EXPECT_TRUE(bad.ClosedByPeer());
    }
    ASSERT_TRUE(program.WaitForLog("refused a unit"));
    // ... and the next one is served: the screen, then a white 2 x 2 block as the cursor.
    test::Screen screen(72, 40, 12);
    test::TcpClient data(program.data_port());
    ASSERT_TRUE(data.Send(test::EncodeRectangle(screen, 16, 0, 0, 72, 40, 16)));
    Bytes cursor = test::CursorHeader(kUnitMonoCursor, 10, 40 - 5 - 32, 32, 32, 0);
    Bytes masks(256, 0x00);
    std::fill_n(masks.begin(), 128, 0xFF);  // AND all 1, XOR all 0: transparent ...
    masks[0] = 0x3F;                        // ... but for the 2 x 2 top-left block ...
    masks[4] = 0x3F;
    masks[128] = 0xC0;  // ... which is white
    masks[132] = 0xC0;
    cursor.insert(cursor.end(), masks.begin(), masks.end());
    ASSERT_TRUE(data.Send(cursor));
    ASSERT_TRUE(presenter.SendMessage(MSG_STOP_REQUEST));
    data.Close();
    ASSERT_TRUE(program.WaitForLog("ended (closed by the presenter)")) << program.Log();

    program.Signal(SIGTERM);
    ASSERT_EQ(program.Wait(), 0) << program.Log();
    QImage image(QString::fromStdString(snapshot));
    ASSERT_FALSE(image.isNull()) << program.Log();
    ASSERT_EQ(image.width(), 72);
    ASSERT_EQ(image.height(), 40);
    for (int row = 0; row < 40; ++row) {
        for (int x = 0; x < 72; ++x) {
            bool under_cursor = x >= 10 && x < 12 && row >= 5 && row < 7;
            uint32_t expected = under_cursor ? 0xFFFFFFFFu : test::Quantize(screen.At(x, row), 16);
            ASSERT_EQ(image.pixel(x, row), expected) << x << "," << row;
        }
    }
    EXPECT_NE(program.Log().find("snapshot: wrote " + snapshot), std::string::npos);
}

}  // namespace
}  // namespace receiver
