// The AES-128 block operations on OpenSSL's EVP interface.
#include <openssl/evp.h>

#include <memory>

#include "client/session/AesCipher.h"

namespace tarrowlink {
namespace {

struct CipherContextFree {
    void operator()(EVP_CIPHER_CTX* context) const { EVP_CIPHER_CTX_free(context); }
};

bool RunBlock(const AesCipher::Block& key, const uint8_t* in, uint8_t* out, bool encrypt) {
    std::unique_ptr<EVP_CIPHER_CTX, CipherContextFree> context(EVP_CIPHER_CTX_new());
    if (!context || EVP_CipherInit_ex(context.get(), EVP_aes_128_ecb(), nullptr, key.data(),
                                      nullptr, encrypt ? 1 : 0) != 1) {
        return false;
    }
    EVP_CIPHER_CTX_set_padding(context.get(), 0);
    int written = 0;
    return EVP_CipherUpdate(context.get(), out, &written, in, AesCipher::kBlockSize) == 1 &&
           written == AesCipher::kBlockSize;
}

}  // namespace

bool AesCipher::EncryptBlock(const Block& key, const uint8_t* in, uint8_t* out) const {
    return RunBlock(key, in, out, true);
}

bool AesCipher::DecryptBlock(const Block& key, const uint8_t* in, uint8_t* out) const {
    return RunBlock(key, in, out, false);
}

}  // namespace tarrowlink
