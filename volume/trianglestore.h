// Isosurface triangles, in the order extraction made them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

#include "volume/types.h"

// One isosurface triangle: corners in drawing order and its unit normal.
struct Triangle {
    Vector point[3];
    Vector normal;
};

// Consecutive triangles in one piece of memory.
struct TriangleRun {
    Triangle* first;
    size_t count;
};

// The triangles live in chunks of memory that clearing keeps, so that extracting into the
// same store again touches no fresh pages, and that growing never copies. The surface's list
// order is the reverse of the order of making: newest first.
class TriangleStore {
public:
    TriangleStore();
    ~TriangleStore();
    TriangleStore(TriangleStore&&) noexcept;
    TriangleStore& operator=(TriangleStore&&) noexcept;
    // A copy holds the same triangles in memory of its own.
    TriangleStore(const TriangleStore& other);
    TriangleStore& operator=(const TriangleStore& other);

    // Removes every triangle, keeping the memory.
    void Clear();
    // Adds the triangle p1, p2, p3 with its unit normal, (p2 - p1) x (p3 - p2) normalised.
    void Add(const double* p1, const double* p2, const double* p3);

    // Adds copies of `count` triangles laid out as Triangle records from `first` on, in
    // order: triangles made elsewhere (another process, a server), at any alignment.
    void AppendCopies(const void* first, size_t count);

    size_t Size() const { return size; }
    bool Empty() const { return size == 0; }
    // Triangle i in the order of making.
    const Triangle& operator[](size_t i) const {
        size_t p = windows[i >> kWindowShift];
        while (pieces[p].start + pieces[p].count <= i) ++p;
        return pieces[p].first[i - pieces[p].start];
    }

    class Writer;
    // Adds the triangles of `runs` after all others, in order.
    void Append(const std::vector<TriangleRun>& runs);

private:
    struct Piece {
        Triangle* first;
        size_t count;
        size_t start;  // the number of the first triangle
    };
    // Triangles looked up through one entry of `windows`.
    static const int kWindowShift = 12;

    // A chunk for a writer; `lock` (when given) guards the store's chunk list.
    TriangleRun TakeChunk(std::mutex* lock);
    void AddPiece(Triangle* first, size_t count);

    struct FreeChunk {
        void operator()(Triangle* chunk) const;
    };
    std::vector<std::unique_ptr<Triangle, FreeChunk>> chunks;
    size_t chunksTaken = 0;           // chunks in use since the last Clear, the first ones
    TriangleRun open = {nullptr, 0};  // the room left in the chunk that Add fills
    std::vector<Piece> pieces;        // the triangles in order, piece after piece
    std::vector<size_t> windows;  // the first piece holding a triangle numbered w << kWindowShift
    size_t size = 0;
};

// Adds triangles from one of several threads, in parts (a block's triangles, say) that the
// store then joins in the order wanted. Each thread needs a writer of its own; they take
// chunks from the store under one lock. A writer fills a cache line of its own, so that
// writers side by side in an array do not slow each other down.
class alignas(64) TriangleStore::Writer {
public:
    Writer(TriangleStore* store, std::mutex* lock) : store(store), lock(lock) {}

    // Adds the triangle p1, p2, p3 with its unit normal to the current part. The normals are
    // worked out two triangles at a time (the second's Add, or the part's end, completes the
    // first), which halves the cost of their divisions.
    void Add(const double* p1, const double* p2, const double* p3) {
        if (room.count == 0) NextChunk();
        Triangle* t = room.first;
        for (int k = 0; k < 3; ++k) {
            t->point[0][k] = p1[k];
            t->point[1][k] = p2[k];
            t->point[2][k] = p3[k];
        }
        if (unpaired) {
            PairNormals(unpaired, t);
            unpaired = nullptr;
        } else {
            unpaired = t;
        }
        ++room.first;
        --room.count;
    }
    // Ends the current part: its triangles, as runs of memory in order, go to `runs`.
    void EndPart(std::vector<TriangleRun>* runs);

    // Writes the triangle p1, p2, p3 and its normal into `t`.
    static void FillTriangle(Triangle* t, const double* p1, const double* p2, const double* p3);

private:
    void NextChunk();
    static void PairNormals(Triangle* a, Triangle* b);
    // Gives the triangle still waiting for a second one its normal.
    void CompleteNormals();

    TriangleStore* store;
    std::mutex* lock;
    TriangleRun room = {nullptr, 0};  // what is left of the chunk being filled
    Triangle* partFirst = nullptr;    // where the current part began in that chunk
    Triangle* unpaired = nullptr;     // a triangle whose normal waits for the next one
    std::vector<TriangleRun> done;    // the current part's runs in chunks already full
};
