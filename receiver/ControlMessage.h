// The fixed 128-byte messages of the control connection, as the receiver reads and writes them:
// an int32 type (little-endian) followed by 124 bytes of payload, in both directions.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace receiver {

constexpr int kControlMessageSize = 128;
constexpr int kControlPayloadSize = 124;

// Messages from the presenter.
enum PresenterMessage : int32_t {
    MSG_LOGIN = 0,
    MSG_START_REQUEST = 1,
    MSG_STOP_REQUEST = 2,
    MSG_VERSION = 4,
    MSG_PICTURE_SIZE = 5,
    MSG_SCREEN_CHANGED = 12,
    MSG_KEEP_ALIVE = 13,
};

// Messages to the presenter.
enum ReceiverMessage : int32_t {
    SERVER_START = 0,
    SERVER_START_REJECT = 1,
    SERVER_STOP = 2,
    SERVER_CODE_OK = 3,
    SERVER_CODE_ERROR = 4,
    SERVER_VERSION_ERROR = 5,
    SERVER_VERSION_OK = 6,
    SERVER_CHANGE_RESOLUTION = 7,
};

// Name of a presenter message type for diagnostics ("MSG_LOGIN", ...; "type N" when unknown).
std::string PresenterMessageName(int32_t type);
// Name of a receiver message type ("SERVER_START", ...; "type N" when unknown).
std::string ReceiverMessageName(int32_t type);

struct ControlMessage {
    int32_t type = 0;
    std::array<uint8_t, kControlPayloadSize> payload{};

    // The 128 wire bytes.
    std::array<uint8_t, kControlMessageSize> Encode() const;
    // Reads exactly kControlMessageSize bytes from data.
    static ControlMessage Decode(const uint8_t* data);

    // Little-endian int32 at payload offset (0..120); 0 beyond the payload.
    int32_t PayloadInt(int offset) const;
    void SetPayloadInt(int offset, int32_t value);
    // Zero-terminated text from payload offset, at most max_size bytes (no terminator needed).
    std::string PayloadText(int offset, int max_size) const;
    // Copies text (cut to fit, zero-padded) into the payload from offset.
    void SetPayloadText(int offset, std::string_view text);
};

// The receiver's picture mode: width x height x bits per pixel.
struct ReceiverMode {
    int width = 1024;
    int height = 768;
    int bits_per_pixel = 16;

    bool operator==(const ReceiverMode&) const = default;
    // The mode text the presenter parses, e.g. "1024x768x16".
    std::string Text() const;
    int BytesPerPixel() const { return bits_per_pixel / 8; }
};

// Largest width or height the receiver accepts for its mode and for an announced picture. Keeps
// every picture allocation bounded (4096 x 4096 x 4 bytes at most).
constexpr int kMaxPictureSide = 4096;

// Parses "WxHxBPP" strictly: decimal width and height from 1 to kMaxPictureSide, bits per pixel
// 16, 24 or 32, nothing else around. nullopt otherwise.
std::optional<ReceiverMode> ParseModeText(std::string_view text);

// What a presenter's MSG_LOGIN carries.
struct LoginRequest {
    int32_t code = 0;
    int32_t width = 0;
    int32_t height = 0;
    std::string computer_name;  // up to 112 bytes

    static LoginRequest From(const ControlMessage& message);
};

}  // namespace receiver
