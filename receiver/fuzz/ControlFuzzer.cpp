// libFuzzer target: the receiver's control side, free of I/O, driven by a script of connections,
// 128-byte messages and operator commands taken from the input; and the mode texts it parses.
//
// Input: 4 bytes of settings, then operations, each an opcode byte (low 3 bits: the operation; the
// rest, modulo the number of live connections + 1: which one it is about, the last value naming a
// connection that does not exist) and its operands:
//   settings: [flags: 1 login code, 2 version "1.0.0" required, 4 reject starts, 8|16 misbehaviour]
//             [mode index] [code low byte] [code high byte]
//   0 connect a new presenter        1 disconnect           2 [128 bytes] a raw message
//   3 [type][n][n bytes] a message    4 operator stop         5 operator start
//   6 [n][n bytes] operator mode text (applied when it parses)  7 [n][n bytes] a mode text alone
// Short operands are zero-padded.
//
// Properties: the handler only ever sends receiver message types, and only to presenters that are
// connected; the projecting presenter is connected and logged in; the projection's announced size
// is 0 or within 1..kMaxPictureSide; every mode the handler sends reads, with the client's own
// ParseMode, as the receiver's mode; a mode text the receiver accepts is within range, reads back
// from its Text() as the same mode, and reads as the same mode with the client's ParseMode; a
// login's name is at most 112 bytes without a zero; a message survives Encode and Decode.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "client/session/ControlMessage.h"
#include "receiver/ControlHandler.h"
#include "tests/fuzz/FuzzCheck.h"

namespace {

using namespace receiver;

class Input {
  public:
    Input(const uint8_t* data, size_t size) : data_(data), size_(size) {}
    bool Empty() const { return at_ >= size_; }
    uint8_t Byte() { return at_ < size_ ? data_[at_++] : 0; }
    // n bytes, zero-padded past the end of the input.
    std::vector<uint8_t> Bytes(size_t n) {
        std::vector<uint8_t> bytes(n, 0);
        const size_t have = std::min(n, size_ - std::min(at_, size_));
        if (have > 0) std::memcpy(bytes.data(), data_ + at_, have);
        at_ += have;
        return bytes;
    }

