// The firewalld backend: its calls and their answers against a fake firewalld on a private bus (a
// dbus-daemon each test starts, reached through DBUS_SYSTEM_BUS_ADDRESS), and the whole step on
// this machine's own system bus when no firewalld runs there.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusVirtualObject>
#include <QStringList>
#include <QThread>
#include <cerrno>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <optional>
#include <string>

#include "presenter/core/Firewall.h"
#include "presenter/tests/FirewallTestSupport.h"

namespace beamora {
namespace {

// The full path of `name` in PATH; empty when it is not there.
std::string FindProgram(const std::string& name) {
    const char* path = getenv("PATH");
    std::string dirs = path != nullptr ? path : "/usr/bin:/bin";
    size_t start = 0;
    while (start <= dirs.size()) {
        size_t end = dirs.find(':', start);
        if (end == std::string::npos) end = dirs.size();
        const std::string candidate = dirs.substr(start, end - start) + "/" + name;
        if (end > start && access(candidate.c_str(), X_OK) == 0) return candidate;
        start = end + 1;
    }
    return {};
}

// A dbus-daemon of the test's own, listening on a socket in a scratch directory: anyone may own
// any name and call anything. Stopped, and its directory removed, with the object.
class PrivateBus {
  public:
    PrivateBus() {
        std::string pattern = "/tmp/beamora-bus-XXXXXX";
        if (mkdtemp(pattern.data()) == nullptr) return;
        dir_ = pattern;
        const std::string config = dir_ + "/bus.conf";
        std::ofstream(config) << "<busconfig><type>session</type><listen>unix:path=" << dir_
                              << "/socket</listen><auth>EXTERNAL</auth>"
                                 "<policy context=\"default\"><allow send_destination=\"*\"/>"
                                 "<allow receive_sender=\"*\"/><allow own=\"*\"/></policy>"
                                 "</busconfig>\n";
        // The daemon writes its address, once it accepts clients, on descriptor 3; it gets
        // SIGTERM when the test process dies, so a crashed test leaves no daemon behind.
        const std::string program = FindProgram("dbus-daemon");
        if (program.empty()) return;
        const std::string config_arg = "--config-file=" + config;
        int fds[2];
        if (pipe2(fds, O_CLOEXEC) != 0) return;
        const pid_t parent = getpid();
        pid_ = fork();
        if (pid_ == 0) {
            prctl(PR_SET_PDEATHSIG, SIGTERM);
            if (getppid() != parent) _exit(127);
            if (fds[1] == 3) {
                fcntl(3, F_SETFD, 0);
            } else {
                dup2(fds[1], 3);  // the copy is not closed on exec
            }
            const int null = open("/dev/null", O_WRONLY);
            dup2(null, 1);
            dup2(null, 2);
            execl(program.c_str(), program.c_str(), config_arg.c_str(), "--nofork", "--nopidfile",
                  "--print-address=3", static_cast<char*>(nullptr));
            _exit(127);
        }
        close(fds[1]);
        std::string address;
        pollfd p{fds[0], POLLIN, 0};
        while (pid_ > 0 && poll(&p, 1, 10000) > 0) {
            char c;
            if (read(fds[0], &c, 1) != 1 || c == '\n') break;
            address += c;
        }
        close(fds[0]);
        address_ = address;
    }
    ~PrivateBus() {
        if (pid_ > 0) {
            kill(pid_, SIGTERM);
            while (waitpid(pid_, nullptr, 0) < 0 && errno == EINTR) {
            }
        }
        std::error_code ignored;
        if (!dir_.empty()) std::filesystem::remove_all(dir_, ignored);
    }
    PrivateBus(const PrivateBus&) = delete;
    PrivateBus& operator=(const PrivateBus&) = delete;

    // Empty when the daemon did not start.
    const std::string& Address() const { return address_; }
    const std::string& Directory() const { return dir_; }

  private:
    std::string dir_;
    std::string address_;
    pid_t pid_ = -1;
};

// How the fake firewalld answers queryPort.
enum class Query { kClosed, kOpen, kNoAnswer };

// How the fake firewalld answers.
struct FakeScript {
    QString zone_error;  // getDefaultZone fails with this error name when not empty
    Query query;
    QString add_error;  // addPort fails with this error name and add_error_text when not empty
    QString add_error_text;
};

// firewalld's bus name and object with the three methods the backend uses, answering from a
// script and recording each call as "method signature arguments...". Answers on its own thread, so
// the backend's blocking calls from the test's thread get their answers.
class FakeFirewalld final : public QDBusVirtualObject {
  public:
    explicit FakeFirewalld(const FakeScript& script) : script_(script) {}

