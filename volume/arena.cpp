#include "volume/arena.h"

#include <sys/mman.h>

#include <algorithm>
#include <cstdlib>

namespace {

// The huge page size, and the slab sizes: each slab twice the one before, from the smallest
// up to the largest, so that a small volume takes little and a large one few slabs.
const size_t kHugePage = size_t(2) << 20;
const size_t kFirstSlab = kHugePage;
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
        size_t size = std::min(kLargestSlab, std::max(kFirstSlab, size_t(slabBytes)));
        if (bytes > size - alignment) {
            if (bytes > SIZE_MAX - 2 * kHugePage) throw std::bad_alloc();
            size = (bytes + alignment + kHugePage - 1) / kHugePage * kHugePage;
        }
        slabs.reserve(slabs.size() + 1);  // so that keeping the slab cannot throw
        void* slab = std::aligned_alloc(kHugePage, size);
        if (!slab) throw std::bad_alloc();
        // A hint only: without huge pages everything works the same, more slowly.
        madvise(slab, size, MADV_HUGEPAGE);
        slabs.push_back(slab);
        slabBytes += size;
        next = static_cast<char*>(slab);
        end = next + size;
        at = next;
    }
    next = at + bytes;
    return at;
}
