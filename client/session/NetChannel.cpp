#include "client/session/NetChannel.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <mutex>

#include "client/capture/CaptureRecord.h"
#include "client/session/ControlMessage.h"
#include "client/session/Session.h"
#include "client/session/Sockets.h"
#include "platform/Debug.h"
#include "platform/NoDestructor.h"
#include "platform/Ports.h"
#include "platform/Socket.h"

namespace tarrowlink {
namespace {
std::atomic<int> g_reply_timeout_ms{10000};

using Clock = std::chrono::steady_clock;

// The data connection's record: counters any thread may read, and the retry schedule, which only
// SendData and CloseData touch, under the data socket's mutex.
struct DataHealth {
    std::atomic<uint64_t> units{0};
    std::atomic<uint64_t> bytes{0};
    std::atomic<uint32_t> connections{0};
    std::atomic<uint32_t> failures{0};
    Clock::time_point connected_at{};
    Clock::time_point retry_at{};
    int retry_ms = 0;
};

DataHealth& Health() {
    static platform::NoDestructor<DataHealth> health;
    return *health;
}

// A connection failed: the next waits, longer while connections keep failing soon after they
// are made (a receiver that refuses or drops every one), from the start after one that lived.
void DataFailed(DataHealth& health) {
    const Clock::time_point now = Clock::now();
    const bool lived = health.connected_at != Clock::time_point{} &&
                       now - health.connected_at > std::chrono::seconds(3);
    health.retry_ms = lived || health.retry_ms == 0
                          ? kDataRetryFirst_ms
                          : std::min(health.retry_ms * 2, kDataRetryMost_ms);
    health.retry_at = now + std::chrono::milliseconds(health.retry_ms);
    health.connected_at = {};
    health.failures.fetch_add(1);
}

}  // namespace

DataStats CurrentDataStats() {
    DataHealth& health = Health();
    DataStats stats;
    stats.units_sent = health.units.load();
    stats.bytes_sent = health.bytes.load();
    stats.connections = health.connections.load();
    stats.failures = health.failures.load();
    return stats;
}

int ReplyTimeout_ms() {
    return g_reply_timeout_ms.load();
}
void SetReplyTimeoutForTests(int timeout_ms) {
    g_reply_timeout_ms.store(timeout_ms);
}

int NetChannel::SendControl(const uint8_t* payload, int32_t type) {
    uint8_t message[kControlMessageSize];
    EncodeControlMessage(type, payload, message);
    int sent;
    {
        std::lock_guard lock(SocketMutex(TcpSocket::Control));
        sent = SendAll(TcpSocketFd(TcpSocket::Control), message, kControlMessageSize);
    }
    if (sent < 0) return -1;
    platform::DebugOutput("Send Package successfully\n");
    return 0;
}

int NetChannel::ReceiveControl(uint8_t* buffer, int length, int timeout_ms) {
    return ReceiveAll(TcpSocketFd(TcpSocket::Control), buffer, length, timeout_ms);
}

int NetChannel::SendData(const uint8_t* buffer, int length, const int* sizes) {
    bool connect_failed = false;
    bool send_failed = false;
    {
        // Held from making the socket to the unit's last byte: the socket cannot be closed, and
        // its number reused, under the connect or a send.
        std::lock_guard lock(SocketMutex(TcpSocket::Data));
        DataHealth& health = Health();
        if (TcpSocketFd(TcpSocket::Data) < 0 && Clock::now() < health.retry_at) {
            // Waiting before the next connection: this unit is dropped, and the picture goes out
            // whole on the connection that works.
            FullRefreshFlag().store(1);
            return -1;
        }
        int created = CreateTcpSocket(TcpSocket::Data);
        if (created < 0) return -1;
        if (created != 0 && created != 1) {
            platform::DebugOutput("create tcp-data socket unknown\n");
            return -1;
        }
        int fd = TcpSocketFd(TcpSocket::Data);
        if (created == 0) {
            if (ConnectTo(fd, ReceiverAddress().c_str(), platform::DataPort(),
                          kConnectTimeout_ms)) {
                platform::SetDeadPeerDetection(fd, 5, 2, 3, 10000);
                health.connections.fetch_add(1);
                health.connected_at = Clock::now();
            } else {
                connect_failed = true;
                DataFailed(health);
            }
        }
        if (!connect_failed && sizes == nullptr) {
            send_failed = SendAll(fd, buffer, length, kDataSendTimeout_ms) < 0;
        } else if (!connect_failed) {
            // The pieces lie back to back and the stream has no boundaries: one send for all of
            // them is the same bytes, with one system call instead of one per piece.
            int64_t total = 0;
            for (int i = 0; i < length; ++i) total += sizes[i];
            send_failed = total > INT32_MAX || total < 0 ||
                          SendAll(fd, buffer, static_cast<int>(total), kDataSendTimeout_ms) < 0;
        }
        if (send_failed) {
            DataFailed(health);
        } else if (!connect_failed) {
            uint64_t bytes = 0;
            if (sizes == nullptr) {
                bytes = static_cast<uint64_t>(length);
            } else {
                for (int i = 0; i < length; ++i) bytes += static_cast<uint64_t>(sizes[i]);
            }
            health.units.fetch_add(1);
            health.bytes.fetch_add(bytes);
        }
    }
    if (connect_failed) {
        platform::DebugOutput("failed Data Connection\n");
        // An unconnected socket could never carry a unit: the next unit tries afresh.
        CloseTcpSocket(TcpSocket::Data);
        return -1;
    }
    if (send_failed) {
        // The unit was cut off: the stream cannot go on behind it. The next unit opens a new
        // connection, and the next capture step sends the whole picture on it.
        CloseTcpSocket(TcpSocket::Data);
        FullRefreshFlag().store(1);
    }
    return 0;
}

int NetChannel::CloseData(int) {
    CloseTcpSocket(TcpSocket::Data);
    // The next projection connects at once.
    std::lock_guard lock(SocketMutex(TcpSocket::Data));
    DataHealth& health = Health();
    health.retry_at = {};
    health.retry_ms = 0;
    health.connected_at = {};
    return 0;
}

int NetChannel::ConnectControl() {
    int fd = TcpSocketFd(TcpSocket::Control);
    if (!ConnectTo(fd, ReceiverAddress().c_str(), platform::ControlPort(), kConnectTimeout_ms)) {
        platform::DebugOutput("failed Control Connection\n");
        return -1;
    }
    // A receiver that vanishes without closing the connection is noticed within about 15 s.
    platform::SetDeadPeerDetection(fd, 5, 2, 3, 10000);
    return 0;
}

int NetChannel::CreateUdp() {
    if (!CreateUdpSocket()) return 0;
    kind_ = 1;
    return 1;
}

int NetChannel::BindUdp(uint16_t port) {
    if (kind_ != 1) return 0;
    return BindUdpSocket(port);
}

NetChannel& SessionChannel() {
    static platform::NoDestructor<NetChannel> channel;
    return *channel;
}

NetChannel& MessageChannel() {
    static platform::NoDestructor<NetChannel> channel;
    return *channel;
}

int SendControlRequest(int32_t type) {
    int created = CreateTcpSocket(TcpSocket::Control);
    if (created < 0) return 0;
    // Only a socket made just now needs connecting; connecting the live control connection again
    // could only fail.
    if (created == 0) SessionChannel().ConnectControl();
    return SessionChannel().SendControl(nullptr, type) == 0 ? 1 : 0;
}

}  // namespace tarrowlink
