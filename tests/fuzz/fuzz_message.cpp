// Fuzz target of the server's request decoder: any bytes as the body of a message. What
// decodes must encode back to the very same bytes.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "remote/message.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Request request;
    std::string error;
    if (!DecodeRequest(reinterpret_cast<const char*>(data), size, &request, &error)) {
        if (error.empty()) abort();  // a refusal always says why
        return 0;
    }
    std::string again;
    switch (request.type) {
        case MessageType::kHello:
            // The version is the client's: only the current one encodes.
            if (request.version != kProtocolVersion) return 0;
            again = EncodeHello(request.token);
            break;
        case MessageType::kIso:
            again = EncodeIso(request.field, request.value);
            break;
        case MessageType::kLines:
            again = EncodeLines(request.seeds);
            break;
        default:
            abort();  // no other type decodes
    }
    if (again != std::string(reinterpret_cast<const char*>(data), size)) abort();
    return 0;
}
