#include "receiver/VersionCheck.h"

#include <cstring>

#include "client/session/AesCipher.h"

namespace receiver {

using tarrowlink::AesCipher;

std::optional<std::string> DecryptVersionText(const uint8_t* block) {
    uint8_t plain[AesCipher::kBlockSize];
    AesCipher cipher;
    if (!cipher.DecryptBlock(AesCipher::FormKey(AesCipher::kWireKey), block, plain)) {
        return std::nullopt;
    }
    const char* text = reinterpret_cast<const char*>(plain);
    return std::string(text, strnlen(text, sizeof plain));
}

bool VersionMatches(std::string_view presented, std::string_view expected) {
    return presented.substr(0, kVersionCompareLength) == expected.substr(0, kVersionCompareLength);
}

std::optional<std::string> EncryptVersionText(std::string_view text) {
    char block[AesCipher::kBlockSize] = {};
    std::memcpy(block, text.data(), std::min(text.size(), kVersionCompareLength));
    uint8_t out[AesCipher::kBlockSize];
    AesCipher cipher;
    if (!cipher.EncryptText(AesCipher::kWireKey, block, out)) return std::nullopt;
    return std::string(reinterpret_cast<const char*>(out), sizeof out);
}

}  // namespace receiver
