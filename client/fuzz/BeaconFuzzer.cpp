// libFuzzer target: bytes as the datagrams that reach the discovery port, each turned into a
// receiver list entry the way the discovery thread does it: read into a beacon-sized buffer (a
// longer datagram is cut, as recvfrom cuts it), kept only under the beacon-size rule, made into an
// entry with its sender's address and listed unless already there or the list is full.
//
// Input: records of [length][sender][copies][length bytes of datagram]. `sender` picks a dotted
// address (or, at 255, takes 20 bytes of the input as an over-long address text); `copies` repeats
// the datagram from that many successive addresses, so that a short input can fill the list (1024
// entries at most).
//
// Properties: the list never exceeds kServerListEntries and never holds a name and address twice;
// an entry is added exactly when it is new and there is room; every name and address ends in a zero
// within its field, the name being the beacon's first bytes up to its first zero, at most 31.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <set>
#include <string>
#include <utility>

#include "client/session/Beacon.h"
#include "tests/fuzz/FuzzCheck.h"

using namespace tarrowlink;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // Exactly the list's size on the heap, so a write past its end is seen.
    auto list = std::make_unique<tagSERVERLIST[]>(kServerListEntries);
    int32_t count = 0;
    std::set<std::pair<std::string, std::string>> listed;

    // At most 1024 entries an input: four times a full list, and a bound on each run's time (the
    // list is searched through for each entry).
    int budget = 1024;
    size_t at = 0;
    while (at + 3 <= size && budget > 0) {
        const size_t length = data[at];
        const uint8_t sender = data[at + 1];
        const int copies = 1 + data[at + 2] % 64;
        at += 3;
        char address[24] = {};
        if (sender == 255) {
            const size_t n = size - at < 20 ? size - at : 20;
            std::memcpy(address, data + at, n);
            at += n;
        }
        const size_t available = size - at < length ? size - at : length;
        const uint8_t* datagram = data + at;
        at += available;

        // The receive buffer holds one beacon; recvfrom reports the datagram's real length.
        char buffer[kBeaconSize] = {};
        std::memcpy(buffer, datagram, available < sizeof buffer ? available : sizeof buffer);
        if (!IsOneBeacon(static_cast<ssize_t>(available))) continue;

        for (int copy = 0; copy < copies && budget > 0; ++copy, --budget) {
            if (sender != 255) {
                std::snprintf(address, sizeof address, "10.%d.%d.%d", sender, copy / 256,
                              copy % 256);
            }
            const tagSERVERLIST entry = ReceiverEntry(buffer, kBeaconSize, address);
            FUZZ_CHECK(memchr(entry.name, 0, sizeof entry.name) != nullptr);
            FUZZ_CHECK(memchr(entry.address, 0, sizeof entry.address) != nullptr);
            const size_t name_length = strlen(entry.name);
            FUZZ_CHECK(name_length <= sizeof entry.name - 1);
            FUZZ_CHECK(std::memcmp(entry.name, buffer, name_length) == 0);
            FUZZ_CHECK(name_length == sizeof entry.name - 1 || buffer[name_length] == '\0');
            FUZZ_CHECK(std::strncmp(entry.address, address, sizeof entry.address - 1) == 0);

            auto key = std::make_pair(std::string(entry.name), std::string(entry.address));
            const bool fresh = listed.count(key) == 0;
            const bool room = count < kServerListEntries;
            const int32_t before = count;
            const bool added = ListReceiver(list.get(), count, entry);
            FUZZ_CHECK(added == (fresh && room));
            FUZZ_CHECK(count == before + (added ? 1 : 0));
            if (added) listed.insert(key);
        }
    }
    FUZZ_CHECK(count >= 0 && count <= kServerListEntries);
    FUZZ_CHECK(static_cast<size_t>(count) == listed.size());
    return 0;
}
