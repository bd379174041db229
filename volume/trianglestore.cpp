#include "volume/trianglestore.h"

#include <sys/mman.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <new>

#include "math/math.h"

namespace {

// Chunks of 2 MiB: few enough to list, small enough that the last one of each writer wastes
// little. They are not asked to be huge pages: on a busy system the kernel may compact memory
// to make one, which costs a first extraction far more than the page faults it saves.
const size_t kChunkBytes = size_t(2) << 20;
const size_t kChunkTriangles = kChunkBytes / sizeof(Triangle);

}  // namespace

void TriangleStore::FreeChunk::operator()(Triangle* chunk) const {
    munmap(chunk, kChunkBytes);
}

TriangleStore::TriangleStore() = default;
TriangleStore::~TriangleStore() = default;
TriangleStore::TriangleStore(TriangleStore&&) noexcept = default;
TriangleStore& TriangleStore::operator=(TriangleStore&&) noexcept = default;

TriangleStore::TriangleStore(const TriangleStore& other) {
    *this = other;
}

TriangleStore& TriangleStore::operator=(const TriangleStore& other) {
    if (this == &other) return *this;
    Clear();
    for (const Piece& piece : other.pieces) AppendCopies(piece.first, piece.count);
    return *this;
}

void TriangleStore::AppendCopies(const void* first, size_t count) {
    const char* bytes = static_cast<const char*>(first);
    for (size_t done = 0; done < count;) {
        if (open.count == 0) open = TakeChunk(nullptr);
        const size_t n = std::min(open.count, count - done);
        std::memcpy(open.first, bytes + done * sizeof(Triangle), n * sizeof(Triangle));
        AddPiece(open.first, n);
        open.first += n;
        open.count -= n;
        done += n;
    }
}

void TriangleStore::Clear() {
    chunksTaken = 0;
    open = {nullptr, 0};
    pieces.clear();
    windows.clear();
    size = 0;
}

TriangleRun TriangleStore::TakeChunk(std::mutex* lock) {
    std::unique_lock<std::mutex> guard;
    if (lock) guard = std::unique_lock<std::mutex>(*lock);
    if (chunksTaken == chunks.size()) {
        chunks.reserve(chunks.size() + 1);
        void* memory = mmap(nullptr, kChunkBytes, PROT_READ | PROT_WRITE,
                            MAP_PRIVATE | MAP_ANONYMOUS | MAP_POPULATE, -1, 0);
        if (memory == MAP_FAILED) throw std::bad_alloc();
        chunks.emplace_back(static_cast<Triangle*>(memory));
    }
    return {chunks[chunksTaken++].get(), kChunkTriangles};
}

void TriangleStore::AddPiece(Triangle* first, size_t count) {
    if (count == 0) return;
    if (!pieces.empty()) {
        Piece& last = pieces.back();
        if (last.first + last.count == first) {
            // Continues the last piece in the same chunk.
            last.count += count;
            size += count;
            while ((windows.size() << kWindowShift) < size) windows.push_back(pieces.size() - 1);
            return;
        }
    }
    pieces.push_back({first, count, size});
    size += count;
    while ((windows.size() << kWindowShift) < size) windows.push_back(pieces.size() - 1);
}

void TriangleStore::Add(const double* p1, const double* p2, const double* p3) {
    if (open.count == 0) open = TakeChunk(nullptr);
    Writer::FillTriangle(open.first, p1, p2, p3);
    AddPiece(open.first, 1);
    ++open.first;
    --open.count;
}

void TriangleStore::Append(const std::vector<TriangleRun>& runs) {
    for (const TriangleRun& run : runs) AddPiece(run.first, run.count);
    // Add would otherwise go on filling a chunk that the runs may share.
    open = {nullptr, 0};
}

void TriangleStore::Writer::FillTriangle(Triangle* t, const double* p1, const double* p2,
                                         const double* p3) {
    for (int k = 0; k < 3; ++k) {
        t->point[0][k] = p1[k];
        t->point[1][k] = p2[k];
        t->point[2][k] = p3[k];
    }
    CrossProd3(p1, p2, p3, t->normal);
}

void TriangleStore::Writer::PairNormals(Triangle* a, Triangle* b) {
    const double* const first[3] = {a->point[0], a->point[1], a->point[2]};
    const double* const second[3] = {b->point[0], b->point[1], b->point[2]};
    CrossProd3Pair(first, second, a->normal, b->normal);
}

void TriangleStore::Writer::CompleteNormals() {
    if (!unpaired) return;
    CrossProd3(unpaired->point[0], unpaired->point[1], unpaired->point[2], unpaired->normal);
    unpaired = nullptr;
}

void TriangleStore::Writer::NextChunk() {
    // A triangle waiting for its pair keeps waiting: which triangles pair up depends on the
    // part alone, not on where chunks happen to end.
    if (partFirst && room.first > partFirst)
        done.push_back({partFirst, size_t(room.first - partFirst)});
    room = store->TakeChunk(lock);
    partFirst = room.first;
}

void TriangleStore::Writer::EndPart(std::vector<TriangleRun>* runs) {
    CompleteNormals();
    runs->insert(runs->end(), done.begin(), done.end());
    done.clear();
    if (partFirst && room.first > partFirst)
        runs->push_back({partFirst, size_t(room.first - partFirst)});
    partFirst = room.first;
}
