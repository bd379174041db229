#include "remote/client.h"

#include <poll.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

#include "remote/message.h"
#include "remote/socket.h"

namespace {

// How often a wait for the server looks whether the work was cancelled.
const int kCancelCheckMs = 50;

bool ReadToken(const std::string& path, std::string* token, std::string* error) {
    std::ifstream in(path);
    if (!in) {
        *error = "cannot read the token file \"" + path + "\"";
        return false;
    }
    std::getline(in, *token);
    return true;
}

}  // namespace

RemoteVolume::RemoteVolume(std::string hostPort, std::string tokenFile)
    : hostPort(std::move(hostPort)), tokenFile(std::move(tokenFile)) {}

RemoteVolume::~RemoteVolume() {
    if (fd >= 0) close(fd);
}

bool RemoteVolume::Drop(std::string* error, const std::string& why) {
    if (fd >= 0) close(fd);
    fd = -1;
    *error = why;
    return false;
}

bool RemoteVolume::Send(const std::string& payload, std::string* error) {
    return SendMessage(fd, payload) ||
           Drop(error, "the server at " + hostPort + " closed the connection");
}

bool RemoteVolume::Receive(std::string* payload, std::string* error, Progress* progress) {
    // The server may think for long before it answers: a cancellation need not wait.
    while (progress) {
        pollfd p{fd, POLLIN, 0};
        if (poll(&p, 1, kCancelCheckMs) > 0) break;
        if (progress->Cancelled()) return Drop(error, std::string());
    }
    ReceiveStatus status = ReceiveMessage(fd, kMaxReplyBytes, -1, payload);
    if (status != ReceiveStatus::kOk) {
        return Drop(error, std::string("the server at ") + hostPort +
                               " stopped answering: " + ReceiveStatusText(status));
    }
    received += payload->size() + 4;
    if (!payload->empty() && (MessageType)(*payload)[0] == MessageType::kError) {
        MessageReader in(*payload);
        uint8_t type;
        std::string text;
        in.U8(&type);
        in.String(&text, kMaxReplyBytes);
        *error = "the server says: " + text;
        return false;
    }
    return true;
}

bool RemoteVolume::Connect(std::string* error) {
    if (fd >= 0) return true;
    std::string token;
    if (!tokenFile.empty() && !ReadToken(tokenFile, &token, error)) return false;
    fd = ConnectTo(hostPort, error);
    if (fd < 0) return false;
    std::string reply;
    if (!Send(EncodeHello(token), error)) return false;
    if (!Receive(&reply, error)) return Drop(error, *error);
    MessageReader in(reply);
    uint8_t type;
    if (!in.U8(&type) || type != (uint8_t)MessageType::kWelcome || !in.U32(&blockCount) ||
        !in.U64(&tetraCount) || !in.Raw(&minimum, sizeof minimum) ||
        !in.Raw(&maximum, sizeof maximum) || !in.String(&loadingText, kMaxReplyBytes) || !in.Done())
        return Drop(error, "the server at " + hostPort + " sent a malformed welcome");
    return true;
}

bool RemoteVolume::ExtractIsosurface(FieldVar field, double value, TriangleStore* out,
                                     Console console, Progress* progress, std::string* error) {
    out->Clear();
    error->clear();
    if (!Connect(error) || !Send(EncodeIso(field, value), error)) return false;
    if (progress) progress->total = blockCount;
    std::string reply;
    for (;;) {
        if (!Receive(&reply, error, progress)) return false;
        MessageReader in(reply);
        uint8_t type;
        uint32_t block, count;
        in.U8(&type);
        if (type == (uint8_t)MessageType::kIsoEnd && in.Done()) return true;
        const char* triangles = nullptr;
        if (type != (uint8_t)MessageType::kIsoBlock || !in.U32(&block) || !in.U32(&count) ||
            !(triangles = in.Records(count, kTriangleWireBytes)) || !in.Done())
            return Drop(error, "the server sent a malformed isosurface block");
        out->AppendCopies(triangles, count);
        console.Print("Block %i processed.. %i triangles added.\n", (int)block + 1, (int)count);
        if (progress) {
            ++progress->done;
            // The server finishes the request for nobody.
            if (progress->Cancelled()) return Drop(error, std::string());
        }
    }
}

bool RemoteVolume::TracePathLines(const std::vector<Seed>& seeds, std::vector<PathLine>* lines,
                                  Console console, Progress* progress, std::string* error) {
    lines->clear();
    error->clear();
    if (progress) progress->total = seeds.size();
    if (!Connect(error) || !Send(EncodeLines(seeds), error)) return false;
    std::string reply;
    for (;;) {
        if (!Receive(&reply, error, progress)) return false;
        MessageReader in(reply);
        uint8_t type;
        uint32_t index, count;
        std::string text;
        in.U8(&type);
        if (type == (uint8_t)MessageType::kLinesEnd && in.Done()) {
            if (lines->size() == seeds.size()) return true;
            return Drop(error, "the server sent too few path lines");
        }
        const char* points = nullptr;
        if (type != (uint8_t)MessageType::kLine || !in.U32(&index) ||
            !in.String(&text, kMaxReplyBytes) || !in.U32(&count) ||
            !(points = in.Records(count, kPointWireBytes)) || !in.Done() ||
            index != lines->size() || index >= seeds.size())
            return Drop(error, "the server sent a malformed path line");
        std::vector<Particle> traced(count);
        if (count > 0) memcpy(traced.data(), points, count * kPointWireBytes);
        PathLine line;
        line.SetStart(seeds[index].data());
        line.SetPoints(std::move(traced));
        lines->push_back(std::move(line));
        console.Write(text);
        if (progress) {
            ++progress->done;
            if (progress->Cancelled()) return Drop(error, std::string());
        }
    }
}

void LoadVolumeHeader(const RemoteVolume& remote, TetrahedralVolume* volume) {
    char* bytes = nullptr;
    size_t size = 0;
    FILE* out = open_memstream(&bytes, &size);
    KavWriter writer(out);
    writer.PutVolumeHeader(remote.GetMinimum(), remote.GetMaximum(), 0);
    fclose(out);
    FILE* in = fmemopen(bytes, size, "rb");
    std::string ignored;
    volume->ReadStream(in, kVolumeFileName, Console(&ignored), 1);
    fclose(in);
    free(bytes);
}