    QString introspect(const QString&) const override { return {}; }

    bool handleMessage(const QDBusMessage& message, const QDBusConnection& connection) override {
        QStringList call{message.member()};
        if (!message.signature().isEmpty()) call << message.signature();
        for (const QVariant& argument : message.arguments()) call << argument.toString();
        {
            std::lock_guard<std::mutex> lock(mutex_);
            calls_ << call.join(' ');
        }
        QDBusMessage answer;
        if (message.member() == QLatin1String("getDefaultZone")) {
            answer = script_.zone_error.isEmpty()
                         ? message.createReply(QStringLiteral("home"))
                         : message.createErrorReply(script_.zone_error, QStringLiteral("no zone"));
        } else if (message.member() == QLatin1String("queryPort")) {
            if (script_.query == Query::kNoAnswer) return true;
            answer = message.createReply(script_.query == Query::kOpen);
        } else if (message.member() == QLatin1String("addPort")) {
            answer = script_.add_error.isEmpty()
                         ? message.createReply(QStringLiteral("home"))
                         : message.createErrorReply(script_.add_error, script_.add_error_text);
        } else {
            answer = message.createErrorReply(
                QStringLiteral("org.freedesktop.DBus.Error.UnknownMethod"), message.member());
        }
        connection.send(answer);
        return true;
    }

    QString Calls() const {
        std::lock_guard<std::mutex> lock(mutex_);
        return calls_.join(QStringLiteral("; "));
    }

  private:
    FakeScript script_;
    mutable std::mutex mutex_;
    QStringList calls_;
};

// Points DBUS_SYSTEM_BUS_ADDRESS at `address` for the object's life.
class SystemBusAddress {
  public:
    explicit SystemBusAddress(const std::string& address) {
        if (const char* old = getenv("DBUS_SYSTEM_BUS_ADDRESS")) previous_ = old;
        setenv("DBUS_SYSTEM_BUS_ADDRESS", address.c_str(), 1);
    }
    ~SystemBusAddress() {
        if (previous_) {
            setenv("DBUS_SYSTEM_BUS_ADDRESS", previous_->c_str(), 1);
        } else {
            unsetenv("DBUS_SYSTEM_BUS_ADDRESS");
        }
    }

