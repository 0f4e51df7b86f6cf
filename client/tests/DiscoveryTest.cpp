#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <string>
#include <vector>

#include "client/session/Discovery.h"
#include "client/session/Session.h"
#include "client/session/Sockets.h"
#include "client/tests/TestSupport.h"
#include "platform/Socket.h"

namespace tarrowlink {
namespace {

using test::BeaconSender;
using test::DebugCapture;
using test::WaitFor;

struct ServerList {
    tagSERVERLIST entries[kServerListEntries] = {};
    std::vector<std::pair<std::string, std::string>> Pairs() const {
        std::vector<std::pair<std::string, std::string>> pairs;
        for (const tagSERVERLIST& e : entries) {
            if (e.address[0] == '\0') break;
            pairs.emplace_back(std::string(e.name, strnlen(e.name, sizeof e.name)), e.address);
        }
        return pairs;
    }
};

class Discovery : public ::testing::Test {
  protected:
    void SetUp() override {
        ResetDiscoveryForTests();
        TheSession().window.store(&target_);
    }
    void TearDown() override {
        TheSession().window.store(nullptr);
        ResetDiscoveryForTests();
    }
    // Starts discovery with a first beacon and empties the list again.
    void StartWith(const BeaconSender& sender, const std::string& name) {
        std::thread beacon([&] {
            std::this_thread::sleep_for(std::chrono::milliseconds(200));
            sender.SendName(name);
        });
        ServerList first;
        EXPECT_EQ(SearchServer(first.entries), 1);
        beacon.join();
    }
    test::RecordingTarget target_;
};

TEST_F(Discovery, CollectsReceiversOncePerNameAndAddress) {
    BeaconSender a("127.0.0.1"), b("127.0.0.2");
    StartWith(a, "warmup");
    a.SendName("Room 1");
    a.SendName("Room 1");  // the same receiver again
    b.SendName("Room 1");  // same name, another address: another receiver
    a.SendName("Lobby");
    ASSERT_TRUE(WaitFor([] { return DiscoveryStatus() == 0 && ServerSeen() == 1; }));
    ServerList list;
    ASSERT_TRUE(WaitFor(
        [&] {
            // The thread reads one beacon per pass; collect until all three have arrived.
            ServerList part;
            if (SearchServer(part.entries) == 1) {
                for (auto& p : part.Pairs()) {
                    bool known = false;
                    for (auto& q : list.Pairs()) known |= p == q;
                    if (!known) {
                        int n = static_cast<int>(list.Pairs().size());
                        std::strcpy(list.entries[n].name, p.first.c_str());
                        std::strcpy(list.entries[n].address, p.second.c_str());
                    }
                }
            }
            return list.Pairs().size() >= 3;
        },
        8000));
    auto pairs = list.Pairs();
    EXPECT_EQ(pairs.size(), 3u);
    EXPECT_NE(std::find(pairs.begin(), pairs.end(),
                        std::pair<std::string, std::string>("Room 1", "127.0.0.1")),
              pairs.end());
    EXPECT_NE(std::find(pairs.begin(), pairs.end(),
                        std::pair<std::string, std::string>("Room 1", "127.0.0.2")),
              pairs.end());
    EXPECT_NE(std::find(pairs.begin(), pairs.end(),
                        std::pair<std::string, std::string>("Lobby", "127.0.0.1")),
              pairs.end());
}

TEST_F(Discovery, ReceiverHeardBeforeTheSearchIsReturnedAndListIsEmptiedPerCall) {
    BeaconSender sender;
    StartWith(sender, "Projector");
    ServerList list;
    // Nothing heard since the previous call: 0 and the caller's list untouched.
    std::strcpy(list.entries[0].name, "keep");
    {
        DebugCapture debug;
        EXPECT_EQ(SearchServer(list.entries), 0);
        EXPECT_EQ(debug.Lines(),
                  (std::vector<std::string>{"Get Server List!\n", "Server List Null!\n"}));
    }
    EXPECT_STREQ(list.entries[0].name, "keep");
    sender.SendName("Projector");
    ASSERT_TRUE(WaitFor([&] { return SearchServer(list.entries) == 1; }));
    EXPECT_STREQ(list.entries[0].name, "Projector");
    EXPECT_STREQ(list.entries[0].address, "127.0.0.1");
}

TEST_F(Discovery, FullNameIsCutAndDatagramsThatAreNotOneBeaconAreDropped) {
    BeaconSender sender;
    StartWith(sender, "first");
    DebugCapture debug;
    sender.SendName(std::string(32, 'N'));  // no terminating zero
    ServerList list;
    ASSERT_TRUE(WaitFor([&] { return SearchServer(list.entries) == 1; }));
    EXPECT_EQ(std::string(list.entries[0].name), std::string(31, 'N'));
    EXPECT_EQ(debug.Count("Hostname " + std::string(32, 'N') + ", IP 127.0.0.1\n"), 1);
    EXPECT_EQ(debug.Count("Read UDP packet successfully!\n"), 1);

    // Stray datagrams (empty, short pieces, too long) are nobody's beacon: each is dropped and
    // discovery goes on hearing the real receiver.
    char stray[40] = {};
    std::strcpy(stray, "Split name");
    sender.Send(stray, 0);
    sender.Send(stray, 10);
    sender.Send(stray + 10, 22);
    sender.Send(stray, sizeof stray);
    ASSERT_TRUE(WaitFor([&] {
        return debug.Count("Dropped a datagram of 40 bytes from 127.0.0.1: not a beacon\n") == 1;
    }));
    sender.SendName("real");
    ServerList heard;
    ASSERT_TRUE(WaitFor([&] { return SearchServer(heard.entries) == 1; }));
    EXPECT_STREQ(heard.entries[0].name, "real");
    EXPECT_EQ(heard.entries[1].name[0], '\0');  // no beacon was made of the pieces
    for (int bytes : {0, 10, 22}) {
        EXPECT_EQ(debug.Count("Dropped a datagram of " + std::to_string(bytes) +
                              " bytes from 127.0.0.1: not a beacon\n"),
                  1);
    }
    EXPECT_EQ(DiscoveryStatus(), 0);
    EXPECT_TRUE(target_.Codes().empty());
}

TEST_F(Discovery, PortInUseGives1031) {
    platform::UniqueFd holder(socket(AF_INET, SOCK_DGRAM, 0));
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_port = htons(platform::ControlPort());
    ASSERT_EQ(bind(holder.get(), reinterpret_cast<sockaddr*>(&local), sizeof local), 0);
    DebugCapture debug;
    ServerList list;
    EXPECT_EQ(SearchServer(list.entries), 0);
    EXPECT_EQ(target_.Codes(), std::vector<int>{kNotifyBindFailed});
    EXPECT_EQ(debug.Count("bind error\n"), 1);
    EXPECT_EQ(DiscoveryStatus(), kNotifyBindFailed);

    // Once the port is free, a later search starts discovery afresh and is not held back by the
    // earlier failure.
    holder.reset();
    BeaconSender sender;
    std::thread beacon([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        sender.SendName("later");
    });
    EXPECT_EQ(SearchServer(list.entries), 1);
    beacon.join();
    EXPECT_STREQ(list.entries[0].name, "later");
}

TEST_F(Discovery, OverlappingSearchesBothReturnOnceAReceiverIsHeard) {
    BeaconSender sender;
    std::atomic<int> returned{0};
    auto search = [&] {
        ServerList list;
        SearchServer(list.entries);
        ++returned;
    };
    std::thread first(search);
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    std::thread second(search);  // the presenter's second search, before anything was heard
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_TRUE(WaitFor(
        [&] {
            sender.SendName("late");
            return returned.load() == 2;
        },
        8000));
    first.join();
    second.join();
}

TEST_F(Discovery, ListHoldsAtMost256Receivers) {
    for (int i = 0; i < 300; ++i) {
        std::string name = "Receiver " + std::to_string(i);
        AddReceiver(name.c_str(), name.size() + 1, "10.0.0.1");
    }
    AddReceiver("Receiver 3", 11, "10.0.0.1");  // already listed: not added twice
    ServerList list;
    ASSERT_EQ(SearchServer(list.entries), 1);  // a receiver was seen: no wait
    auto pairs = list.Pairs();
    ASSERT_EQ(pairs.size(), 256u);
    EXPECT_EQ(pairs.front().first, "Receiver 0");
    EXPECT_EQ(pairs.back().first, "Receiver 255");
}

}  // namespace
}  // namespace tarrowlink
