#include "client/session/Beacon.h"

#include <algorithm>
#include <cstring>

namespace tarrowlink {

tagSERVERLIST ReceiverEntry(const char* name, size_t name_size, const char* address) {
    tagSERVERLIST entry = {};
    std::memcpy(entry.name, name, std::min(name_size, sizeof entry.name - 1));
    std::strncpy(entry.address, address, sizeof entry.address - 1);
    return entry;
}

bool ListReceiver(tagSERVERLIST* list, int32_t& count, const tagSERVERLIST& entry) {
    for (int32_t i = 0; i < count; ++i) {
        if (std::strcmp(list[i].name, entry.name) == 0 &&
            std::strcmp(list[i].address, entry.address) == 0) {
            return false;
        }
    }
    if (count >= kServerListEntries) return false;
    list[count++] = entry;
    return true;
}

}  // namespace tarrowlink
