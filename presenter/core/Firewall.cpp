#include "presenter/core/Firewall.h"

#include <new>

#include "platform/Paths.h"
#include "platform/Ports.h"

namespace beamora {
namespace {

// The diagnostic line's prefix for a failed part, before ": 0x<code>".
const char* StageText(FirewallStage stage) {
    switch (stage) {
        case FirewallStage::kSetUp:
            return "CoInitializeEx";
        case FirewallStage::kService:
            return "CoCreateInstance";
        case FirewallStage::kPolicy:
            return "get_LocalPolicy";
        case FirewallStage::kProfile:
            return "get_CurrentProfile";
        case FirewallStage::kRules:
            return "get_AuthorizedApplications";
        case FirewallStage::kRuleState:
            return "get_Enabled";
        case FirewallStage::kRuleProgram:
            return "put_ProcessImageFileName";
        case FirewallStage::kRuleName:
            return "put_Name";
        case FirewallStage::kRuleAdd:
            return "Add";
    }
    return "CoCreateInstance";
}

void WriteFailure(std::FILE* out, const char* what, FirewallCode code) {
    std::fprintf(out, "%s failed: 0x%08lx\n", what, static_cast<unsigned long>(code));
}

void WriteApplication(std::FILE* out, const std::string& path, const char* state) {
    std::fprintf(out, "Authorized application %s is %s in the firewall.\n", path.c_str(), state);
}

// Runs one backend operation; an exception escaping it becomes a failure at `stage`, so that none
// leaves the step.
template <typename Operation>
FirewallStatus Guarded(FirewallStage stage, Operation&& operation) {
    try {
        return operation();
    } catch (const std::bad_alloc&) {
        return {kFirewallOutOfMemory, stage};
    } catch (...) {
        return {kFirewallFailed, stage};
    }
}

}  // namespace

void AuthorizeInFirewall(FirewallBackend& backend, const std::string& executable_path,
                         std::FILE* out) {
    FirewallStatus status = Guarded(FirewallStage::kService, [&] { return backend.Initialize(); });
    if (status.Failed()) {
        WriteFailure(out, StageText(status.stage), status.code);
        if (status.stage != FirewallStage::kSetUp) {
            WriteFailure(out, "WindowsFirewallInitialize", status.code);
        }
        std::fflush(out);
        return;
    }

    bool enabled = false;
    status = Guarded(FirewallStage::kRules, [&] { return backend.IsEnabled(&enabled); });
    if (status.Failed()) {
        WriteFailure(out, StageText(status.stage), status.code);
        WriteFailure(out, "WindowsFirewallAppIsEnabled", status.code);
    } else if (enabled) {
        WriteApplication(out, executable_path, "enabled");
    } else {
        WriteApplication(out, executable_path, "disabled");
        status = Guarded(FirewallStage::kRuleAdd, [&] { return backend.Add(); });
        if (status.Failed()) {
            WriteFailure(out, StageText(status.stage), status.code);
            WriteFailure(out, "WindowsFirewallAddApp", status.code);
        } else {
            WriteApplication(out, executable_path, "now enabled");
        }
    }
    std::fflush(out);
}

void AuthorizeInFirewall(std::FILE* out) {
    FirewallCode code = kFirewallOk;
    try {
        std::unique_ptr<FirewallBackend> backend = MakeFirewallBackend(platform::ControlPort());
        AuthorizeInFirewall(*backend, platform::ModuleFileName(), out);
        return;
    } catch (const std::bad_alloc&) {
        code = kFirewallOutOfMemory;
    } catch (...) {
        code = kFirewallFailed;
    }
    // Making the backend or reading the path failed; the step catches its own.
    WriteFailure(out, "CoCreateInstance", code);
    WriteFailure(out, "WindowsFirewallInitialize", code);
    std::fflush(out);
}

}  // namespace beamora
