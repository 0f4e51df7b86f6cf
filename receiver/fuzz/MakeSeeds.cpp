// Writes the seed corpora of the receiver's fuzz targets:
//   receiver_fuzz_seeds DIR   writes DIR/receiver_stream_fuzzer/* and DIR/receiver_control_fuzzer/*
// The committed corpora (receiver/fuzz/corpus) were made so; regression inputs are added by hand.
//
// Stream seeds: for each depth, a stream of LZO1X-1 strips (a full update and 1-row strips), a
// colour and a monochrome cursor, behind the fuzzer's 4-byte prefix (mode width - 1, height - 1,
// depth index, split). Control seeds: scripts of presenters logging in, projecting and leaving,
// and mode texts, in receiver_control_fuzzer's format (see ControlFuzzer.cpp).
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>

#include "receiver/ControlMessage.h"
#include "receiver/VersionCheck.h"
#include "receiver/tests/TestUnits.h"

using namespace receiver::test;
namespace fs = std::filesystem;

namespace {

bool Write(const fs::path& dir, const std::string& name, const Bytes& bytes) {
    fs::create_directories(dir);
    std::FILE* out = std::fopen((dir / name).c_str(), "wb");
    if (out == nullptr) return false;
    const bool ok = std::fwrite(bytes.data(), 1, bytes.size(), out) == bytes.size();
    return std::fclose(out) == 0 && ok;
}

// A receiver_control_fuzzer script.
class Script {
  public:
    // flags: 1 code, 2 version required, 4 reject, 8|16 misbehaviour; mode: index into its modes.
    Script(uint8_t flags, uint8_t mode, int code) {
        bytes_ = {flags, mode, static_cast<uint8_t>(code), static_cast<uint8_t>(code >> 8)};
    }
    // `which`: index of the live connection (in connection order).
    Script& Connect() { return Op(0, 0); }
    Script& Disconnect(int which) { return Op(1, which); }
    Script& Message(int which, int32_t type, const Bytes& payload) {
        Op(3, which);
        bytes_.push_back(static_cast<uint8_t>(type));
        bytes_.push_back(static_cast<uint8_t>(payload.size()));
        bytes_.insert(bytes_.end(), payload.begin(), payload.end());
        return *this;
    }
    Script& Raw(int which, const receiver::ControlMessage& message) {
        Op(2, which);
        auto wire = message.Encode();
        bytes_.insert(bytes_.end(), wire.begin(), wire.end());
        return *this;
    }
    Script& Stop() { return Op(4, 0); }
    Script& Start() { return Op(5, 0); }
    Script& Mode(const std::string& text, bool apply = true) {
        Op(apply ? 6 : 7, 0);
        bytes_.push_back(static_cast<uint8_t>(text.size()));
        bytes_.insert(bytes_.end(), text.begin(), text.end());
        return *this;
    }
    const Bytes& bytes() const { return bytes_; }

