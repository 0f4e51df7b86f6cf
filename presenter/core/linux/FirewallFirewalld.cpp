// The firewall backend for firewalld, over Qt D-Bus on the system bus. The profile is firewalld's
// default zone; "the beacons get through" means the zone has the UDP port open (queryPort); adding
// opens it in the runtime configuration only (addPort with timeout 0): it lasts until firewalld
// reloads or restarts, and is never written to the permanent configuration. firewalld rules name
// ports, not programs, so the program and rule-name parts (kRuleProgram, kRuleName) and the policy
// part (kPolicy) never fail here.
//
// firewalld is only asked when it already runs: Initialize checks that its bus name has an owner
// (NameHasOwner) rather than calling it, so the step never starts a stopped firewall through bus
// activation, nor waits for one to start. polkit decides whether this user may open the port;
// the calls never allow an interactive authentication, so a refusal comes back at once instead of
// a password dialog.
//
// Every call has a 500 ms timeout. Connecting to the bus is not a call: a missing socket fails at
// once; only a bus daemon that accepts the connection and then never answers its greeting could
// hold the step longer (libdbus's own limit).
#include <QByteArray>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QString>
#include <QVariant>
#include <atomic>
#include <optional>

#include "presenter/core/Firewall.h"

namespace beamora {
namespace {

constexpr int kCallTimeoutMs = 500;

const QString kBusName = QStringLiteral("org.freedesktop.DBus");
const QString kBusPath = QStringLiteral("/org/freedesktop/DBus");
const QString kFirewalldName = QStringLiteral("org.fedoraproject.FirewallD1");
const QString kFirewalldPath = QStringLiteral("/org/fedoraproject/FirewallD1");
const QString kZoneInterface = QStringLiteral("org.fedoraproject.FirewallD1.zone");
// The error firewalld returns for its own refusals; the message starts with the reason's code.
const QString kFirewalldError = QStringLiteral("org.fedoraproject.FirewallD1.Exception");

// DBUS_SYSTEM_BUS_ADDRESS when set (read at each connection, so tests can point it at a bus of
// their own), else the system bus's well-known socket.
QString SystemBusAddress() {
    const QByteArray address = qgetenv("DBUS_SYSTEM_BUS_ADDRESS");
    return address.isEmpty() ? QStringLiteral("unix:path=/var/run/dbus/system_bus_socket")
                             : QString::fromLocal8Bit(address);
}

// The result code for an error reply; see the table in Firewall.h.
FirewallCode CodeOf(const QDBusMessage& reply) {
    const QString name = reply.errorName();
    const QString text = reply.errorMessage();
    struct Known {
        const char* name;
        FirewallCode code;
    };
    static constexpr Known kBusErrors[] = {
        {"ServiceUnknown", kFirewallNoService},
        {"NameHasNoOwner", kFirewallNoService},
        {"NoReply", kFirewallUnavailable},
        {"Timeout", kFirewallUnavailable},
        {"TimedOut", kFirewallUnavailable},
        {"Disconnected", kFirewallUnavailable},
        {"NoServer", kFirewallUnavailable},
        {"NoMemory", kFirewallOutOfMemory},
        {"UnknownMethod", kFirewallNoInterface},
        {"UnknownInterface", kFirewallNoInterface},
        {"UnknownObject", kFirewallNoInterface},
        {"AccessDenied", kFirewallAccessDenied},
        {"AuthFailed", kFirewallAccessDenied},
        {"InteractiveAuthorizationRequired", kFirewallAccessDenied},
    };
    for (const Known& known : kBusErrors) {
        if (name == QStringLiteral("org.freedesktop.DBus.Error.") + QLatin1String(known.name)) {
            return known.code;
        }
    }
    // polkit's refusal, as firewalld (…FirewallD1.NotAuthorizedException), older firewalld
    // through python-slip, or polkit itself name it.
    if (name.contains(QLatin1String("NotAuthorized"))) return kFirewallAccessDenied;
    if (name == kFirewalldError && (text.startsWith(QLatin1String("ACCESS_DENIED")) ||
                                    text.startsWith(QLatin1String("NOT_AUTHORIZED")))) {
        return kFirewallAccessDenied;
    }
    return kFirewallFailed;
}

bool IsError(const QDBusMessage& reply) {
    return reply.type() != QDBusMessage::ReplyMessage;
}

// The reply's first value when it has `type`, else an invalid QVariant.
QVariant FirstValue(const QDBusMessage& reply, QMetaType::Type type) {
    const QVariant value = reply.arguments().value(0);
    return value.typeId() == type ? value : QVariant();
}

// A private connection to the system bus, closed when the object goes. Private, so that the step
// neither depends on nor changes the connection the rest of the program may share.
class BusConnection {
  public:
    BusConnection()
        : name_(QStringLiteral("beamora-firewall-%1").arg(next_id_.fetch_add(1))),
          connection_(QDBusConnection::connectToBus(SystemBusAddress(), name_)) {}
    ~BusConnection() { QDBusConnection::disconnectFromBus(name_); }
    BusConnection(const BusConnection&) = delete;
    BusConnection& operator=(const BusConnection&) = delete;

