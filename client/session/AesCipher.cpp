#include "client/session/AesCipher.h"

#include <cstdio>
#include <cstring>
#include <memory>

#include "platform/Debug.h"

namespace tarrowlink {
namespace {

struct FileClose {
    void operator()(std::FILE* file) const { std::fclose(file); }
};

}  // namespace

AesCipher::Block AesCipher::FormKey(const char* key_text) {
    Block key{};
    if (key_text != nullptr) std::memcpy(key.data(), key_text, strnlen(key_text, kBlockSize));
    return key;
}

bool AesCipher::DecryptFile(const char* key_text, const char* file_name, uint8_t* output) const {
    std::unique_ptr<std::FILE, FileClose> file(std::fopen(file_name, "rb"));
    if (!file) return false;
    // Two blocks and one byte are enough to tell "one block" from "32 bytes or more".
    uint8_t bytes[2 * kBlockSize];
    size_t got = std::fread(bytes, 1, sizeof bytes, file.get());
    if (std::ferror(file.get())) return false;
    if (got == sizeof bytes) return false;
    if (got >= static_cast<size_t>(kBlockSize))
        return DecryptBlock(FormKey(key_text), bytes, output);
    return true;
}

bool AesCipher::EncryptText(const char* key_text, char* text, uint8_t* output) const {
    size_t n = strnlen(text, kBlockSize);
    if (n + 1 < static_cast<size_t>(kBlockSize)) std::memset(text + n + 1, 0, kBlockSize - n - 1);
    return EncryptBlock(FormKey(key_text), reinterpret_cast<const uint8_t*>(text), output);
}

int AesCipher::VersionPayload(uint8_t* payload) const {
    uint8_t work[2 * kBlockSize] = {};
    if (!DecryptFile(kFileKey, "version", work)) {
        platform::DebugOutput("Check version failed!");
        return 0;
    }
    work[8] = 0;  // receivers compare the first 8 characters only
    if (!EncryptText(kWireKey, reinterpret_cast<char*>(work), payload)) {
        platform::DebugOutput("Check version failed!");
        return 0;
    }
    return 1;
}

}  // namespace tarrowlink
