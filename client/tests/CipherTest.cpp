#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "client/session/AesCipher.h"
#include "client/tests/TestSupport.h"

namespace tarrowlink {
namespace {

std::vector<uint8_t> Hex(const char* text) {
    std::vector<uint8_t> bytes;
    for (size_t i = 0; text[i] && text[i + 1]; i += 2) {
        bytes.push_back(static_cast<uint8_t>(std::stoi(std::string(text + i, 2), nullptr, 16)));
    }
    return bytes;
}

TEST(AesCipher, Fips197Vectors) {
    AesCipher cipher;
    struct Vector {
        const char* key;
        const char* plain;
        const char* cipher;
    };
    for (const Vector& v :
         {Vector{"000102030405060708090a0b0c0d0e0f", "00112233445566778899aabbccddeeff",
                 "69c4e0d86a7b0430d8cdb78070b4c55a"},
          Vector{"2b7e151628aed2a6abf7158809cf4f3c", "3243f6a8885a308d313198a2e0370734",
                 "3925841d02dc09fbdc118597196a0b32"}}) {
        AesCipher::Block key;
        std::memcpy(key.data(), Hex(v.key).data(), 16);
        uint8_t out[16];
        ASSERT_TRUE(cipher.EncryptBlock(key, Hex(v.plain).data(), out));
        EXPECT_EQ(std::vector<uint8_t>(out, out + 16), Hex(v.cipher));
        uint8_t back[16];
        ASSERT_TRUE(cipher.DecryptBlock(key, out, back));
        EXPECT_EQ(std::vector<uint8_t>(back, back + 16), Hex(v.plain));
    }
}

TEST(AesCipher, KeysAreTheFirstSixteenBytesOfTheirTextZeroPadded) {
    auto wire = AesCipher::FormKey(AesCipher::kWireKey);
    EXPECT_EQ(std::string(wire.begin(), wire.end()), "Demo wire cipher");
    auto file = AesCipher::FormKey(AesCipher::kFileKey);
    EXPECT_EQ(std::string(file.begin(), file.end()), "Demo_key_for_cip");
    auto short_key = AesCipher::FormKey("abc");
    EXPECT_EQ(std::string(short_key.begin(), short_key.end()),
              std::string("abc") + std::string(13, '\0'));
}

// Works in a directory of its own, because the version file is looked up by relative name.
class VersionFile : public ::testing::Test {
  protected:
    void SetUp() override {
        old_ = std::filesystem::current_path();
        dir_ = std::filesystem::temp_directory_path() /
               ("beamora-version-" + std::to_string(std::random_device{}()));
        std::filesystem::create_directory(dir_);
        std::filesystem::current_path(dir_);
    }
    void TearDown() override {
        std::filesystem::current_path(old_);
        std::filesystem::remove_all(dir_);
    }
    // Writes "version": text encrypted with the file key, then `extra` more bytes.
    void Write(const char* text, size_t extra = 0, size_t cut_to = 16) {
        char block[16] = {};
        std::strncpy(block, text, 15);
        uint8_t encrypted[16];
        ASSERT_TRUE(cipher_.EncryptText(AesCipher::kFileKey, block, encrypted));
        std::ofstream out("version", std::ios::binary);
        out.write(reinterpret_cast<const char*>(encrypted), static_cast<std::streamsize>(cut_to));
        for (size_t i = 0; i < extra; ++i) out.put('\x5a');
    }
    // What the receiver sees: the payload decrypted with the wire key.
    std::string SentText(const uint8_t* payload) {
        uint8_t plain[17] = {};
        EXPECT_TRUE(cipher_.DecryptBlock(AesCipher::FormKey(AesCipher::kWireKey), payload, plain));
        return reinterpret_cast<const char*>(plain);
    }
    AesCipher cipher_;
    std::filesystem::path old_;
    std::filesystem::path dir_;
};

TEST_F(VersionFile, PayloadIsTheFirstEightCharactersUnderTheWireKey) {
    Write("1.2.3-rc1-long");  // 14 characters
    uint8_t payload[124] = {};
    ASSERT_EQ(cipher_.VersionPayload(payload), 1);
    EXPECT_EQ(SentText(payload), "1.2.3-rc");
    // The bytes on the wire, the same from every build (OpenSSL on Linux, CNG on Windows).
    EXPECT_EQ(std::vector<uint8_t>(payload, payload + 16), Hex("2a7b0f0a9889fb3ca4c83256d5b82503"));
    for (int i = 16; i < 124; ++i) EXPECT_EQ(payload[i], 0) << i;
}

TEST_F(VersionFile, SixteenAndThirtyOneBytesGiveTheSamePayload) {
    Write("2.0");
    uint8_t sixteen[16];
    ASSERT_EQ(cipher_.VersionPayload(sixteen), 1);
    Write("2.0", 15);
    uint8_t thirty_one[16];
    ASSERT_EQ(cipher_.VersionPayload(thirty_one), 1);
    EXPECT_EQ(std::memcmp(sixteen, thirty_one, 16), 0);
    EXPECT_EQ(SentText(sixteen), "2.0");
}

TEST_F(VersionFile, ShortFilesSendAnEmptyTextAndLongOrMissingOnesAreRefused) {
    test::DebugCapture debug;
    uint8_t payload[16];
    for (size_t size : {0u, 15u}) {
        Write("2.0", 0, size);
        ASSERT_EQ(cipher_.VersionPayload(payload), 1) << size;
        EXPECT_EQ(SentText(payload), "") << size;
    }
    EXPECT_TRUE(debug.Lines().empty());

    Write("2.0", 16);  // 32 bytes: more than one block
    EXPECT_EQ(cipher_.VersionPayload(payload), 0);
    std::filesystem::remove("version");
    EXPECT_EQ(cipher_.VersionPayload(payload), 0);
    std::filesystem::create_directory("version");  // exists but cannot be read as a file
    EXPECT_EQ(cipher_.VersionPayload(payload), 0);
    EXPECT_EQ(debug.Lines(), (std::vector<std::string>(3, "Check version failed!")));
}

}  // namespace
}  // namespace tarrowlink
