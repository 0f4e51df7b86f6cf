// Passive discovery of receivers: a thread listens for their UDP beacons and collects them in a
// process-wide list that SearchServer hands to the application and empties.
#pragma once

#include <cstddef>
#include <cstdint>

#include "client/UserInterface.h"
#include "client/session/Beacon.h"

namespace tarrowlink {

// Why the discovery thread ended: 0 (running or never started), kNotifyNoUdpSocket,
// kNotifyBindFailed or kNotifyReceiveFailed.
int32_t DiscoveryStatus();

// 1 once a beacon was added or heard again; 0 initially and after the control connection is lost.
int32_t ServerSeen();
void SetServerSeen(int32_t value);

// SearchServer: see UserInterface::SearchServer. API caller's thread.
int SearchServer(tagSERVERLIST* list);

// Adds (name, address) to the receiver list unless the same pair is there; sets serverSeen. The
// name is cut to 31 characters. Discovery thread (and tests).
void AddReceiver(const char* name, size_t name_size, const char* address);

// Waits for the discovery socket to have one whole beacon: a non-blocking poll that joins short
// datagrams until size bytes are in buffer. Returns size (address_out = sender's dotted address),
// 0 when not complete yet (partial data is dropped), -1 on a receive error or a datagram longer
// than the space left. Discovery thread.
int ReceiveBeacon(char* buffer, int size, char* address_out, size_t address_size);

// Stops the discovery thread and waits (bounded) for it. Process exit and tests.
void StopDiscovery();

}  // namespace tarrowlink

namespace tarrowlink {
// Returns discovery to its state at library load: thread stopped, socket closed, list, status and
// marks cleared. Tests only.
void ResetDiscoveryForTests();
}  // namespace tarrowlink
