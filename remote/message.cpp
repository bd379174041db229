#include "remote/message.h"

#include <cmath>
#include <cstring>

namespace {

const uint32_t kMaxTokenBytes = 256;

}  // namespace

bool MessageReader::Raw(void* dst, size_t size) {
    if (!ok || size > left) return ok = false;
    if (size > 0) memcpy(dst, at, size);
    at += size;
    left -= size;
    return true;
}

bool MessageReader::String(std::string* s, uint32_t max) {
    uint32_t size;
    if (!U32(&size) || size > max || size > left) return ok = false;
    s->assign(at, size);
    at += size;
    left -= size;
    return true;
}

const char* MessageReader::Records(uint32_t count, size_t size) {
    if (!ok || (size > 0 && count > left / size)) {
        ok = false;
        return nullptr;
    }
    const char* first = at;
    at += (size_t)count * size;
    left -= (size_t)count * size;
    return first;
}

bool DecodeRequest(const char* data, size_t size, Request* request, std::string* error) {
    MessageReader in(data, size);
    uint8_t type;
    if (!in.U8(&type)) {
        *error = "empty message";
        return false;
    }
    Request r;
    r.type = (MessageType)type;
    switch (r.type) {
        case MessageType::kHello:
            if (!in.U32(&r.version) || !in.String(&r.token, kMaxTokenBytes)) break;
            if (in.Done()) {
                *request = std::move(r);
                return true;
            }
            break;
        case MessageType::kIso: {
            uint32_t field;
            if (!in.U32(&field) || !in.F64(&r.value) || !in.Done()) break;
            if (field >= (uint32_t)kFieldCount) {
                *error = "unknown field " + std::to_string(field);
                return false;
            }
            r.field = (FieldVar)field;
            *request = std::move(r);
            return true;
        }
        case MessageType::kLines: {
            uint32_t count;
            if (!in.U32(&count)) break;
            if (count > kMaxSeeds) {
                *error = "too many seeds (" + std::to_string(count) + ", at most " +
                         std::to_string(kMaxSeeds) + ")";
                return false;
            }
            const char* seeds = in.Records(count, sizeof(Seed));
            if (!seeds || !in.Done()) break;
            r.seeds.resize(count);
            if (count > 0) memcpy(r.seeds.data(), seeds, count * sizeof(Seed));
            *request = std::move(r);
            return true;
        }
        default:
            *error = "unknown request type " + std::to_string(type);
            return false;
    }
    *error = "malformed request (wrong length for its type)";
    return false;
}

std::string EncodeHello(const std::string& token) {
    MessageWriter m(MessageType::kHello);
    m.U32(kProtocolVersion);
    m.String(token);
    return m.Take();
}

std::string EncodeIso(FieldVar field, double value) {
    MessageWriter m(MessageType::kIso);
    m.U32((uint32_t)field);
    m.F64(value);
    return m.Take();
}

std::string EncodeLines(const std::vector<Seed>& seeds) {
    MessageWriter m(MessageType::kLines);
    m.U32((uint32_t)seeds.size());
    m.Raw(seeds.data(), seeds.size() * sizeof(Seed));
    return m.Take();
}

std::string EncodeError(const std::string& text) {
    MessageWriter m(MessageType::kError);
    m.String(text);
    return m.Take();
}
