// A presenter's end of the receiver's sockets for tests: plain TCP and the 128-byte messages.
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <optional>
#include <string>

#include "platform/Socket.h"
#include "receiver/ControlMessage.h"
#include "receiver/VersionCheck.h"
#include "receiver/tests/TestUnits.h"

namespace receiver::test {

class TcpClient {
  public:
    // Connects to address:port (127.0.0.1 by default); Connected() tells whether it worked.
    explicit TcpClient(uint16_t port, in_addr address = in_addr{htonl(INADDR_LOOPBACK)})
        : fd_(::socket(AF_INET, SOCK_STREAM, 0)) {
        connected_ = platform::ConnectWithTimeout(fd_.get(), address, port, 2000);
    }
    bool Connected() const { return connected_; }
    bool Send(const void* data, size_t size) {
        return ::send(fd_.get(), data, size, MSG_NOSIGNAL) == static_cast<ssize_t>(size);
    }
    bool Send(const Bytes& bytes) { return Send(bytes.data(), bytes.size()); }
    // True when the receiver closed the connection within timeout_ms.
    bool ClosedByPeer(int timeout_ms = 3000) {
        char byte;
        if (platform::WaitReadable(fd_.get(), timeout_ms) != 1) return false;
        return ::recv(fd_.get(), &byte, 1, 0) <= 0;
    }
    void Close() { fd_.reset(); }
    int fd() const { return fd_.get(); }

  private:
    platform::UniqueFd fd_;
    bool connected_ = false;
};

class Presenter : public TcpClient {
  public:
    using TcpClient::TcpClient;

    bool SendMessage(int32_t type, const ControlMessage& payload = {}) {
        ControlMessage message = payload;
        message.type = type;
        auto bytes = message.Encode();
        return Send(bytes.data(), bytes.size());
    }
    // The next message from the receiver, or nullopt after timeout_ms.
    std::optional<ControlMessage> Receive(int timeout_ms = 3000) {
        uint8_t bytes[kControlMessageSize];
        size_t got = 0;
        while (got < sizeof bytes) {
            if (platform::WaitReadable(fd(), timeout_ms) != 1) return std::nullopt;
            ssize_t n = ::recv(fd(), bytes + got, sizeof bytes - got, 0);
            if (n <= 0) return std::nullopt;
            got += static_cast<size_t>(n);
        }
        return ControlMessage::Decode(bytes);
    }
    // Sends and returns the reply's type (-1 when none came).
    int32_t Ask(int32_t type, const ControlMessage& payload = {}) {
        if (!SendMessage(type, payload)) return -1;
        auto reply = Receive();
        last_reply_ = reply.value_or(ControlMessage{});
        return reply ? reply->type : -1;
    }
    int32_t Version(const std::string& text) {
        ControlMessage message;
        auto block = EncryptVersionText(text);
        std::copy(block->begin(), block->end(), message.payload.begin());
        return Ask(MSG_VERSION, message);
    }
    int32_t Login(int32_t code, const std::string& name = "test-laptop") {
        ControlMessage message;
        message.SetPayloadInt(0, code);
        message.SetPayloadInt(4, 1024);
        message.SetPayloadInt(8, 768);
        message.SetPayloadText(12, name);
        return Ask(MSG_LOGIN, message);
    }
    bool PictureSize(int width, int height) {
        ControlMessage message;
        message.SetPayloadInt(0, width);
        message.SetPayloadInt(4, height);
        return SendMessage(MSG_PICTURE_SIZE, message);
    }
    const ControlMessage& LastReply() const { return last_reply_; }

  private:
    ControlMessage last_reply_;
};

}  // namespace receiver::test