  private:
    Script& Op(int op, int which) {
        bytes_.push_back(static_cast<uint8_t>(op | which << 3));
        return *this;
    }
    Bytes bytes_;
};

Bytes Version(const char* text) {
    std::string block = receiver::EncryptVersionText(text).value_or(std::string(16, '\0'));
    return Bytes(block.begin(), block.end());
}

Bytes Login(int32_t code, const std::string& name) {
    receiver::ControlMessage message;
    message.SetPayloadInt(0, code);
    message.SetPayloadInt(4, 1024);
    message.SetPayloadInt(8, 768);
    message.SetPayloadText(12, name);
    return Bytes(message.payload.begin(), message.payload.end());
}

Bytes Size(int32_t width, int32_t height) {
    receiver::ControlMessage message;
    message.SetPayloadInt(0, width);
    message.SetPayloadInt(4, height);
    return Bytes(message.payload.begin(), message.payload.begin() + 8);
}

bool StreamSeeds(const fs::path& dir) {
    const int depths[] = {16, 24, 32};
    bool ok = true;
    for (int d = 0; d < 3; ++d) {
        Bytes file = {39, 23, static_cast<uint8_t>(d), 17};  // 40 x 24, pieces of 18 bytes
        Screen screen(40, 24, d);
        Bytes units = EncodeRectangle(screen, depths[d], 0, 0, 40, 24, 16);
        Bytes rows = EncodeRectangle(screen, depths[d], 3, 5, 20, 9, 1);
        units.insert(units.end(), rows.begin(), rows.end());

        Bytes raw(receiver::kCursorMaskBytes, 0);
        for (int i = 0; i < 32 * 32; ++i) AppendPixel(raw, 0x123456u * i, 16);
        Bytes data = Lzo(raw);
        Bytes colour =
            CursorHeader(receiver::kUnitColourCursor, -3, 2, 32, 20, static_cast<int>(data.size()));
        colour.insert(colour.end(), data.begin(), data.end());
        units.insert(units.end(), colour.begin(), colour.end());
        Bytes mono = CursorHeader(receiver::kUnitMonoCursor, 5, 5, 10, 10, 0);
        mono.resize(receiver::kMonoCursorUnitSize, 0x0F);
        units.insert(units.end(), mono.begin(), mono.end());

        file.insert(file.end(), units.begin(), units.end());
        ok &= Write(dir, "seed" + std::to_string(d), file);
    }
    return ok;
}

bool ControlSeeds(const fs::path& dir) {
    using namespace receiver;
    bool ok = true;
    ok &= Write(dir, "login-and-project",
                Script(1 | 2, 0, 1234)
                    .Connect()
                    .Message(0, MSG_VERSION, Version("1.0.0"))
                    .Message(0, MSG_LOGIN, Login(1234, "PRESENTER-PC"))
                    .Message(0, MSG_START_REQUEST, {})
                    .Message(0, MSG_PICTURE_SIZE, Size(800, 600))
                    .Message(0, MSG_KEEP_ALIVE, {})
                    .Mode("1280x800x24")
                    .Stop()
                    .Start()
                    .Message(0, MSG_SCREEN_CHANGED, {})
                    .Message(0, MSG_STOP_REQUEST, {})
                    .Disconnect(0)
                    .bytes());
    ok &= Write(dir, "two-presenters",
                Script(0, 1, 0)
                    .Connect()
                    .Connect()
                    .Message(0, MSG_LOGIN, Login(0, "A"))
                    .Message(1, MSG_LOGIN, Login(0, std::string(120, 'B')))
                    .Message(0, MSG_START_REQUEST, {})
                    .Message(1, MSG_START_REQUEST, {})
                    .Message(1, MSG_PICTURE_SIZE, Size(640, 480))
                    .Disconnect(0)
                    .Start()
                    .Message(1, MSG_LOGIN, Login(0, "nobody"))  // no such connection
                    .bytes());
    receiver::ControlMessage unknown;
    unknown.type = -7;
    unknown.SetPayloadText(0, "4096x4096x32");
    ok &= Write(dir, "refusals",
                Script(1 | 2 | 4, 2, 9999)
                    .Connect()
                    .Message(0, MSG_VERSION, Version("0.9"))
                    .Message(0, MSG_LOGIN, Login(1, "wrong code"))
                    .Message(0, MSG_START_REQUEST, {})
                    .Message(0, MSG_LOGIN, Login(9999, "right code"))
                    .Message(0, MSG_START_REQUEST, {})
                    .Message(0, MSG_PICTURE_SIZE, Size(0, 4097))
                    .Raw(0, unknown)
                    .Start()
                    .Stop()
                    .bytes());
    ok &= Write(dir, "silent-start",
                Script(8, 3, 0)
                    .Connect()
                    .Message(0, MSG_LOGIN, Login(0, ""))
                    .Message(0, MSG_START_REQUEST, {})
                    .Start()
                    .Message(0, MSG_PICTURE_SIZE, Size(4096, 1))
                    .bytes());
    Script texts(0, 4, 0);
    for (const char* text :
         {"1024x768x16", "4096x4096x32", "0016x0001x024", "4097x1x16", "0x1x16", "1x1x8", "-1x5x16",
          "+1x1x16", "1x1x16x", "1xx1x16", "", "xx", "99999999999x1x16", " 1x1x16"}) {
        texts.Mode(text, false);
    }
    ok &= Write(dir, "mode-texts", texts.Connect().Mode("640x480x32").bytes());
    return ok;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s DIR\n", argv[0]);
        return 2;
    }
    const fs::path root = argv[1];
    const bool ok = StreamSeeds(root / "receiver_stream_fuzzer") &&
                    ControlSeeds(root / "receiver_control_fuzzer");
    return ok ? 0 : 1;
}
