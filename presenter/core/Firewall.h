// The presenter's firewall step: run once at start-up, it makes sure the receivers' UDP beacons
// (port platform::ControlPort(), 6566 by default) get through this machine's firewall to this
// program, and writes what happened to standard output. Nothing is shown to the user, and the
// program always goes on, whatever the step found.
//
// The step (Firewall.cpp) is the same everywhere: it runs a backend's three operations in order and
// writes one diagnostic line per event. The backend is chosen by CMake (presenter/Firewall.cmake):
// linux/FirewallFirewalld.cpp talks to firewalld on the system bus when Qt6DBus is found;
// FirewallNone.cpp, where no firewall service is ever reachable, otherwise.
//
// The diagnostic lines, each ending in a line feed (<code>: a result code below, in 8 lowercase hex
// digits; <path>: the executable's path):
//   Initialize failed at its set-up part: only
//     CoInitializeEx failed: 0x<code>
//   Initialize failed at another part: that part's line, then the step's
//     CoCreateInstance failed: 0x<code>            (no firewall service reachable)
//     get_LocalPolicy failed: 0x<code>             (the service's policy unreadable)
//     get_CurrentProfile failed: 0x<code>          (the profile, firewalld's default zone)
//     WindowsFirewallInitialize failed: 0x<code>
//   IsEnabled failed: that part's line, then the step's; nothing is added
//     get_AuthorizedApplications failed: 0x<code>  (asking whether the beacons get through)
//     get_Enabled failed: 0x<code>                 (reading the answer)
//     WindowsFirewallAppIsEnabled failed: 0x<code>
//   IsEnabled answered yes, or no (the step then adds):
//     Authorized application <path> is enabled in the firewall.
//     Authorized application <path> is disabled in the firewall.
//   Add failed: that part's line, then the step's
//     CoCreateInstance / put_ProcessImageFileName / put_Name / Add failed: 0x<code>
//     WindowsFirewallAddApp failed: 0x<code>
//   Add succeeded:
//     Authorized application <path> is now enabled in the firewall.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>

namespace beamora {

// A result code in the form of a 32-bit HRESULT: failed when its top bit is set.
using FirewallCode = uint32_t;

inline constexpr FirewallCode kFirewallOk = 0;
// 0x80040154 (class not registered): no firewall service. firewalld: no system bus could be
// reached, or no process owns firewalld's bus name, or it went away between two calls
// (ServiceUnknown, NameHasNoOwner).
inline constexpr FirewallCode kFirewallNoService = 0x80040154;
// 0x80070005 (access denied): this user may not. firewalld: polkit refused (an error whose name
// holds NotAuthorized, or InteractiveAuthorizationRequired), the bus's policy refused the call
// (AccessDenied), or firewalld's lockdown refused it (its ACCESS_DENIED / NOT_AUTHORIZED errors).
inline constexpr FirewallCode kFirewallAccessDenied = 0x80070005;
// 0x8007000E (out of memory): the bus's NoMemory error, or std::bad_alloc inside an operation.
inline constexpr FirewallCode kFirewallOutOfMemory = 0x8007000E;
// 0x800706BA (server unavailable): no answer within the call's timeout, or the bus connection
// dropped during the step (NoReply, Timeout, TimedOut, Disconnected).
inline constexpr FirewallCode kFirewallUnavailable = 0x800706BA;
// 0x80004002 (no such interface): the service lacks the method asked for (an older or different
// firewalld: UnknownMethod, UnknownInterface, UnknownObject).
inline constexpr FirewallCode kFirewallNoInterface = 0x80004002;
// 0x8000FFFF (unexpected): an answer of the wrong type, or an empty default zone.
inline constexpr FirewallCode kFirewallUnexpected = 0x8000FFFF;
// 0x80004005 (general failure): any other error (firewalld's INVALID_ZONE, RUNNING_BUT_FAILED,
// ...; any other exception inside an operation).
inline constexpr FirewallCode kFirewallFailed = 0x80004005;

inline constexpr bool FirewallFailed(FirewallCode code) {
    return (code & 0x80000000u) != 0;
}

// The part of an operation that failed; it picks the line the step writes.
enum class FirewallStage {
    kSetUp,        // "CoInitializeEx failed": the backend's own set-up
    kService,      // "CoCreateInstance failed": reaching the firewall service or making a rule
    kPolicy,       // "get_LocalPolicy failed": the service's policy
    kProfile,      // "get_CurrentProfile failed": the profile the rules apply to
    kRules,        // "get_AuthorizedApplications failed": asking whether the beacons get through
    kRuleState,    // "get_Enabled failed": reading the answer
    kRuleProgram,  // "put_ProcessImageFileName failed": naming the program in a new rule
    kRuleName,     // "put_Name failed": naming a new rule
    kRuleAdd,      // "Add failed": adding the rule
};

// An operation's outcome: `code`, and when it failed, the part that failed.
struct FirewallStatus {
    FirewallCode code = kFirewallOk;
    FirewallStage stage = FirewallStage::kSetUp;

    bool Failed() const { return FirewallFailed(code); }
};

// A firewall the step can ask and change. An implementation keeps what Initialize opened (the
// connection, the profile) until it is destroyed. Called on one thread only, in the order below.
// Every call an operation makes to the firewall is bounded (firewalld: 500 ms each). Exceptions
// stay inside the step, which turns std::bad_alloc into kFirewallOutOfMemory and anything else
// into kFirewallFailed.
class FirewallBackend {
  public:
    virtual ~FirewallBackend() = default;

    // Reaches the firewall service and opens the profile its rules apply to. Fails at kSetUp (the
    // step then writes that one line), or at kService, kPolicy or kProfile.
    virtual FirewallStatus Initialize() = 0;

    // Whether the beacons get through the profile now: *enabled. Only after Initialize succeeded.
    // Fails at kRules or kRuleState; *enabled then means nothing.
    virtual FirewallStatus IsEnabled(bool* enabled) = 0;

    // Lets the beacons through, for now and not permanently (firewalld: in the runtime
    // configuration, until firewalld reloads or restarts). Only after IsEnabled answered false.
    // Fails at kService, kRuleProgram, kRuleName or kRuleAdd.
    virtual FirewallStatus Add() = 0;
};

// The backend CMake chose, for UDP datagrams to `port`. Does no work yet: that is Initialize.
// firewalld: one private connection to the system bus (DBUS_SYSTEM_BUS_ADDRESS when set, else
// unix:path=/var/run/dbus/system_bus_socket), made by Initialize and closed with the backend; each
// call has a 500 ms timeout and never asks polkit for an interactive authentication. Needs a
// QCoreApplication (Qt D-Bus's rule). The "none" backend fails Initialize at kService with
// kFirewallNoService.
std::unique_ptr<FirewallBackend> MakeFirewallBackend(uint16_t port);

// Makes sure this program may receive the receivers' beacons; writes its diagnostic lines to `out`
// (stdout in the program) and flushes it. UI thread, once, at start-up, after the QApplication is
// made and before the client library starts; returns within about a second whatever happens (each
// bus call is bounded, and the first that fails or times out ends the step). The executable is
// platform::ModuleFileName(), the port platform::ControlPort(). Throws nothing.
void AuthorizeInFirewall(std::FILE* out = stdout);

// Tests: runs the step against a backend of the test's own; `executable_path` is the <path> the
// lines name. Throws nothing.
void AuthorizeInFirewall(FirewallBackend& backend, const std::string& executable_path,
                         std::FILE* out);

}  // namespace beamora
