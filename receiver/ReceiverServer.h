// The receiver's network side: beacons, the control connections, the data connection and the
// operator's commands, all served by one thread that polls every socket. It owns the picture and
// hands composed images to a ReceiverOutput for snapshots, the window and statistics.
#pragma once

#include <netinet/in.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/Socket.h"
#include "receiver/ControlHandler.h"
#include "receiver/Picture.h"

namespace receiver {

// Where the server's pictures and figures go. Called on the server thread only.
class ReceiverOutput {
  public:
    virtual ~ReceiverOutput() = default;
    // Writes image as a PNG file at path (replacing it whole). False with *error set on failure.
    virtual bool WriteSnapshot(const std::string& path, const ComposedImage& image,
                               std::string* error) = 0;
    // True when Show wants every changed picture.
    virtual bool WantsFrames() const { return false; }
    // The current picture, at most every kFrameIntervalMs while it changes.
    virtual void Show(ComposedImage /*image*/) {}
    // One statistics line (no line feed), once a second when statistics are on.
    virtual void Stats(const std::string& /*line*/) {}
};

struct ServerOptions {
    ReceiverSettings settings;
    uint16_t control_port = 0;  // TCP port to listen on for control connections; 0: any free one
    uint16_t data_port = 0;     // TCP port for the data connection; 0: any free one
    // The local address every socket binds to (0.0.0.0: all of them). Receivers bound to
    // different addresses can share the port numbers, and their beacons come from that address,
    // which is the one presenters then connect to.
    in_addr bind_address{};
    bool beacons = true;
    uint16_t beacon_port = 0;             // UDP port the beacons go to; 0: the control port
    std::vector<in_addr> beacon_targets;  // empty: the broadcast address and 127.0.0.1
    int beacon_interval_ms = 1000;
    std::string snapshot_path;  // written when a projection stops, its data ends, and at exit
    bool stats = false;
    int command_fd = -1;  // commands, one per line (standard input); -1: none
    // A control connection that has not logged in by then is dropped, so that idle connections
    // cannot hold every place; tests shorten it.
    int login_deadline_ms = 10000;
};

class ReceiverServer {
  public:
    static constexpr int kFrameIntervalMs = 40;
    static constexpr int kMaxControlConnections = 16;

    ReceiverServer(ServerOptions options, ReceiverOutput& output);
    ~ReceiverServer();
    ReceiverServer(const ReceiverServer&) = delete;
    ReceiverServer& operator=(const ReceiverServer&) = delete;

    // Binds the sockets. Owner's thread, before Run. False with *error set (e.g. port in use).
    bool Open(std::string* error);
    uint16_t ControlPort() const { return bound_control_port_; }
    uint16_t DataPort() const { return bound_data_port_; }

    // Serves until a quit command or RequestQuit, then writes the final snapshot. One thread.
    void Run();

    // Ends Run soon. Any thread, and safe in a signal handler.
    void RequestQuit();
    // Queues one command line as if typed. Any thread.
    void Post(const std::string& line);

  private:
    struct ControlConnection {
        int id = 0;
        std::chrono::steady_clock::time_point accepted_at;
        platform::UniqueFd fd;
        std::string address;
        uint8_t buffer[kControlMessageSize] = {};
        size_t filled = 0;
        bool closing = false;
    };
    struct DataConnection;

    void Wake();  // async-signal-safe
    void AcceptControl();
    void AcceptData();
    void ReadControl(ControlConnection& connection);
    void ReadData();
    void ReadCommands();
    void Execute(const std::string& line);
    void Apply(const ControlActions& actions);
    // Ends a control connection for the handler now; the socket is closed after the poll round.
    void Drop(ControlConnection& connection);
    // Drops the connections that have not logged in within the deadline; the time until the
    // next such deadline, in ms (-1 when there is none).
    int DropLateLogins();
    void CloseData(const std::string& reason, bool refused);
    void SendBeacons();
    void WriteStats();
    void PublishFrame(bool force);
    void Snapshot(const std::string& path);
    void SnapshotIfAsked();

    ServerOptions options_;
    ReceiverOutput& output_;
    ControlHandler handler_;
    Picture picture_;

    platform::UniqueFd wake_fd_;
    platform::UniqueFd control_listener_;
    platform::UniqueFd data_listener_;
    platform::UniqueFd beacon_fd_;
    uint16_t bound_control_port_ = 0;
    uint16_t bound_data_port_ = 0;

    std::vector<std::unique_ptr<ControlConnection>> controls_;
    std::unique_ptr<DataConnection> data_;
    int next_id_ = 1;

    std::vector<uint8_t> read_buffer_;  // one receive from the data connection
    std::string command_text_;          // an incomplete command line
    bool commands_open_ = false;

    std::atomic<bool> quit_{false};
    std::mutex posted_mutex_;
    std::deque<std::string> posted_;

    std::vector<bool> beacon_failed_;  // one diagnostic per failing target
    uint64_t published_version_ = 0;
    // Totals of closed data connections; the open one's are added when reported.
    uint64_t done_units_ = 0, done_bytes_ = 0, done_updates_ = 0;
    uint64_t last_units_ = 0, last_bytes_ = 0, last_updates_ = 0;
};

}  // namespace receiver
