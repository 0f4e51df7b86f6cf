// The receiver's side of the control connection, free of I/O: answers each presenter message,
// keeps who is logged in and who is projecting (one presenter at a time), and turns the operator's
// commands into messages. The server owns the sockets and sends what this returns. Used on the
// server's thread only.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "receiver/CaptureGeometry.h"
#include "receiver/ControlMessage.h"

namespace receiver {

struct ReceiverSettings {
    std::string name;                         // sent in the beacons
    ReceiverMode mode;                        // answered with SERVER_VERSION_OK
    std::optional<int32_t> code;              // login code a presenter must give
    std::optional<std::string> version_text;  // version a presenter must prove
    bool reject = false;                      // refuse every start request
    // Behaviours of a broken receiver, for testing presenters against one.
    enum class Misbehaviour { kNone, kSilentStart, kDropData, kStallData };
    Misbehaviour misbehaviour = Misbehaviour::kNone;
};

// What handling an event asks the server to do.
struct ControlActions {
    struct Send {
        int connection;
        ControlMessage message;
    };
    std::vector<Send> sends;
    bool projection_started = false;  // a new projection begins (SERVER_START sent)
    bool projection_stopped = false;  // the projecting presenter stopped or left
};

class ControlHandler {
  public:
    explicit ControlHandler(ReceiverSettings settings);

    // A presenter connected from address (dotted text); id is the server's connection number.
    void Connected(int id, const std::string& address);
    // The connection ended; a projecting presenter stops.
    ControlActions Disconnected(int id);
    // One 128-byte message arrived on connection id.
    ControlActions Received(int id, const ControlMessage& message);

    // Operator commands. Each says what it did in one debug line when there is nobody to act on.
    ControlActions Stop();   // SERVER_STOP to the projecting presenter
    ControlActions Start();  // SERVER_START to the last presenter logged in
    ControlActions ChangeMode(const ReceiverMode& mode);  // SERVER_CHANGE_RESOLUTION to all

    const ReceiverSettings& Settings() const { return settings_; }
    // Connection id of the projecting presenter.
    std::optional<int> Projecting() const { return projecting_; }
    // Dotted address of the projecting presenter.
    std::optional<std::string> ProjectingAddress() const;
    // The mode at the current projection's start and the picture size announced since then.
    ProjectionStart CurrentStart() const { return start_; }
    bool LoggedIn(int id) const;

  private:
    struct Presenter {
        std::string address;
        std::string computer_name;
        bool logged_in = false;
        uint64_t login_order = 0;  // larger = logged in later
        uint64_t keep_alives = 0;
    };

    std::string Describe(int id) const;
    void BeginProjection(int id, ControlActions& actions);

    ReceiverSettings settings_;
    std::map<int, Presenter> presenters_;
    std::optional<int> projecting_;
    ProjectionStart start_;
    uint64_t logins_ = 0;
};

}  // namespace receiver
