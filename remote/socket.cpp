#include "remote/socket.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace {

// Parses "HOST:PORT" or "[HOST]:PORT".
bool SplitHostPort(const std::string& hostPort, std::string* host, std::string* port) {
    const size_t colon = hostPort.rfind(':');
    if (colon == std::string::npos || colon + 1 == hostPort.size()) return false;
    *host = hostPort.substr(0, colon);
    *port = hostPort.substr(colon + 1);
    if (host->size() >= 2 && host->front() == '[' && host->back() == ']')
        *host = host->substr(1, host->size() - 2);
    return !host->empty();
}

addrinfo* Resolve(const std::string& host, const std::string& port, bool passive,
                  std::string* error) {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = passive ? AI_PASSIVE : 0;
    addrinfo* found = nullptr;
    int status = getaddrinfo(host.c_str(), port.c_str(), &hints, &found);
    if (status != 0) {
        *error = "cannot resolve \"" + host + "\": " + gai_strerror(status);
        return nullptr;
    }
    return found;
}

// Waits until `fd` can be read or written, at most `ms` (-1: for ever); false on a timeout.
bool WaitFor(int fd, short events, int ms) {
    pollfd p{fd, events, 0};
    for (;;) {
        int n = poll(&p, 1, ms);
        if (n < 0 && errno == EINTR) continue;
        return n > 0;
    }
}

ReceiveStatus ReceiveAll(int fd, char* dst, size_t size, int firstMs, int stallMs) {
    for (size_t got = 0; got < size;) {
        if (!WaitFor(fd, POLLIN, got == 0 ? firstMs : stallMs)) return ReceiveStatus::kStalled;
        ssize_t n = recv(fd, dst + got, size - got, 0);
        if (n < 0 && errno == EINTR) continue;
        if (n == 0) return ReceiveStatus::kClosed;
        if (n < 0) return errno == ECONNRESET ? ReceiveStatus::kClosed : ReceiveStatus::kError;
        got += (size_t)n;
    }
    return ReceiveStatus::kOk;
}

}  // namespace

bool IsPlainLoopback(const std::string& address) {
    if (address == "localhost") return true;
    in_addr v4;
    if (inet_pton(AF_INET, address.c_str(), &v4) == 1) return ntohl(v4.s_addr) == INADDR_LOOPBACK;
    in6_addr v6;
    return inet_pton(AF_INET6, address.c_str(), &v6) == 1 && IN6_IS_ADDR_LOOPBACK(&v6);
}

int ListenOn(const std::string& address, int port, int* bound, std::string* error) {
    const std::string host = address == "localhost" ? "127.0.0.1" : address;
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_PASSIVE | AI_NUMERICHOST;
    addrinfo* found = nullptr;
    int status = getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &found);
    if (status != 0) {
        *error = "\"" + address + "\" is no numeric address to bind: " + gai_strerror(status);
        return -1;
    }
    int fd = socket(found->ai_family, found->ai_socktype, found->ai_protocol);
    int on = 1;
    if (fd >= 0) setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    if (fd < 0 || bind(fd, found->ai_addr, found->ai_addrlen) != 0 || listen(fd, 16) != 0) {
        *error =
            "cannot listen on " + address + ":" + std::to_string(port) + ": " + strerror(errno);
        if (fd >= 0) close(fd);
        freeaddrinfo(found);
        return -1;
    }
    freeaddrinfo(found);
    sockaddr_storage local{};
    socklen_t length = sizeof local;
    getsockname(fd, (sockaddr*)&local, &length);
    *bound = ntohs(local.ss_family == AF_INET6 ? ((sockaddr_in6*)&local)->sin6_port
                                               : ((sockaddr_in*)&local)->sin_port);
    return fd;
}

int ConnectTo(const std::string& hostPort, std::string* error) {
    std::string host, port;
    if (!SplitHostPort(hostPort, &host, &port)) {
        *error = "\"" + hostPort + "\" is not HOST:PORT";
        return -1;
    }
    addrinfo* found = Resolve(host, port, false, error);
    if (!found) return -1;
    int fd = -1;
    std::string reason = "no address";
    for (addrinfo* a = found; a && fd < 0; a = a->ai_next) {
        fd = socket(a->ai_family, a->ai_socktype, a->ai_protocol);
        if (fd >= 0 && connect(fd, a->ai_addr, a->ai_addrlen) != 0) {
            reason = strerror(errno);
            close(fd);
            fd = -1;
        }
    }
    freeaddrinfo(found);
    if (fd < 0) {
        *error = "cannot connect to " + hostPort + ": " + reason;
        return -1;
    }
    int on = 1;
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    return fd;
}

bool SendMessage(int fd, const std::string& payload) {
    const uint32_t size = (uint32_t)payload.size();
    std::string framed(reinterpret_cast<const char*>(&size), sizeof size);
    framed += payload;
    for (size_t sent = 0; sent < framed.size();) {
        ssize_t n = send(fd, framed.data() + sent, framed.size() - sent, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        sent += (size_t)n;
    }
    return true;
}

ReceiveStatus ReceiveMessage(int fd, uint32_t maxBytes, int stallMs, std::string* payload) {
    uint32_t size;
    ReceiveStatus status = ReceiveAll(fd, reinterpret_cast<char*>(&size), sizeof size, -1, stallMs);
    if (status != ReceiveStatus::kOk) return status;
    if (size > maxBytes) return ReceiveStatus::kTooLong;
    payload->resize(size);
    return ReceiveAll(fd, &(*payload)[0], size, stallMs, stallMs);
}

const char* ReceiveStatusText(ReceiveStatus status) {
    switch (status) {
        case ReceiveStatus::kOk:
            return "ok";
        case ReceiveStatus::kClosed:
            return "the connection was closed";
        case ReceiveStatus::kTooLong:
            return "the message is too long";
        case ReceiveStatus::kStalled:
            return "the message stopped half-way";
        case ReceiveStatus::kError:
            return "the connection failed";
    }
    return "?";
}
