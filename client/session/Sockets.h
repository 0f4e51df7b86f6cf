// The client library's socket layer: the process-wide discovery, control and data sockets and
// the helpers that every part of the session uses on them, with their diagnostics.
//
// A socket value of -1 means the socket does not exist. Both TCP sockets have TCP_NODELAY set;
// no send can raise SIGPIPE.
#pragma once

#include <cstddef>
#include <cstdint>
#include <mutex>

namespace tarrowlink {

enum class TcpSocket { Control, Data };

// The calling thread's last socket error (errno of the last failed socket call); 0 when none.
int LastSocketError();
// Records err as the calling thread's last socket error.
void SetLastSocketError(int err);

// Held while a message or unit is written to the socket and while the socket is closed, so that two
// messages never interleave and no sender writes to a descriptor that was closed and reused.
std::mutex& SocketMutex(TcpSocket which);

// Current descriptor of a process-wide socket, -1 when it does not exist.
int TcpSocketFd(TcpSocket which);
int UdpSocketFd();

// 1 when the socket already exists; else creates it with TCP_NODELAY (-1 on failure), writes
// "Create TCP mysocket successfully\n" and returns 0.
int CreateTcpSocket(TcpSocket which);
// Closes an existing discovery socket, creates a new one: 1, or 0 on failure.
int CreateUdpSocket();
// Binds the discovery socket to any local address and port: 1, or "bind error\n" and 0.
int BindUdpSocket(uint16_t port);
// When the socket exists: "closing m_TcpSocket\n", shut down, close, forget it.
void CloseTcpSocket(TcpSocket which);
// When the discovery socket exists: "closing m_UdpSocket\n", close, forget it.
void CloseUdpSocket();

// Connects fd to host:port (dotted address or host name), giving up after timeout_ms (negative:
// the system's own limit). On success "connect successfully\n" and 1; else 0.
int ConnectTo(int fd, const char* host, uint16_t port, int timeout_ms);
// Sends all length bytes on fd; a send that fails or sends nothing writes "Send package error!\n"
// and gives -1. With stall_timeout_ms >= 0 a send that can make no progress for that long fails
// too (ETIMEDOUT). Returns length (a length of 0 or less is returned unchanged).
int SendAll(int fd, const void* buffer, int length, int stall_timeout_ms = -1);
// Receives exactly length bytes on fd. A receive that fails, meets the end of the stream or waits
// longer than timeout_ms (negative: no limit) writes "Receive feedback from server error!\n" and
// gives -1. Returns length.
int ReceiveAll(int fd, void* buffer, int length, int timeout_ms);

}  // namespace tarrowlink