    bool Connected() const { return connection_.isConnected(); }

    // A blocking method call, bounded by kCallTimeoutMs; a timeout comes back as a NoReply error.
    QDBusMessage Call(const QString& service, const QString& path, const QString& interface,
                      const QString& method, const QVariantList& arguments) {
        QDBusMessage call = QDBusMessage::createMethodCall(service, path, interface, method);
        call.setArguments(arguments);
        call.setInteractiveAuthorizationAllowed(false);
        return connection_.call(call, QDBus::Block, kCallTimeoutMs);
    }

  private:
    static inline std::atomic<unsigned> next_id_{0};
    QString name_;
    QDBusConnection connection_;
};

class Firewalld final : public FirewallBackend {
  public:
    explicit Firewalld(uint16_t port) : port_(QString::number(port)) {}

    FirewallStatus Initialize() override {
        bus_.emplace();
        if (!bus_->Connected()) return {kFirewallNoService, FirewallStage::kService};

        QDBusMessage reply = bus_->Call(kBusName, kBusPath, kBusName,
                                        QStringLiteral("NameHasOwner"), {kFirewalldName});
        if (IsError(reply)) return {CodeOf(reply), FirewallStage::kService};
        const QVariant running = FirstValue(reply, QMetaType::Bool);
        if (!running.isValid()) return {kFirewallUnexpected, FirewallStage::kService};
        if (!running.toBool()) return {kFirewallNoService, FirewallStage::kService};

        reply = bus_->Call(kFirewalldName, kFirewalldPath, kFirewalldName,
                           QStringLiteral("getDefaultZone"), {});
        if (IsError(reply)) return {CodeOf(reply), FirewallStage::kProfile};
        zone_ = FirstValue(reply, QMetaType::QString).toString();
        if (zone_.isEmpty()) return {kFirewallUnexpected, FirewallStage::kProfile};
        return {};
    }

    FirewallStatus IsEnabled(bool* enabled) override {
        const QDBusMessage reply =
            bus_->Call(kFirewalldName, kFirewalldPath, kZoneInterface, QStringLiteral("queryPort"),
                       {zone_, port_, QStringLiteral("udp")});
        if (IsError(reply)) return {CodeOf(reply), FirewallStage::kRules};
        const QVariant open = FirstValue(reply, QMetaType::Bool);
        if (!open.isValid()) return {kFirewallUnexpected, FirewallStage::kRuleState};
        *enabled = open.toBool();
        return {};
    }

    FirewallStatus Add() override {
        // The zone interface changes the runtime configuration only; timeout 0 sets no expiry of
        // its own, so the port stays open until firewalld reloads or restarts.
        const QDBusMessage reply =
            bus_->Call(kFirewalldName, kFirewalldPath, kZoneInterface, QStringLiteral("addPort"),
                       {zone_, port_, QStringLiteral("udp"), QVariant::fromValue<int>(0)});
        if (!IsError(reply)) return {};
        // Opened by someone else since IsEnabled asked: what this step wanted.
        if (reply.errorName() == kFirewalldError &&
            reply.errorMessage().startsWith(QLatin1String("ALREADY_ENABLED"))) {
            return {};
        }
        return {CodeOf(reply), FirewallStage::kRuleAdd};
    }

  private:
    QString port_;
    QString zone_;
    std::optional<BusConnection> bus_;
};

}  // namespace

std::unique_ptr<FirewallBackend> MakeFirewallBackend(uint16_t port) {
    return std::make_unique<Firewalld>(port);
}

}  // namespace beamora
