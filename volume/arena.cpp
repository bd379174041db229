#include "volume/arena.h"

#include <sys/mman.h>

#include <algorithm>
#include <cstdlib>

namespace {

// Slabs grow with what the arena holds: each at least as large as all before it, up to the
// largest, so that a small volume takes little and a large one few slabs. Slabs of a huge
// page or more are aligned to huge pages and asked to be backed by them.
const size_t kPage = size_t(4) << 10;
const size_t kHugePage = size_t(2) << 20;
const size_t kLargestSlab = size_t(64) << 20;

}  // namespace

Arena::~Arena() {
    for (void* slab : slabs) std::free(slab);
}

uint64_t Arena::Bytes() const {
    std::lock_guard<std::mutex> lock(mutex);
    return slabBytes;
}

void* Arena::AllocateBytes(size_t bytes, size_t alignment) {
    std::lock_guard<std::mutex> lock(mutex);
    if (bytes == 0) bytes = 1;
    char* at = next ? reinterpret_cast<char*>((reinterpret_cast<uintptr_t>(next) + alignment - 1) &
                                              ~(alignment - 1))
                    : nullptr;
    if (!at || at > end || bytes > size_t(end - at)) {
        if (bytes > SIZE_MAX - 2 * kHugePage - alignment) throw std::bad_alloc();
        const size_t want = std::max(bytes + alignment, std::min(kLargestSlab, size_t(slabBytes)));
        const size_t granule = want >= kHugePage ? kHugePage : kPage;
        const size_t size = (want + granule - 1) / granule * granule;
        slabs.reserve(slabs.size() + 1);  // so that keeping the slab cannot throw
        void* slab = std::aligned_alloc(granule, size);
        if (!slab) throw std::bad_alloc();
        // A hint only: without huge pages everything works the same, more slowly.
        if (granule == kHugePage) madvise(slab, size, MADV_HUGEPAGE);
        slabs.push_back(slab);
        slabBytes += size;
        next = static_cast<char*>(slab);
        end = next + size;
        at = next;
    }
    next = at + bytes;
    return at;
}
