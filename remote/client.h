// The client side of velmora-server: isosurfaces and path lines computed by the server, with
// the results, the console text and the progress of the local computation.
#pragma once

#include <string>
#include <vector>

#include "volume/console.h"
#include "volume/pathline.h"
#include "volume/pathlinestarter.h"
#include "volume/progress.h"
#include "volume/tetravolume.h"
#include "volume/trianglestore.h"

class RemoteVolume {
public:
    // Where the server listens ("HOST:PORT") and the file holding its token (empty: none).
    RemoteVolume(std::string hostPort, std::string tokenFile);
    ~RemoteVolume();
    RemoteVolume(const RemoteVolume&) = delete;
    RemoteVolume& operator=(const RemoteVolume&) = delete;

    // Connects and introduces itself, unless connected already; false with the reason in
    // `error` (no server, a refused token, ...). Every request connects first by itself.
    bool Connect(std::string* error);

    // ExtractIsosurface on the server: the same triangles, "Block ..." lines and progress.
    // False when cancelled (`out` then holds the blocks received) or failed (the reason in
    // `error`, empty after a cancellation).
    bool ExtractIsosurface(FieldVar field, double value, TriangleStore* out, Console console,
                           Progress* progress, std::string* error);
    // TracePathLines on the server: the same lines, text and progress.
    bool TracePathLines(const std::vector<Seed>& seeds, std::vector<PathLine>* lines,
                        Console console, Progress* progress, std::string* error);

    // What the server said of its volume when it welcomed this client: its size, the
    // header's two vertex records (extent and field ranges), and the lines the viewer prints
    // as it loads the volume.
    uint64_t GetTetraCount() const { return tetraCount; }
    uint32_t GetBlockCount() const { return blockCount; }
    const Vertex& GetMinimum() const { return minimum; }
    const Vertex& GetMaximum() const { return maximum; }
    const std::string& GetLoadingText() const { return loadingText; }
    // Bytes received from the server so far.
    uint64_t GetBytesReceived() const { return received; }

private:
    bool Send(const std::string& payload, std::string* error);
    // The next reply; with `progress`, a cancellation stops the wait (`error` then empty).
    bool Receive(std::string* payload, std::string* error, Progress* progress = nullptr);
    // Fails the request: closes the connection (the server drops what the request held).
    bool Drop(std::string* error, const std::string& why);

    std::string hostPort;
    std::string tokenFile;
    int fd = -1;
    uint64_t tetraCount = 0;
    uint32_t blockCount = 0;
    Vertex minimum{};
    Vertex maximum{};
    std::string loadingText;
    uint64_t received = 0;
};

// Loads into `volume` the header that `remote` described in its welcome, and nothing else:
// a volume without vertices or blocks whose extent and field ranges are the server's.
void LoadVolumeHeader(const RemoteVolume& remote, TetrahedralVolume* volume);
