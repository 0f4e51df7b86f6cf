#include "client/session/ControlMessage.h"

#include <cstring>

namespace tarrowlink {

void EncodeControlMessage(int32_t type, const uint8_t* payload, uint8_t* out) {
    PutInt32(out, type);
    if (payload != nullptr) {
        std::memcpy(out + 4, payload, kControlPayloadSize);
    } else {
        std::memset(out + 4, 0, kControlPayloadSize);
    }
}

void BuildLoginPayload(uint8_t* payload, uint32_t code, int32_t width, int32_t height,
                       const char* computer_name) {
    std::memset(payload, 0, kControlPayloadSize);
    PutInt32(payload + kLoginCodeOffset, static_cast<int32_t>(code));
    PutInt32(payload + kLoginWidthOffset, width);
    PutInt32(payload + kLoginHeightOffset, height);
    size_t n = strnlen(computer_name, kLoginNameSize);
    std::memcpy(payload + kLoginNameOffset, computer_name, n);
}

int ParseMode(const char* text, size_t size, int32_t* width, int32_t* height, int32_t* bits,
              bool* out_of_range) {
    if (out_of_range != nullptr) *out_of_range = false;
    size = strnlen(text, size);
    int64_t values[3] = {};
    size_t at = 0;
    for (int64_t& value : values) {
        while (at < size && text[at] == 'x') ++at;
        if (at == size) return 0;
        while (at < size && text[at] >= '0' && text[at] <= '9') {
            value = value * 10 + (text[at] - '0');
            if (value > kMaxReceiverSide) value = kMaxReceiverSide + 1;  // no overflow
            ++at;
        }
        if (value == 0) return 0;
        while (at < size && text[at] != 'x') ++at;  // the rest of the piece
    }
    if (values[0] > kMaxReceiverSide || values[1] > kMaxReceiverSide ||
        (values[2] != 16 && values[2] != 24 && values[2] != 32)) {
        if (out_of_range != nullptr) *out_of_range = true;
        return 0;
    }
    *width = static_cast<int32_t>(values[0]);
    *height = static_cast<int32_t>(values[1]);
    *bits = static_cast<int32_t>(values[2]);
    return 1;
}

}  // namespace tarrowlink
