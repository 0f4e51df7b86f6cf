#include "client/session/Discovery.h"

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <mutex>

#include "client/session/NetChannel.h"
#include "client/session/Session.h"
#include "client/session/Sockets.h"
#include "platform/Debug.h"
#include "platform/NoDestructor.h"
#include "platform/Ports.h"
#include "platform/Socket.h"
#include "platform/WorkerThread.h"

namespace tarrowlink {
namespace {

constexpr int kPollInterval_ms = 500;
constexpr int kSearchWait_ms = 1000;
constexpr int kExitJoin_ms = 2000;

struct DiscoveryState {
    // The receiver list: written by the discovery thread, copied and cleared by SearchServer.
    std::mutex list_mutex;
    tagSERVERLIST list[kServerListEntries] = {};
    int32_t count = 0;

    std::atomic<int32_t> server_seen{0};
    std::atomic<int32_t> status{0};

    // The thread itself; SearchServer callers and process exit start, look at and stop it.
    std::mutex thread_mutex;
    platform::WorkerThread thread;
    bool started = false;  // discovery was started once in this process
};

DiscoveryState& State() {
    static platform::NoDestructor<DiscoveryState> state;
    return *state;
}

void DiscoveryThread(const platform::WorkerThread::Context& context) {
    DiscoveryState& state = State();
    NetChannel channel;
    if (!channel.CreateUdp()) {
        state.status.store(kNotifyNoUdpSocket);
        return;
    }
    if (!channel.BindUdp(platform::ControlPort())) {
        state.status.store(kNotifyBindFailed);
        return;
    }
    // The last whole beacon and its sender, for the per-pass diagnostic line.
    char beacon[kBeaconSize + 1] = {};
    char address[16] = {};
    char incoming[kBeaconSize] = {};
    while (!context.StopRequested()) {
        int r = ReceiveBeacon(incoming, kBeaconSize, address, sizeof address);
        if (r > 0) std::memcpy(beacon, incoming, kBeaconSize);
        platform::DebugFormat("Hostname %s, IP %s\n", beacon, address);
        if (r < 0) break;
        if (r > 0) {
            AddReceiver(beacon, kBeaconSize, address);
            platform::DebugOutput("Read UDP packet successfully!\n");
        } else {
            platform::DebugOutput("timeout!\n");
        }
        if (!context.SleepFor(kPollInterval_ms)) return;  // process exit
    }
    if (context.StopRequested()) return;
    platform::DebugOutput("read packet error!\n");
    state.status.store(kNotifyReceiveFailed);
    Notify(kNotifyReceiveFailed);
}

// Starts a discovery thread and waits until a receiver has been heard or discovery failed.
// Caller holds no lock. 1 when a receiver was heard, 0 on failure.
int StartDiscovery() {
    DiscoveryState& state = State();
    {
        std::lock_guard lock(state.thread_mutex);
        // A search that overlaps another one waits for the thread that one started.
        if (!state.thread.Running()) {
            state.thread.Join();  // an ended thread is released before the new one starts
            // A failure of an earlier thread says nothing about the new one.
            state.status.store(0);
            if (!state.thread.Start(DiscoveryThread)) {
                platform::DebugOutput("Cannot create UDP thread!\n");
                return 0;
            }
        }
    }
    while (state.server_seen.load() == 0) {
        for (int waited_ms = 0; waited_ms < kSearchWait_ms; waited_ms += 50) {
            if (ShuttingDown()) return 0;
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        int32_t status = state.status.load();
        if (status == kNotifyNoUdpSocket || status == kNotifyBindFailed ||
            status == kNotifyReceiveFailed) {
            Notify(status);
            return 0;
        }
    }
    return 1;
}

}  // namespace

int32_t DiscoveryStatus() {
    return State().status.load();
}
int32_t ServerSeen() {
    return State().server_seen.load();
}
void SetServerSeen(int32_t value) {
    State().server_seen.store(value);
}

void AddReceiver(const char* name, size_t name_size, const char* address) {
    DiscoveryState& state = State();
    const tagSERVERLIST entry = ReceiverEntry(name, name_size, address);
    std::lock_guard lock(state.list_mutex);
    ListReceiver(state.list, state.count, entry);
    state.server_seen.store(1);
}

int ReceiveBeacon(char* buffer, int size, char* address_out, size_t address_size) {
    int fd = UdpSocketFd();
    for (;;) {
        if (platform::WaitReadable(fd, 0) <= 0) return 0;
        in_addr from{};
        // A datagram too long for the buffer is seen as such, not cut.
        int n = platform::ReceiveDatagram(fd, buffer, static_cast<size_t>(size), &from);
        if (n < 0) {
            if (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK) continue;
            SetLastSocketError(errno);
            platform::DebugOutput("Receive UPD broadcast frame error!");
            return -1;
        }
        char sender[16] = {};
        platform::FormatIpv4(from, sender, sizeof sender);
        if (!IsOneBeacon(n, size)) {
            // Anything on the network may send to this port (it takes broadcasts): what is not
            // exactly one beacon is nobody's beacon, and listening goes on.
            platform::DebugFormat("Dropped a datagram of %d bytes from %s: not a beacon\n", n,
                                  sender);
            continue;
        }
        std::snprintf(address_out, address_size, "%s", sender);
        return size;
    }
}

int SearchServer(tagSERVERLIST* list) {
    DiscoveryState& state = State();
    bool start_first = false;
    bool restart = false;
    {
        std::lock_guard lock(state.thread_mutex);
        if (!state.started) {
            start_first = true;
            state.started = true;  // taken back when the start fails
        } else if (state.thread.Exists() && !state.thread.Running()) {
            restart = true;
        }
    }
    if (start_first) {
        if (!StartDiscovery()) {
            std::lock_guard lock(state.thread_mutex);
            state.started = false;
            return 0;
        }
    } else if (restart) {
        platform::DebugOutput("thread has been exit by timeout!\n");
        if (!StartDiscovery()) return 0;
    }

    platform::DebugOutput("Get Server List!\n");
    std::lock_guard lock(state.list_mutex);
    if (list != nullptr) {
        for (int32_t i = 0; i < state.count; ++i) {
            if (state.list[i].address[0] == '\0') break;
            list[i] = state.list[i];
        }
    }
    if (state.count == 0) {
        platform::DebugOutput("Server List Null!\n");
        return 0;
    }
    std::memset(state.list, 0, sizeof state.list);
    state.count = 0;
    return 1;
}

void StopDiscovery() {
    DiscoveryState& state = State();
    std::lock_guard lock(state.thread_mutex);
    state.thread.RequestStop();
    state.thread.Join(kExitJoin_ms);
}

}  // namespace tarrowlink

namespace tarrowlink {
void ResetDiscoveryForTests() {
    DiscoveryState& state = State();
    {
        std::lock_guard lock(state.thread_mutex);
        state.thread.RequestStop();
        state.thread.Join();
        state.started = false;
    }
    CloseUdpSocket();
    std::lock_guard lock(state.list_mutex);
    std::memset(state.list, 0, sizeof state.list);
    state.count = 0;
    state.server_seen.store(0);
    state.status.store(0);
}
}  // namespace tarrowlink
