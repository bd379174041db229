// Memory for the large arrays that a volume derives at load. Searches jump about these arrays;
// with 4 KiB pages nearly every jump would also miss the processor's address translation
// cache, so they are carved out of big slabs that ask the kernel for huge pages. Everything
// is freed at once, with the arena.
#pragma once

#include <cstddef>
#include <cstdint>
#include <mutex>
#include <new>
#include <type_traits>
#include <vector>

class Arena {
public:
    Arena() = default;
    ~Arena();
    Arena(const Arena&) = delete;
    Arena& operator=(const Arena&) = delete;

    // Room for `count` objects of a trivial type, aligned for it and left uninitialised.
    // Safe to call from several threads at once; throws std::bad_alloc when memory runs out.
    template <typename T>
    T* Allocate(size_t count) {
        static_assert(std::is_trivially_destructible<T>::value, "the arena runs no destructors");
        if (count > SIZE_MAX / sizeof(T)) throw std::bad_alloc();
        return static_cast<T*>(AllocateBytes(count * sizeof(T), alignof(T)));
    }

    // Bytes held in slabs.
    uint64_t Bytes() const;

private:
    void* AllocateBytes(size_t bytes, size_t alignment);

    mutable std::mutex mutex;
    std::vector<void*> slabs;
    uint64_t slabBytes = 0;
    char* next = nullptr;
    char* end = nullptr;
};

// An array in an arena: a pointer and a count, owned by the arena.
template <typename T>
struct ArenaArray {
    T* data = nullptr;
    size_t size = 0;

    void Allocate(Arena* arena, size_t count) {
        data = count ? arena->Allocate<T>(count) : nullptr;
        size = count;
    }
    T& operator[](size_t i) { return data[i]; }
    const T& operator[](size_t i) const { return data[i]; }
    bool Empty() const { return size == 0; }
};