  private:
    std::optional<std::string> previous_;
};

constexpr uint16_t kPort = 16566;
const char kPath[] = "/usr/bin/beamora";

// What the backend finds at DBUS_SYSTEM_BUS_ADDRESS.
enum class Bus { kNone, kWithoutFirewalld, kWithFirewalld };

struct Case {
    const char* name;
    Bus bus;
    FakeScript script;
    const char* calls;
    const char* lines;
};

TEST(FirewalldBackend, AsksAndOpensTheBeaconPortThroughTheBus) {
    const QString kNotAuthorized =
        QStringLiteral("org.fedoraproject.FirewallD1.NotAuthorizedException");
    const QString kFirewalldError = QStringLiteral("org.fedoraproject.FirewallD1.Exception");
    const char* const kQuery = "getDefaultZone; queryPort sss home 16566 udp";
    const char* const kQueryAndAdd =
        "getDefaultZone; queryPort sss home 16566 udp; addPort sssi home 16566 udp 0";
    const Case cases[] = {
        {"no bus",
         Bus::kNone,
         {{}, Query::kClosed, {}, {}},
         "",
         "CoCreateInstance failed: 0x80040154\n"
         "WindowsFirewallInitialize failed: 0x80040154\n"},
        {"no firewalld on the bus",
         Bus::kWithoutFirewalld,
         {{}, Query::kClosed, {}, {}},
         "",
         "CoCreateInstance failed: 0x80040154\n"
         "WindowsFirewallInitialize failed: 0x80040154\n"},
        {"no default zone",
         Bus::kWithFirewalld,
         {kFirewalldError, Query::kClosed, {}, {}},
         "getDefaultZone",
         "get_CurrentProfile failed: 0x80004005\n"
         "WindowsFirewallInitialize failed: 0x80004005\n"},
        {"query never answered",
         Bus::kWithFirewalld,
         {{}, Query::kNoAnswer, {}, {}},
         kQuery,
         "get_AuthorizedApplications failed: 0x800706ba\n"
         "WindowsFirewallAppIsEnabled failed: 0x800706ba\n"},
        {"port open",
         Bus::kWithFirewalld,
         {{}, Query::kOpen, {}, {}},
         kQuery,
         "Authorized application /usr/bin/beamora is enabled in the firewall.\n"},
        {"port closed, opened",
         Bus::kWithFirewalld,
         {{}, Query::kClosed, {}, {}},
         kQueryAndAdd,
         "Authorized application /usr/bin/beamora is disabled in the firewall.\n"
         "Authorized application /usr/bin/beamora is now enabled in the firewall.\n"},
        {"polkit refuses",
         Bus::kWithFirewalld,
         {{}, Query::kClosed, kNotAuthorized, QStringLiteral("Not Authorized")},
         kQueryAndAdd,
         "Authorized application /usr/bin/beamora is disabled in the firewall.\n"
         "Add failed: 0x80070005\n"
         "WindowsFirewallAddApp failed: 0x80070005\n"},
        {"opened meanwhile",
         Bus::kWithFirewalld,
         {{}, Query::kClosed, kFirewalldError, QStringLiteral("ALREADY_ENABLED: '16566:udp'")},
         kQueryAndAdd,
         "Authorized application /usr/bin/beamora is disabled in the firewall.\n"
         "Authorized application /usr/bin/beamora is now enabled in the firewall.\n"},
        {"lockdown refuses",
         Bus::kWithFirewalld,
         {{},
          Query::kClosed,
          kFirewalldError,
          QStringLiteral("ACCESS_DENIED: lockdown is enabled")},
         kQueryAndAdd,
         "Authorized application /usr/bin/beamora is disabled in the firewall.\n"
         "Add failed: 0x80070005\n"
         "WindowsFirewallAddApp failed: 0x80070005\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        PrivateBus bus;
        ASSERT_FALSE(bus.Address().empty()) << "dbus-daemon did not start (Debian: dbus-daemon)";
        // No bus: a socket path in the bus's directory that no daemon listens on.
        const SystemBusAddress system_bus(
            c.bus == Bus::kNone ? "unix:path=" + bus.Directory() + "/none" : bus.Address());

        // The fake's connection and object live on a thread of their own.
        QThread service_thread;
        service_thread.start();
        FakeFirewalld fake(c.script);
        fake.moveToThread(&service_thread);
        const QString service_name = QStringLiteral("fake-firewalld");
        {
            QDBusConnection service =
                QDBusConnection::connectToBus(QString::fromStdString(bus.Address()), service_name);
            ASSERT_TRUE(service.isConnected());
            if (c.bus == Bus::kWithFirewalld) {
                ASSERT_TRUE(service.registerVirtualObject(
                    QStringLiteral("/org/fedoraproject/FirewallD1"), &fake));
                ASSERT_TRUE(
                    service.registerService(QStringLiteral("org.fedoraproject.FirewallD1")));
            }
        }

        test::CapturedOutput out;
        {
            auto backend = MakeFirewallBackend(kPort);
            AuthorizeInFirewall(*backend, kPath, out.File());
        }
        EXPECT_EQ(out.Text(), c.lines);
        EXPECT_EQ(fake.Calls().toStdString(), c.calls);

        QDBusConnection::disconnectFromBus(service_name);
        service_thread.quit();
        service_thread.wait();
    }
}

// The program's own call on this machine's system bus, where none or no firewalld runs.
TEST(FirewalldBackend, ThisMachineWithoutFirewalld) {
    QDBusConnection system = QDBusConnection::systemBus();
    if (system.isConnected() &&
        system.interface()->isServiceRegistered(QStringLiteral("org.fedoraproject.FirewallD1"))) {
        GTEST_SKIP() << "firewalld runs on this machine's system bus";
    }
    test::CapturedOutput out;
    AuthorizeInFirewall(out.File());
    EXPECT_EQ(out.Text(),
              "CoCreateInstance failed: 0x80040154\n"
              "WindowsFirewallInitialize failed: 0x80040154\n");
}

}  // namespace
}  // namespace beamora
