// How a receiver's beacon becomes an entry of the receiver list: the size rule, the entry and the
// list's update. Pure data handling, no I/O and no shared state: Discovery applies it to what the
// network brings under its own lock.
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <cstdint>

#include "client/UserInterface.h"

namespace tarrowlink {

// Size of one beacon: the receiver's name, zero-terminated and zero-padded.
constexpr int kBeaconSize = 32;

// The beacon-size rule: a datagram is one beacon only when its real length is exactly `size`
// bytes. Anything on the network may send to the port (it takes broadcasts), and what is not
// exactly one beacon is nobody's.
constexpr bool IsOneBeacon(ssize_t datagram_length, int size = kBeaconSize) {
    return datagram_length == size;
}

// The list entry a beacon makes: name holds the first name_size bytes of `name` (no terminator
// needed), at most 31, and address the zero-terminated `address` cut to 15 characters; both fields
// always end in a zero within their size.
tagSERVERLIST ReceiverEntry(const char* name, size_t name_size, const char* address);

// Appends entry to list (count entries in use, room for kServerListEntries) unless an entry with
// the same name and address is there or the list is full. True when it was appended.
bool ListReceiver(tagSERVERLIST* list, int32_t& count, const tagSERVERLIST& entry);

}  // namespace tarrowlink
