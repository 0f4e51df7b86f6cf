// libFuzzer target: bytes as the receiver's side of the control connection, read the way the
// client reads it. The input is cut into 128-byte messages (the last one zero-padded); each
// message's int32 type picks its handling, and the mode text of SERVER_VERSION_OK and
// SERVER_CHANGE_RESOLUTION goes through ParseMode over exactly its 124-byte payload. The whole
// input is also read as one mode text of its own length without a terminator, and as the computer
// name of a login payload, so neither reader may go past the size it is given.
//
// Properties: a mode is only ever accepted with both sides in 1..kMaxReceiverSide and a depth of
// 16, 24 or 32; a mode out of range is refused; an accepted mode, written back as
// "WIDTHxHEIGHTxBITS", reads as the same mode; the login payload's name field holds at most 112
// bytes of the name and zeros after it.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>

#include "client/session/ControlMessage.h"
#include "tests/fuzz/FuzzCheck.h"

namespace {

using namespace tarrowlink;

// Reads text of exactly size bytes (a heap copy of that size) and checks what ParseMode says.
void CheckMode(const uint8_t* text, size_t size) {
    auto copy = std::make_unique<char[]>(size);
    if (size > 0) std::memcpy(copy.get(), text, size);
    int32_t width = -1, height = -1, bits = -1;
    bool out_of_range = true;
    const int ok = ParseMode(copy.get(), size, &width, &height, &bits, &out_of_range);
    FUZZ_CHECK(ok == 0 || ok == 1);
    if (!ok) return;
    FUZZ_CHECK(!out_of_range);
    FUZZ_CHECK(width >= 1 && width <= kMaxReceiverSide);
    FUZZ_CHECK(height >= 1 && height <= kMaxReceiverSide);
    FUZZ_CHECK(bits == 16 || bits == 24 || bits == 32);

    char again[kControlPayloadSize] = {};
    const int n = std::snprintf(again, sizeof again, "%dx%dx%d", width, height, bits);
    int32_t w2 = 0, h2 = 0, b2 = 0;
    FUZZ_CHECK(ParseMode(again, static_cast<size_t>(n), &w2, &h2, &b2) == 1);
    FUZZ_CHECK(w2 == width && h2 == height && b2 == bits);
}

void CheckLoginName(const uint8_t* data, size_t size) {
    // The name as the platform gives it: zero-terminated, any bytes before the zero.
    auto name = std::make_unique<char[]>(size + 1);
    if (size > 0) std::memcpy(name.get(), data, size);
    name[size] = '\0';
    uint8_t payload[kControlPayloadSize];
    std::memset(payload, 0xA5, sizeof payload);
    BuildLoginPayload(payload, 1234, 1024, 768, name.get());
    FUZZ_CHECK(GetInt32(payload + kLoginCodeOffset) == 1234);
    FUZZ_CHECK(GetInt32(payload + kLoginWidthOffset) == 1024);
    FUZZ_CHECK(GetInt32(payload + kLoginHeightOffset) == 768);
    const size_t kept = strnlen(name.get(), kLoginNameSize);
    FUZZ_CHECK(std::memcmp(payload + kLoginNameOffset, name.get(), kept) == 0);
    for (size_t i = kept; i < kLoginNameSize; ++i) FUZZ_CHECK(payload[kLoginNameOffset + i] == 0);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    for (size_t offset = 0; offset < size; offset += kControlMessageSize) {
        uint8_t message[kControlMessageSize] = {};
        const size_t n = size - offset < kControlMessageSize ? size - offset : kControlMessageSize;
        std::memcpy(message, data + offset, n);
        switch (GetInt32(message)) {
            case SERVER_VERSION_OK:
            case SERVER_CHANGE_RESOLUTION:
                CheckMode(message + 4, kControlPayloadSize);
                break;
            default:
                // Every other reply is told by its type alone.
                break;
        }
        uint8_t echo[kControlMessageSize];
        EncodeControlMessage(GetInt32(message), message + 4, echo);
        FUZZ_CHECK(std::memcmp(echo, message, kControlMessageSize) == 0);
    }
    CheckMode(data, size);
    CheckLoginName(data, size);
    return 0;
}
