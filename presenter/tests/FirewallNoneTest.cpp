// The "none" firewall backend, built where there is no Qt D-Bus: the program's own call writes
// the "no service" lines and nothing else.
#include <gtest/gtest.h>

#include "presenter/core/Firewall.h"
#include "presenter/tests/FirewallTestSupport.h"

namespace beamora {
namespace {

TEST(NoFirewallBackend, NoServiceIsEverReachable) {
    test::CapturedOutput out;
    AuthorizeInFirewall(out.File());
    EXPECT_EQ(out.Text(),
              "CoCreateInstance failed: 0x80040154\n"
              "WindowsFirewallInitialize failed: 0x80040154\n");
}

}  // namespace
}  // namespace beamora
