#include <gtest/gtest.h>
#include <stdlib.h>

#include <string>
#include <vector>

#include "client/UserInterface.h"
#include "client/session/Discovery.h"
#include "client/session/Session.h"
#include "client/tests/TestSupport.h"
#include "platform/MessageRegistry.h"

namespace tarrowlink {
namespace {

using test::DebugCapture;

TEST(Session, InitializeStartsTheNetworkOncePerProcess) {
    // Under ctest each test has a process of its own; run together, an earlier test may have
    // started the network already.
    const bool fresh = TheSession().network_started.load() == 0;
    DebugCapture debug;
    UserInterface first;
    UserInterface second;
    EXPECT_EQ(first.Initialize(), fresh ? 1 : 0);
    EXPECT_EQ(first.Initialize(), 0);
    EXPECT_EQ(second.Initialize(), 0);
    std::vector<std::string> expected{"new ClientControl object\n", "new ClientControl object\n"};
    if (fresh) expected.push_back("WSAStartup() OK\n");
    EXPECT_EQ(debug.Lines(), expected);
}

TEST(Session, ConstructionAndDestructionAreLogged) {
    DebugCapture debug;
    { UserInterface ui; }
    EXPECT_EQ(debug.Lines(), (std::vector<std::string>{"new ClientControl object\n",
                                                       "delete ClientControl object\n"}));
}

TEST(Session, NotificationsGoToTheWindowSetLastAndNowhereWithout) {
    test::RecordingTarget window;
    UserInterface ui;
    ui.Initialize();
    Notify(kNotifyCodeOk);  // no window yet: nothing is sent, nothing fails
    ui.SetWindowHandle(&window);
    Notify(kNotifyCodeError);
    ui.SetWindowHandle(nullptr);
    Notify(kNotifyConnectionLost);
    EXPECT_EQ(window.Codes(), std::vector<int>{kNotifyCodeError});
    // The application finds the message number by registering the same name.
    EXPECT_EQ(window.Messages(),
              std::vector<unsigned int>{platform::RegisterMessage(kProjectorNotifyName)});
}

TEST(Session, TwoInterfacesDriveOneSession) {
    test::RecordingTarget window;
    UserInterface a;
    UserInterface b;
    a.Initialize();
    b.Initialize();
    a.SetWindowHandle(&window);  // set through one object ...
    ResetDiscoveryForTests();
    AddReceiver("Shared", 7, "192.0.2.7");
    tagSERVERLIST list[kServerListEntries] = {};
    EXPECT_EQ(b.SearchServer(list), 1);  // ... the list is taken through the other
    EXPECT_STREQ(list[0].name, "Shared");
    Notify(kNotifyReceiverStarted);
    EXPECT_EQ(window.Codes(), std::vector<int>{kNotifyReceiverStarted});
    b.SetWindowHandle(nullptr);
    ResetDiscoveryForTests();
}

}  // namespace
}  // namespace tarrowlink
