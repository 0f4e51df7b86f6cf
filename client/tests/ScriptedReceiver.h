// A scripted receiver for the library's tests: listens on the control port on loopback, records
// every 128-byte message it gets and answers each with what the test's script says. It can also
// send messages of its own and drop the connection, as a receiver does.
#pragma once

#include <atomic>
#include <cstdint>
#include <cstring>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace tarrowlink::test {

struct Message {
    int connection = 0;  // index of the connection it came on, from 0
    uint8_t bytes[128] = {};
    int32_t Type() const;
    int32_t IntAt(int offset) const;
    std::string TextAt(int offset, int size) const;
};

// Builds a 128-byte receiver message with an optional text payload (a mode text).
Message Reply(int32_t type, const char* text = nullptr);

class ScriptedReceiver {
  public:
    // What to answer to one incoming message; an empty list answers nothing.
    using Script = std::function<std::vector<Message>(const Message& incoming)>;

    explicit ScriptedReceiver(Script script);
    ~ScriptedReceiver();

    // Everything received so far.
    std::vector<Message> Received() const;
    // How many received messages had this type.
    int CountType(int32_t type) const;
    // Connections accepted so far, and whether the newest one is still open.
    int Connections() const { return connections_.load(); }
    bool NewestOpen() const;
    // Sends a message on the newest connection.
    void Send(const Message& message);
    // Closes every connection (the receiver going away) but keeps listening.
    void DropConnections();

  private:
    void Run();
    void CloseAll();

    Script script_;
    int listener_ = -1;
    std::atomic<bool> stop_{false};
    std::atomic<bool> drop_{false};
    std::atomic<int> connections_{0};
    mutable std::mutex mutex_;
    std::vector<int> fds_;            // open connections, newest last
    std::vector<int> fd_connection_;  // the connection index of each
    std::vector<Message> received_;
    std::thread thread_;
};

}  // namespace tarrowlink::test
