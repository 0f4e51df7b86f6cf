// Build-time tool: writes the "version" file that the presenter ships, the release's version text
// (zero-padded to one block) encrypted with the file key.
//
//   mkversion VERSION_TEXT OUTPUT_FILE
#include <cstdio>
#include <cstring>

#include "client/session/AesCipher.h"

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: mkversion VERSION_TEXT OUTPUT_FILE\n");
        return 2;
    }
    char text[tarrowlink::AesCipher::kBlockSize] = {};
    if (std::strlen(argv[1]) >= sizeof text) {
        std::fprintf(stderr, "mkversion: version text \"%s\" is longer than 15 characters\n",
                     argv[1]);
        return 1;
    }
    std::strcpy(text, argv[1]);
    uint8_t block[tarrowlink::AesCipher::kBlockSize];
    tarrowlink::AesCipher cipher;
    if (!cipher.EncryptText(tarrowlink::AesCipher::kFileKey, text, block)) {
        std::fprintf(stderr, "mkversion: encryption failed\n");
        return 1;
    }
    std::FILE* out = std::fopen(argv[2], "wb");
    if (out == nullptr || std::fwrite(block, 1, sizeof block, out) != sizeof block ||
        std::fclose(out) != 0) {
        std::fprintf(stderr, "mkversion: cannot write %s\n", argv[2]);
        return 1;
    }
    return 0;
}
