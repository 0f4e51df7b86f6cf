// Replays fuzz inputs without libFuzzer, for the test suite: each argument is a file or a directory
// whose regular files (not its subdirectories) are passed one by one, in name order, to the
// target's LLVMFuzzerTestOneInput, after its LLVMFuzzerInitialize when it has one. Each input gets
// a heap buffer of exactly its size, so AddressSanitizer sees any read past its end. Fails when an
// argument holds no input, so a corpus that went missing is not a silent pass; a broken property
// or sanitizer report ends the process before the summary line.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);
extern "C" __attribute__((weak)) int LLVMFuzzerInitialize(int* argc, char*** argv);

int main(int argc, char** argv) {
    if (LLVMFuzzerInitialize != nullptr) LLVMFuzzerInitialize(&argc, &argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s CORPUS-DIRECTORY-OR-FILE...\n", argv[0]);
        return 2;
    }
    namespace fs = std::filesystem;
    size_t total = 0;
    for (int i = 1; i < argc; ++i) {
        std::vector<fs::path> files;
        std::error_code error;
        if (fs::is_directory(argv[i], error)) {
            for (const auto& entry : fs::directory_iterator(argv[i], error)) {
                if (entry.is_regular_file()) files.push_back(entry.path());
            }
            std::sort(files.begin(), files.end());
        } else if (fs::is_regular_file(argv[i], error)) {
            files.emplace_back(argv[i]);
        }
        if (files.empty()) {
            std::fprintf(stderr, "%s: no input in %s\n", argv[0], argv[i]);
            return 1;
        }
        for (const fs::path& file : files) {
            std::ifstream in(file, std::ios::binary);
            std::vector<char> bytes{std::istreambuf_iterator<char>(in), {}};
            if (!in.good() && !in.eof()) {
                std::fprintf(stderr, "%s: cannot read %s\n", argv[0], file.c_str());
                return 1;
            }
            auto data = std::make_unique<uint8_t[]>(bytes.size());
            std::copy(bytes.begin(), bytes.end(), data.get());
            LLVMFuzzerTestOneInput(data.get(), bytes.size());
        }
        total += files.size();
        std::printf("%s: %zu inputs\n", argv[i], files.size());
    }
    std::printf("replayed %zu inputs\n", total);
    return 0;
}
