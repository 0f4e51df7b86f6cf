// The firewall backend where the build has no firewall service to talk to (no Qt D-Bus): the
// service is never reachable, so the step writes its "no service" lines and the program goes on.
#include "presenter/core/Firewall.h"

namespace beamora {
namespace {

class NoFirewall final : public FirewallBackend {
  public:
    FirewallStatus Initialize() override { return {kFirewallNoService, FirewallStage::kService}; }
    FirewallStatus IsEnabled(bool* enabled) override {
        *enabled = false;
        return {kFirewallNoService, FirewallStage::kRules};
    }
    FirewallStatus Add() override { return {kFirewallNoService, FirewallStage::kService}; }
};

}  // namespace

std::unique_ptr<FirewallBackend> MakeFirewallBackend(uint16_t) {
    return std::make_unique<NoFirewall>();
}

}  // namespace beamora
