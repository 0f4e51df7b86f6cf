// The firewall step against a scripted backend: which operations it runs after each outcome and
// the exact lines it writes. The backend CMake chose is tested in Firewall<backend>Test.cpp.
#include <gtest/gtest.h>
#include <stdio.h>
#include <stdlib.h>

#include <QCoreApplication>
#include <new>
#include <string>

#include "presenter/core/Firewall.h"
#include "presenter/tests/FirewallTestSupport.h"

namespace beamora {
namespace {

// A backend that answers from a script and records the operations run: I (Initialize),
// E (IsEnabled), A (Add).
struct Script {
    FirewallStatus initialize;
    FirewallStatus is_enabled;
    bool enabled = false;
    FirewallStatus add;
    bool add_throws = false;
};

class ScriptedFirewall final : public FirewallBackend {
  public:
    explicit ScriptedFirewall(const Script& script) : script_(script) {}

    FirewallStatus Initialize() override {
        calls_ += 'I';
        return script_.initialize;
    }
    FirewallStatus IsEnabled(bool* enabled) override {
        calls_ += 'E';
        *enabled = script_.enabled;
        return script_.is_enabled;
    }
    FirewallStatus Add() override {
        calls_ += 'A';
        if (script_.add_throws) throw std::bad_alloc();
        return script_.add;
    }

    const std::string& Calls() const { return calls_; }

  private:
    Script script_;
    std::string calls_;
};

struct Case {
    const char* name;
    Script script;
    const char* calls;
    const char* lines;
};

constexpr FirewallStatus kOk{};

TEST(FirewallStep, RunsTheOperationsInOrderAndWritesTheirLines) {
    using S = FirewallStage;
    const Case cases[] = {
        {"no service",
         {{kFirewallNoService, S::kService}, kOk, false, kOk, false},
         "I",
         "CoCreateInstance failed: 0x80040154\n"
         "WindowsFirewallInitialize failed: 0x80040154\n"},
        {"set-up fails",
         {{kFirewallOutOfMemory, S::kSetUp}, kOk, false, kOk, false},
         "I",
         "CoInitializeEx failed: 0x8007000e\n"},
        {"no policy",
         {{kFirewallFailed, S::kPolicy}, kOk, false, kOk, false},
         "I",
         "get_LocalPolicy failed: 0x80004005\n"
         "WindowsFirewallInitialize failed: 0x80004005\n"},
        {"no zone",
         {{kFirewallUnavailable, S::kProfile}, kOk, false, kOk, false},
         "I",
         "get_CurrentProfile failed: 0x800706ba\n"
         "WindowsFirewallInitialize failed: 0x800706ba\n"},
        {"query fails",
         {kOk, {kFirewallAccessDenied, S::kRules}, false, kOk, false},
         "IE",
         "get_AuthorizedApplications failed: 0x80070005\n"
         "WindowsFirewallAppIsEnabled failed: 0x80070005\n"},
        {"answer unreadable",
         {kOk, {kFirewallUnexpected, S::kRuleState}, true, kOk, false},
         "IE",
         "get_Enabled failed: 0x8000ffff\n"
         "WindowsFirewallAppIsEnabled failed: 0x8000ffff\n"},
        {"already open",
         {kOk, kOk, true, kOk, false},
         "IE",
         "Authorized application /opt/Beamora 1/beamora is enabled in the firewall.\n"},
        {"not open, added",
         {kOk, kOk, false, kOk, false},
         "IEA",
         "Authorized application /opt/Beamora 1/beamora is disabled in the firewall.\n"
         "Authorized application /opt/Beamora 1/beamora is now enabled in the firewall.\n"},
        {"add refused",
         {kOk, kOk, false, {kFirewallAccessDenied, S::kRuleAdd}, false},
         "IEA",
         "Authorized application /opt/Beamora 1/beamora is disabled in the firewall.\n"
         "Add failed: 0x80070005\n"
         "WindowsFirewallAddApp failed: 0x80070005\n"},
        {"rule not made",
         {kOk, kOk, false, {kFirewallNoService, S::kService}, false},
         "IEA",
         "Authorized application /opt/Beamora 1/beamora is disabled in the firewall.\n"
         "CoCreateInstance failed: 0x80040154\n"
         "WindowsFirewallAddApp failed: 0x80040154\n"},
        {"add throws",
         {kOk, kOk, false, kOk, true},
         "IEA",
         "Authorized application /opt/Beamora 1/beamora is disabled in the firewall.\n"
         "Add failed: 0x8007000e\n"
         "WindowsFirewallAddApp failed: 0x8007000e\n"},
    };
    for (const Case& c : cases) {
        ScriptedFirewall backend(c.script);
        test::CapturedOutput out;
        AuthorizeInFirewall(backend, "/opt/Beamora 1/beamora", out.File());
        EXPECT_EQ(out.Text(), c.lines) << c.name;
        EXPECT_EQ(backend.Calls(), c.calls) << c.name;
    }
}

}  // namespace
}  // namespace beamora

// Qt D-Bus wants a QCoreApplication; the scripted tests do not mind one.
int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    QCoreApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
