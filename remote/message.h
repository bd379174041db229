// The messages between velmora-server and its clients. On the wire each message is a
// 4-byte length and then that many bytes: a type byte and the type's fields. Numbers are
// little-endian, doubles IEEE 754 binary64; a string is a 4-byte length and its bytes.
//
// Client to server: kHello (protocol version, token: empty when the server wants none),
// then any number of kIso (field, value) and kLines (seeds as three doubles each).
// Server to client: kWelcome (block and tetrahedron counts, the volume header's minimum and
// maximum vertex records, the loader's console lines) or kError after kHello; per
// request kIsoBlock messages in block-list order then kIsoEnd, or one kLine per line in
// order then kLinesEnd; or kError, after which the connection serves the next request.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "volume/pathlinestarter.h"
#include "volume/tetravolume.h"
#include "volume/trianglestore.h"

enum class MessageType : uint8_t {
    kHello = 1,
    kIso = 2,
    kLines = 3,
    kWelcome = 16,
    kError = 17,
    kIsoBlock = 18,
    kIsoEnd = 19,
    kLine = 20,
    kLinesEnd = 21,
};

const uint32_t kProtocolVersion = 1;
// Longest request the server reads: room for a million seeds.
const uint32_t kMaxRequestBytes = 32u << 20;
// Longest reply a client reads: one block's triangles or one line.
const uint32_t kMaxReplyBytes = 1u << 30;
// Most seeds in one request.
const uint32_t kMaxSeeds = 1000000;
const size_t kTriangleWireBytes = sizeof(Triangle);
const size_t kPointWireBytes = sizeof(Particle);
static_assert(sizeof(Triangle) == 12 * sizeof(double), "triangles travel as 12 doubles");
static_assert(sizeof(Particle) == 3 * sizeof(double), "points travel as 3 doubles");

// Appends fields to a message.
class MessageWriter {
public:
    explicit MessageWriter(MessageType type) { U8((uint8_t)type); }
    void U8(uint8_t v) { bytes.push_back((char)v); }
    void U32(uint32_t v) { Raw(&v, sizeof v); }
    void U64(uint64_t v) { Raw(&v, sizeof v); }
    void F64(double v) { Raw(&v, sizeof v); }
    void String(const std::string& s) {
        U32((uint32_t)s.size());
        bytes.append(s);
    }
    void Raw(const void* data, size_t size) {
        if (size > 0) bytes.append(static_cast<const char*>(data), size);
    }
    const std::string& Bytes() const { return bytes; }
    std::string Take() { return std::move(bytes); }

private:
    std::string bytes;
};

// Takes fields from a message, checking each against what is left; after the first failure
// every read fails.
class MessageReader {
public:
    MessageReader(const char* data, size_t size) : at(data), left(size) {}
    explicit MessageReader(const std::string& m) : MessageReader(m.data(), m.size()) {}
    bool U8(uint8_t* v) { return Raw(v, sizeof *v); }
    bool U32(uint32_t* v) { return Raw(v, sizeof *v); }
    bool U64(uint64_t* v) { return Raw(v, sizeof *v); }
    bool F64(double* v) { return Raw(v, sizeof *v); }
    // A string of at most `max` bytes.
    bool String(std::string* s, uint32_t max);
    bool Raw(void* dst, size_t size);
    // `count` records of `size` bytes, in place: null when they do not fit.
    const char* Records(uint32_t count, size_t size);
    // True when every byte was read and nothing failed.
    bool Done() const { return ok && left == 0; }
    bool Ok() const { return ok; }

private:
    const char* at;
    size_t left;
    bool ok = true;
};

// A request as the server reads it.
struct Request {
    MessageType type = MessageType::kHello;
    uint32_t version = 0;           // kHello
    std::string token;              // kHello
    FieldVar field = fieldDensity;  // kIso
    double value = 0;               // kIso
    std::vector<Seed> seeds;        // kLines
};

// Decodes a request; false with the reason in `error` for anything malformed: an unknown
// type, a field out of range, a wrong length, too many seeds, a token too long.
bool DecodeRequest(const char* data, size_t size, Request* request, std::string* error);

std::string EncodeHello(const std::string& token);
std::string EncodeIso(FieldVar field, double value);
std::string EncodeLines(const std::vector<Seed>& seeds);
std::string EncodeError(const std::string& text);