  private:
    const uint8_t* data_;
    size_t size_;
    size_t at_ = 0;
};

void CheckClientReads(const uint8_t* payload, const ReceiverMode& mode) {
    int32_t width = 0, height = 0, bits = 0;
    FUZZ_CHECK(tarrowlink::ParseMode(reinterpret_cast<const char*>(payload), kControlPayloadSize,
                                     &width, &height, &bits) == 1);
    FUZZ_CHECK(width == mode.width && height == mode.height && bits == mode.bits_per_pixel);
}

std::optional<ReceiverMode> CheckModeText(const std::vector<uint8_t>& bytes) {
    const std::string_view text(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    std::optional<ReceiverMode> mode = ParseModeText(text);
    if (!mode) return mode;
    FUZZ_CHECK(mode->width >= 1 && mode->width <= kMaxPictureSide);
    FUZZ_CHECK(mode->height >= 1 && mode->height <= kMaxPictureSide);
    FUZZ_CHECK(mode->bits_per_pixel == 16 || mode->bits_per_pixel == 24 ||
               mode->bits_per_pixel == 32);
    FUZZ_CHECK(ParseModeText(mode->Text()) == mode);
    int32_t width = 0, height = 0, bits = 0;
    FUZZ_CHECK(tarrowlink::ParseMode(text.data(), text.size(), &width, &height, &bits) == 1);
    FUZZ_CHECK(width == mode->width && height == mode->height && bits == mode->bits_per_pixel);
    return mode;
}

void CheckMessage(const ControlMessage& message) {
    FUZZ_CHECK(ControlMessage::Decode(message.Encode().data()).payload == message.payload);
    FUZZ_CHECK(ControlMessage::Decode(message.Encode().data()).type == message.type);
    FUZZ_CHECK(!PresenterMessageName(message.type).empty());
    LoginRequest login = LoginRequest::From(message);
    FUZZ_CHECK(login.code == message.PayloadInt(0));
    FUZZ_CHECK(login.width == message.PayloadInt(4));
    FUZZ_CHECK(login.height == message.PayloadInt(8));
    FUZZ_CHECK(login.computer_name.size() <= 112);
    FUZZ_CHECK(login.computer_name.find('\0') == std::string::npos);
}

void CheckActions(const ControlHandler& handler, const ControlActions& actions,
                  const std::vector<int>& live) {
    for (const ControlActions::Send& send : actions.sends) {
        FUZZ_CHECK(std::find(live.begin(), live.end(), send.connection) != live.end());
        const int32_t type = send.message.type;
        FUZZ_CHECK(type >= SERVER_START && type <= SERVER_CHANGE_RESOLUTION);
        FUZZ_CHECK(ReceiverMessageName(type).rfind("SERVER_", 0) == 0);
        if (type == SERVER_VERSION_OK || type == SERVER_CHANGE_RESOLUTION) {
            CheckClientReads(send.message.payload.data(), handler.Settings().mode);
        }
    }
    if (actions.projection_started) FUZZ_CHECK(handler.Projecting().has_value());
    if (auto projecting = handler.Projecting()) {
        FUZZ_CHECK(std::find(live.begin(), live.end(), *projecting) != live.end());
        FUZZ_CHECK(handler.LoggedIn(*projecting));
        FUZZ_CHECK(handler.ProjectingAddress().has_value());
    }
    const ProjectionStart start = handler.CurrentStart();
    for (int side : {start.announced_width, start.announced_height}) {
        FUZZ_CHECK(side == 0 || (side >= 1 && side <= kMaxPictureSide));
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const ReceiverMode kModes[] = {
        {1024, 768, 16}, {1280, 800, 24}, {4096, 4096, 32}, {1, 1, 16}, {800, 600, 32}};
    Input input(data, size);
    ReceiverSettings settings;
    settings.name = "fuzz";
    const uint8_t flags = input.Byte();
    settings.mode = kModes[input.Byte() % std::size(kModes)];
    const int32_t code = input.Byte() | input.Byte() << 8;
    if (flags & 1) settings.code = code;
    if (flags & 2) settings.version_text = "1.0.0";
    settings.reject = (flags & 4) != 0;
    settings.misbehaviour = static_cast<ReceiverSettings::Misbehaviour>((flags >> 3) & 3);
    ControlHandler handler(settings);

    std::vector<int> live;
    int next_id = 1;
    while (!input.Empty()) {
        const uint8_t opcode = input.Byte();
        const size_t pick = (opcode >> 3) % (live.size() + 1);
        const int id = pick < live.size() ? live[pick] : 100000;  // else a connection never made
        ControlActions actions;
        switch (opcode & 7) {
            case 0:
                if (live.size() < 8) {
                    live.push_back(next_id);
                    handler.Connected(next_id, "10.0.0." + std::to_string(next_id));
                    ++next_id;
                }
                break;
            case 1:
                actions = handler.Disconnected(id);
                FUZZ_CHECK(handler.Projecting() != id);
                live.erase(std::remove(live.begin(), live.end(), id), live.end());
                break;
            case 2: {
                const std::vector<uint8_t> bytes = input.Bytes(kControlMessageSize);
                const ControlMessage message = ControlMessage::Decode(bytes.data());
                CheckMessage(message);
                actions = handler.Received(id, message);
                break;
            }
            case 3: {
                ControlMessage message;
                message.type = input.Byte();
                const std::vector<uint8_t> bytes =
                    input.Bytes(std::min<size_t>(input.Byte(), kControlPayloadSize));
                std::copy(bytes.begin(), bytes.end(), message.payload.begin());
                CheckMessage(message);
                actions = handler.Received(id, message);
                break;
            }
            case 4:
                actions = handler.Stop();
                FUZZ_CHECK(!handler.Projecting().has_value());
                break;
            case 5:
                actions = handler.Start();
                break;
            case 6:
                if (auto mode = CheckModeText(input.Bytes(input.Byte()))) {
                    actions = handler.ChangeMode(*mode);
                    FUZZ_CHECK(handler.Settings().mode == *mode);
                }
                break;
            case 7:
                CheckModeText(input.Bytes(input.Byte()));
                break;
        }
        CheckActions(handler, actions, live);
    }
    return 0;
}
