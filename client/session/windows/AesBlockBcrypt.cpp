// The AES-128 block operations on the system's own cryptography (CNG, BCrypt): one ECB block a
// call, without padding.
#include <windows.h>
// after windows.h, which it needs
#include <bcrypt.h>

#include <memory>
#include <type_traits>

#include "client/session/AesCipher.h"

namespace tarrowlink {
namespace {

struct AlgorithmClose {
    void operator()(BCRYPT_ALG_HANDLE algorithm) const {
        ::BCryptCloseAlgorithmProvider(algorithm, 0);
    }
};
struct KeyDestroy {
    void operator()(BCRYPT_KEY_HANDLE key) const { ::BCryptDestroyKey(key); }
};
using Algorithm = std::unique_ptr<std::remove_pointer_t<BCRYPT_ALG_HANDLE>, AlgorithmClose>;
using Key = std::unique_ptr<std::remove_pointer_t<BCRYPT_KEY_HANDLE>, KeyDestroy>;

bool RunBlock(const AesCipher::Block& key_bytes, const uint8_t* in, uint8_t* out, bool encrypt) {
    BCRYPT_ALG_HANDLE raw_algorithm = nullptr;
    if (!BCRYPT_SUCCESS(
            ::BCryptOpenAlgorithmProvider(&raw_algorithm, BCRYPT_AES_ALGORITHM, nullptr, 0))) {
        return false;
    }
    Algorithm algorithm(raw_algorithm);
    auto* ecb = reinterpret_cast<PUCHAR>(const_cast<wchar_t*>(BCRYPT_CHAIN_MODE_ECB));
    if (!BCRYPT_SUCCESS(::BCryptSetProperty(algorithm.get(), BCRYPT_CHAINING_MODE, ecb,
                                            sizeof BCRYPT_CHAIN_MODE_ECB, 0))) {
        return false;
    }
    BCRYPT_KEY_HANDLE raw_key = nullptr;
    if (!BCRYPT_SUCCESS(::BCryptGenerateSymmetricKey(algorithm.get(), &raw_key, nullptr, 0,
                                                     const_cast<PUCHAR>(key_bytes.data()),
                                                     static_cast<ULONG>(key_bytes.size()), 0))) {
        return false;
    }
    Key key(raw_key);
    UCHAR input[AesCipher::kBlockSize];
    std::copy(in, in + AesCipher::kBlockSize, input);
    ULONG written = 0;
    NTSTATUS status = encrypt ? ::BCryptEncrypt(key.get(), input, sizeof input, nullptr, nullptr, 0,
                                                out, AesCipher::kBlockSize, &written, 0)
                              : ::BCryptDecrypt(key.get(), input, sizeof input, nullptr, nullptr, 0,
                                                out, AesCipher::kBlockSize, &written, 0);
    return BCRYPT_SUCCESS(status) && written == AesCipher::kBlockSize;
}

}  // namespace

bool AesCipher::EncryptBlock(const Block& key, const uint8_t* in, uint8_t* out) const {
    return RunBlock(key, in, out, true);
}

bool AesCipher::DecryptBlock(const Block& key, const uint8_t* in, uint8_t* out) const {
    return RunBlock(key, in, out, false);
}

}  // namespace tarrowlink
