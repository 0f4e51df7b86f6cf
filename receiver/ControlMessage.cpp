#include "receiver/ControlMessage.h"

#include <charconv>
#include <cstring>

namespace receiver {
namespace {

void PutLe32(uint8_t* out, int32_t value) {
    auto v = static_cast<uint32_t>(value);
    out[0] = static_cast<uint8_t>(v);
    out[1] = static_cast<uint8_t>(v >> 8);
    out[2] = static_cast<uint8_t>(v >> 16);
    out[3] = static_cast<uint8_t>(v >> 24);
}

int32_t GetLe32(const uint8_t* in) {
    return static_cast<int32_t>(static_cast<uint32_t>(in[0]) | static_cast<uint32_t>(in[1]) << 8 |
                                static_cast<uint32_t>(in[2]) << 16 |
                                static_cast<uint32_t>(in[3]) << 24);
}

// Decimal value of text, or -1 when it is empty, has a non-digit or exceeds limit.
int ParseDecimal(std::string_view text, int limit) {
    if (text.empty()) return -1;
    int value = 0;
    auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size() || value > limit) return -1;
    return value;
}

}  // namespace

std::string PresenterMessageName(int32_t type) {
    switch (type) {
        case MSG_LOGIN:
            return "MSG_LOGIN";
        case MSG_START_REQUEST:
            return "MSG_START_REQUEST";
        case MSG_STOP_REQUEST:
            return "MSG_STOP_REQUEST";
        case MSG_VERSION:
            return "MSG_VERSION";
        case MSG_PICTURE_SIZE:
            return "MSG_PICTURE_SIZE";
        case MSG_SCREEN_CHANGED:
            return "MSG_SCREEN_CHANGED";
        case MSG_KEEP_ALIVE:
            return "MSG_KEEP_ALIVE";
        default:
            return "type " + std::to_string(type);
    }
}

std::string ReceiverMessageName(int32_t type) {
    switch (type) {
        case SERVER_START:
            return "SERVER_START";
        case SERVER_START_REJECT:
            return "SERVER_START_REJECT";
        case SERVER_STOP:
            return "SERVER_STOP";
        case SERVER_CODE_OK:
            return "SERVER_CODE_OK";
        case SERVER_CODE_ERROR:
            return "SERVER_CODE_ERROR";
        case SERVER_VERSION_ERROR:
            return "SERVER_VERSION_ERROR";
        case SERVER_VERSION_OK:
            return "SERVER_VERSION_OK";
        case SERVER_CHANGE_RESOLUTION:
            return "SERVER_CHANGE_RESOLUTION";
        default:
            return "type " + std::to_string(type);
    }
}

std::array<uint8_t, kControlMessageSize> ControlMessage::Encode() const {
    std::array<uint8_t, kControlMessageSize> bytes{};
    PutLe32(bytes.data(), type);
    std::memcpy(bytes.data() + 4, payload.data(), payload.size());
    return bytes;
}

ControlMessage ControlMessage::Decode(const uint8_t* data) {
    ControlMessage message;
    message.type = GetLe32(data);
    std::memcpy(message.payload.data(), data + 4, message.payload.size());
    return message;
}

int32_t ControlMessage::PayloadInt(int offset) const {
    if (offset < 0 || offset + 4 > kControlPayloadSize) return 0;
    return GetLe32(payload.data() + offset);
}

void ControlMessage::SetPayloadInt(int offset, int32_t value) {
    if (offset < 0 || offset + 4 > kControlPayloadSize) return;
    PutLe32(payload.data() + offset, value);
}

std::string ControlMessage::PayloadText(int offset, int max_size) const {
    if (offset < 0 || offset >= kControlPayloadSize || max_size <= 0) return {};
    size_t room = std::min<size_t>(max_size, kControlPayloadSize - offset);
    const char* text = reinterpret_cast<const char*>(payload.data() + offset);
    return std::string(text, strnlen(text, room));
}

void ControlMessage::SetPayloadText(int offset, std::string_view text) {
    if (offset < 0 || offset >= kControlPayloadSize) return;
    size_t room = kControlPayloadSize - offset;
    std::memset(payload.data() + offset, 0, room);
    std::memcpy(payload.data() + offset, text.data(), std::min(room, text.size()));
}

std::string ReceiverMode::Text() const {
    return std::to_string(width) + "x" + std::to_string(height) + "x" +
           std::to_string(bits_per_pixel);
}

std::optional<ReceiverMode> ParseModeText(std::string_view text) {
    size_t first = text.find('x');
    if (first == std::string_view::npos) return std::nullopt;
    size_t second = text.find('x', first + 1);
    if (second == std::string_view::npos) return std::nullopt;
    ReceiverMode mode;
    mode.width = ParseDecimal(text.substr(0, first), kMaxPictureSide);
    mode.height = ParseDecimal(text.substr(first + 1, second - first - 1), kMaxPictureSide);
    mode.bits_per_pixel = ParseDecimal(text.substr(second + 1), 32);
    if (mode.width < 1 || mode.height < 1) return std::nullopt;
    if (mode.bits_per_pixel != 16 && mode.bits_per_pixel != 24 && mode.bits_per_pixel != 32) {
        return std::nullopt;
    }
    return mode;
}

LoginRequest LoginRequest::From(const ControlMessage& message) {
    // Payload offsets are the message offsets minus the 4-byte type.
    LoginRequest login;
    login.code = message.PayloadInt(0);
    login.width = message.PayloadInt(4);
    login.height = message.PayloadInt(8);
    login.computer_name = message.PayloadText(12, 112);
    return login;
}

}  // namespace receiver
