// IPv4 addresses from and to text: the same calls on every system (BSD sockets and WinSock 2.2
// both have inet_pton, inet_ntop and getaddrinfo).
#if defined(_WIN32)
#include <winsock2.h>
#include <ws2tcpip.h>
#else
#include <arpa/inet.h>
#include <netdb.h>
#include <sys/socket.h>
#endif

#include <cstring>

#include "platform/Socket.h"

namespace platform {

std::optional<in_addr> ParseIpv4(const char* text) {
    in_addr address{};
    if (text == nullptr || ::inet_pton(AF_INET, text, &address) != 1) return std::nullopt;
    return address;
}

std::optional<in_addr> ResolveIpv4(const char* host) {
    if (host == nullptr || *host == '\0') return std::nullopt;
    in_addr address{};
    if (::inet_pton(AF_INET, host, &address) == 1) return address;
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* result = nullptr;
    if (::getaddrinfo(host, nullptr, &hints, &result) != 0 || result == nullptr) {
        return std::nullopt;
    }
    address = reinterpret_cast<sockaddr_in*>(result->ai_addr)->sin_addr;
    ::freeaddrinfo(result);
    return address;
}

void FormatIpv4(in_addr address, char* out, size_t out_size) {
    if (out_size == 0) return;
    char text[INET_ADDRSTRLEN] = {};
    ::inet_ntop(AF_INET, &address, text, sizeof text);
    std::strncpy(out, text, out_size - 1);
    out[out_size - 1] = '\0';
}

}  // namespace platform
