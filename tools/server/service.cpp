#include "tools/server/service.h"

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <vector>

#include "remote/message.h"
#include "remote/socket.h"
#include "tools/server/work.h"

namespace {

// The longest pause inside a message before the server gives up on it.
const int kStallMs = 10000;
// Clients connected at once.
const size_t kMaxClients = 32;

struct Client {
    int fd;
    bool welcomed = false;
};

// Compares without stopping at the first difference, so that the time taken tells nothing.
bool SameToken(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    unsigned char diff = 0;
    for (size_t i = 0; i < a.size(); ++i) diff |= (unsigned char)(a[i] ^ b[i]);
    return diff == 0;
}

const char* FieldWord(FieldVar field) {
    static const char* const names[kFieldCount] = {"density", "energy", "momentum"};
    return names[field];
}

class Service {
public:
    Service(const Cluster& cluster, const Share& share, const std::string& token)
        : cluster(cluster), share(share), token(token) {}

    // False when the client is to be closed.
    bool Serve(Client& client);

private:
    bool Refuse(Client& client, const std::string& why, bool close) {
        SendMessage(client.fd, EncodeError(why));
        return !close;
    }
    bool Welcome(Client& client, const Request& hello);
    void Carry(Client& client, const std::string& payload, const Request& request);

    const Cluster& cluster;
    const Share& share;
    const std::string& token;
};

bool Service::Serve(Client& client) {
    std::string payload;
    const ReceiveStatus status = ReceiveMessage(client.fd, kMaxRequestBytes, kStallMs, &payload);
    switch (status) {
        case ReceiveStatus::kOk:
            break;
        case ReceiveStatus::kTooLong:
            return Refuse(client,
                          "the message is longer than the " +
                              std::to_string(kMaxRequestBytes >> 20) + " MiB allowed",
                          true);
        case ReceiveStatus::kStalled:
            return Refuse(client, "the message stopped half-way", true);
        default:
            return false;
    }
    Request request;
    std::string error;
    if (!DecodeRequest(payload.data(), payload.size(), &request, &error))
        return Refuse(client, error, false);
    if (request.type == MessageType::kHello) return Welcome(client, request);
    if (!client.welcomed) return Refuse(client, "a request before the greeting", true);
    Carry(client, payload, request);
    return true;
}

bool Service::Welcome(Client& client, const Request& hello) {
    if (client.welcomed) return Refuse(client, "a second greeting", false);
    if (hello.version != kProtocolVersion)
        return Refuse(client,
                      "protocol version " + std::to_string(hello.version) +
                          " is not this server's " + std::to_string(kProtocolVersion),
                      true);
    if (!token.empty() && !SameToken(hello.token, token)) {
        return Refuse(client,
                      hello.token.empty()
                          ? "refused: this server needs its token (pass --token-file FILE, "
                            "the file the server wrote it to)"
                          : "refused: wrong token",
                      true);
    }
    client.welcomed = true;
    MessageWriter m(MessageType::kWelcome);
    m.U32((uint32_t)share.layout.blocks.size());
    m.U64(share.layout.TetraCount());
    m.Raw(&share.layout.minimum, sizeof(Vertex));
    m.Raw(&share.layout.maximum, sizeof(Vertex));
    m.String(share.loadingText);
    return SendMessage(client.fd, m.Take());
}

void Service::Carry(Client& client, const std::string& payload, const Request& request) {
    auto start = std::chrono::steady_clock::now();
    std::string command = payload;
    BroadcastBytes(&command, 0);
    ClientLink link;
    link.fd = client.fd;
    if (request.type == MessageType::kIso) {
        ServeIso(cluster, share, request, &link);
        printf("iso field=%s value=%.17g", FieldWord(request.field), request.value);
    } else {
        const LineTraffic traffic = ServeLines(cluster, share, request, &link);
        printf("pathlines lines=%zu rounds=%lld moves=%lld", request.seeds.size(), traffic.rounds,
               traffic.moves);
    }
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    printf(" seconds=%.6f bytes=%llu%s\n", seconds, (unsigned long long)link.bytesSent,
           link.alive ? "" : " (client gone)");
    fflush(stdout);
}

}  // namespace

void ClientLink::Send(const std::string& payload) {
    if (!alive) return;
    alive = SendMessage(fd, payload);
    if (alive) bytesSent += payload.size() + 4;
}

bool ClientLink::Gone() {
    if (!alive) return true;
    pollfd p{fd, POLLIN, 0};
    if (poll(&p, 1, 0) <= 0) return false;
    char byte;
    if ((p.revents & (POLLHUP | POLLERR)) || recv(fd, &byte, 1, MSG_PEEK | MSG_DONTWAIT) == 0)
        alive = false;
    return !alive;
}

void RunService(const Cluster& cluster, const Share& share, int listenFd,
                const std::string& token) {
    Service service(cluster, share, token);
    std::vector<Client> clients;
    for (;;) {
        std::vector<pollfd> polled{{listenFd, POLLIN, 0}};
        for (const Client& c : clients) polled.push_back({c.fd, POLLIN, 0});
        if (poll(polled.data(), polled.size(), -1) < 0) continue;
        // Clients first, in the order they came; a new one waits for the next turn.
        std::vector<Client> kept;
        for (size_t i = 0; i < clients.size(); ++i) {
            Client& c = clients[i];
            if (!polled[i + 1].revents || service.Serve(c)) {
                kept.push_back(c);
            } else {
                close(c.fd);
            }
        }
        clients = std::move(kept);
        if (polled[0].revents & POLLIN) {
            int fd = accept(listenFd, nullptr, nullptr);
            if (fd < 0) continue;
            if (clients.size() >= kMaxClients) {
                SendMessage(fd, EncodeError("too many clients"));
                close(fd);
                continue;
            }
            clients.push_back({fd});
        }
    }
}

void StopWorkers() {
    std::string none;
    BroadcastBytes(&none, 0);
}

void RunWorker(const Cluster& cluster, const Share& share) {
    for (;;) {
        std::string command;
        BroadcastBytes(&command, 0);
        if (command.empty()) return;
        Request request;
        std::string error;
        if (!DecodeRequest(command.data(), command.size(), &request, &error)) return;
        if (request.type == MessageType::kIso) {
            ServeIso(cluster, share, request, nullptr);
        } else if (request.type == MessageType::kLines) {
            ServeLines(cluster, share, request, nullptr);
        }
    }
}
