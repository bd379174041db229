// Plain TCP sockets carrying length-prefixed messages (see remote/message.h).
#pragma once

#include <cstdint>
#include <string>

// A listening socket on `address` (a numeric IPv4 or IPv6 address, or "localhost") and
// `port` (0: any free port); the descriptor, or -1 with the reason in `error`. The port
// actually bound goes to `*bound`.
int ListenOn(const std::string& address, int port, int* bound, std::string* error);
// Whether `address` is one of the loopback addresses a server binds without a token:
// 127.0.0.1, ::1 or localhost. Any other address, even one of 127.0.0.0/8, needs a token.
bool IsPlainLoopback(const std::string& address);
// Connects to "HOST:PORT" ("[::1]:PORT" for an IPv6 address); the descriptor, or -1 with the
// reason in `error`.
int ConnectTo(const std::string& hostPort, std::string* error);

// Sends one message; false when the peer is gone.
bool SendMessage(int fd, const std::string& payload);

enum class ReceiveStatus { kOk, kClosed, kTooLong, kStalled, kError };
// Receives one message of at most `maxBytes`. Waits for its first byte as long as need be,
// then at most `stallMs` for each of the others (-1: as long as need be). kTooLong leaves
// the body unread: the stream is then out of step and should be closed.
ReceiveStatus ReceiveMessage(int fd, uint32_t maxBytes, int stallMs, std::string* payload);
// The text of a status other than kOk, for messages.
const char* ReceiveStatusText(ReceiveStatus status);
