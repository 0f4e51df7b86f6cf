// AES-128 in ECB mode (FIPS-197, one 16-byte block at a time, no padding) for the version
// handshake: the shipped "version" file is decrypted with the file key, and the version text is
// sent to the receiver encrypted with the wire key.
#pragma once

#include <array>
#include <cstdint>

namespace tarrowlink {

class AesCipher {
  public:
    // Key texts; a key is the first 16 bytes of its text (shorter texts are zero-padded).
    static constexpr char kFileKey[] = "Demo_key_for_cipher";
    static constexpr char kWireKey[] = "Demo wire cipher key";
    static constexpr int kBlockSize = 16;

    using Block = std::array<uint8_t, kBlockSize>;

    // The 16-byte key formed from a zero-terminated key text.
    static Block FormKey(const char* key_text);

    // One 16-byte block through AES-128 with a raw key. False only when the crypto library fails.
    bool EncryptBlock(const Block& key, const uint8_t* in, uint8_t* out) const;
    bool DecryptBlock(const Block& key, const uint8_t* in, uint8_t* out) const;

    // Decrypts the first block of file_name into output (16 bytes). True when the file could be
    // opened and holds at most one whole block (a trailing partial block is ignored; a file shorter
    // than 16 bytes leaves output untouched). False when it cannot be opened or read, or holds 32
    // bytes or more.
    bool DecryptFile(const char* key_text, const char* file_name, uint8_t* output) const;

    // Encrypts a zero-terminated text of at most 15 characters: text must have room for 16
    // bytes, since the rest of the block is zero-filled in place. Writes 16 bytes to output.
    bool EncryptText(const char* key_text, char* text, uint8_t* output) const;

    // The 16 bytes that MSG_VERSION carries: the first 8 characters of the version text in the
    // "version" file of the current directory, encrypted with the wire key. 1 on success; on
    // failure "Check version failed!" and 0.
    int VersionPayload(uint8_t* payload) const;
};

}  // namespace tarrowlink
