// The control connection's only unit: a fixed 128-byte message, an int32 type (little-endian)
// followed by a 124-byte payload whose layout depends on the type. Pure data and parsing; no I/O.
#pragma once

#include <cstddef>
#include <cstdint>

namespace tarrowlink {

constexpr int kControlMessageSize = 128;
constexpr int kControlPayloadSize = 124;

// Client to receiver.
enum ClientMessageType : int32_t {
    MSG_LOGIN = 0,
    MSG_START_REQUEST = 1,
    MSG_STOP_REQUEST = 2,
    MSG_VERSION = 4,
    MSG_PICTURE_SIZE = 5,
    MSG_SCREEN_CHANGED = 12,
    MSG_KEEP_ALIVE = 13,
};

// Receiver to client.
enum ServerMessageType : int32_t {
    SERVER_START = 0,
    SERVER_START_REJECT = 1,
    SERVER_STOP = 2,
    SERVER_CODE_OK = 3,
    SERVER_CODE_ERROR = 4,
    SERVER_VERSION_ERROR = 5,
    SERVER_VERSION_OK = 6,
    SERVER_CHANGE_RESOLUTION = 7,
};

// Login payload layout (payload offsets; message offsets are 4 more).
constexpr int kLoginCodeOffset = 0;
constexpr int kLoginWidthOffset = 4;
constexpr int kLoginHeightOffset = 8;
constexpr int kLoginNameOffset = 12;
constexpr int kLoginNameSize = 112;

// Largest receiver side and the depths the encoder can produce. Modes outside these are refused:
// they would only lead to absurd buffer sizes later.
constexpr int32_t kMaxReceiverSide = 4096;

inline void PutInt32(uint8_t* at, int32_t value) {
    uint32_t v = static_cast<uint32_t>(value);
    at[0] = static_cast<uint8_t>(v);
    at[1] = static_cast<uint8_t>(v >> 8);
    at[2] = static_cast<uint8_t>(v >> 16);
    at[3] = static_cast<uint8_t>(v >> 24);
}

inline int32_t GetInt32(const uint8_t* at) {
    return static_cast<int32_t>(static_cast<uint32_t>(at[0]) | static_cast<uint32_t>(at[1]) << 8 |
                                static_cast<uint32_t>(at[2]) << 16 |
                                static_cast<uint32_t>(at[3]) << 24);
}

// Fills out (128 bytes) with type and payload (124 bytes; nullptr gives zeros).
void EncodeControlMessage(int32_t type, const uint8_t* payload, uint8_t* out);

// Builds the MSG_LOGIN payload (124 bytes): code, the receiver's width and height, and the
// computer name (cut to 112 bytes, zero-padded; a name of 112 characters or more has no zero).
void BuildLoginPayload(uint8_t* payload, uint32_t code, int32_t width, int32_t height,
                       const char* computer_name);

// Reads a receiver mode text "WIDTHxHEIGHTxBITS" from at most size bytes of text (it need not be
// zero-terminated). Runs of 'x' are one separator and leading ones are skipped; each piece's
// leading decimal digits are its value. Returns 1 with the three values when all three are
// non-zero, 0 otherwise: also when a side exceeds kMaxReceiverSide or the depth is not 16, 24 or
// 32, which no receiver can mean and no buffer should be sized for (out_of_range, when given, tells
// that case apart from a malformed text).
int ParseMode(const char* text, size_t size, int32_t* width, int32_t* height, int32_t* bits,
              bool* out_of_range = nullptr);

}  // namespace tarrowlink
