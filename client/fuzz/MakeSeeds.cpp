// Writes the seed corpora of the client's fuzz targets: valid and edge inputs, a few KB in all.
//   client_fuzz_seeds DIR   writes DIR/client_control_fuzzer/* and DIR/client_beacon_fuzzer/*
// The committed corpora (client/fuzz/corpus) were made so; regression inputs are added by hand.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "client/session/Beacon.h"
#include "client/session/ControlMessage.h"

namespace {

using Bytes = std::vector<uint8_t>;
namespace fs = std::filesystem;

bool Write(const fs::path& dir, const char* name, const Bytes& bytes) {
    fs::create_directories(dir);
    std::FILE* out = std::fopen((dir / name).c_str(), "wb");
    if (out == nullptr) return false;
    const bool ok = std::fwrite(bytes.data(), 1, bytes.size(), out) == bytes.size();
    return std::fclose(out) == 0 && ok;
}

// One 128-byte message of `type` with `text` at the start of its payload (cut to 124 bytes).
Bytes Message(int32_t type, const std::string& text) {
    uint8_t payload[tarrowlink::kControlPayloadSize] = {};
    std::memcpy(payload, text.data(), std::min(text.size(), sizeof payload));
    Bytes message(tarrowlink::kControlMessageSize);
    tarrowlink::EncodeControlMessage(type, payload, message.data());
    return message;
}

Bytes Join(std::initializer_list<Bytes> parts) {
    Bytes all;
    for (const Bytes& part : parts) all.insert(all.end(), part.begin(), part.end());
    return all;
}

// One record of client_beacon_fuzzer: a datagram from sender `sender`, `copies` + 1 times.
Bytes Beacon(const std::string& name, size_t length, uint8_t sender, uint8_t copies = 0) {
    Bytes record = {static_cast<uint8_t>(length), sender, copies};
    Bytes datagram(length, 0);
    std::memcpy(datagram.data(), name.data(), std::min(name.size(), length));
    record.insert(record.end(), datagram.begin(), datagram.end());
    return record;
}

}  // namespace

int main(int argc, char** argv) {
    using namespace tarrowlink;
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s DIR\n", argv[0]);
        return 2;
    }
    const fs::path control = fs::path(argv[1]) / "client_control_fuzzer";
    const fs::path beacon = fs::path(argv[1]) / "client_beacon_fuzzer";
    bool ok = true;

    ok &= Write(control, "login",
                Join({Message(SERVER_VERSION_OK, "1024x768x16"), Message(SERVER_CODE_OK, ""),
                      Message(SERVER_START, ""), Message(SERVER_STOP, "")}));
    ok &= Write(control, "change-resolution",
                Join({Message(SERVER_CHANGE_RESOLUTION, "1920x1080x32"),
                      Message(SERVER_CHANGE_RESOLUTION, "xx800xx600xxx24 and more"),
                      Message(SERVER_START_REJECT, "")}));
    ok &= Write(control, "refusals",
                Join({Message(SERVER_VERSION_ERROR, ""), Message(SERVER_CODE_ERROR, ""),
                      Message(-1, "1024x768x16")}));
    ok &= Write(control, "out-of-range",
                Join({Message(SERVER_VERSION_OK, "4097x768x16"),
                      Message(SERVER_CHANGE_RESOLUTION, "1024x768x8"),
                      Message(SERVER_CHANGE_RESOLUTION, "99999999999999999999x1x16")}));
    ok &= Write(control, "unterminated",
                Message(SERVER_VERSION_OK, "4096x4096x32" + std::string(112, '7')));
    ok &= Write(control, "bare-mode", Bytes{'6', '4', '0', 'x', '4', '8', '0', 'x', '2', '4'});
    ok &= Write(control, "short-message", Bytes{6, 0, 0, 0, '8', 'x', '8'});

    ok &= Write(beacon, "same-receiver-twice",
                Join({Beacon("Room 1", kBeaconSize, 1), Beacon("Room 1", kBeaconSize, 1),
                      Beacon("Room 1", kBeaconSize, 2), Beacon("Lobby", kBeaconSize, 1)}));
    ok &= Write(beacon, "not-beacons",
                Join({Beacon("short", kBeaconSize - 1, 3), Beacon("long", kBeaconSize + 1, 3),
                      Beacon("", 0, 3)}));
    ok &= Write(beacon, "name-without-zero", Beacon(std::string(40, 'N'), kBeaconSize, 4));
    ok &= Write(beacon, "long-address",
                Join({Bytes{kBeaconSize, 255, 0}, Bytes(20, '9'), Beacon("far", kBeaconSize, 7)}));
    ok &= Write(beacon, "full-list",
                Join({Beacon("A", kBeaconSize, 1, 63), Beacon("A", kBeaconSize, 2, 63),
                      Beacon("A", kBeaconSize, 3, 63), Beacon("A", kBeaconSize, 4, 63),
                      Beacon("A", kBeaconSize, 5, 63)}));
    return ok ? 0 : 1;
}
