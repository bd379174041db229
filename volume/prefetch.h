// Asking the cache for data ahead of its use.
#pragma once

// Starts loading the cache line that holds `address`. Unlike a bare __builtin_prefetch, it
// survives in a loop that does nothing else, which the compiler would otherwise remove as
// having no effect.
inline void Prefetch(const void* address) {
#if defined(__x86_64__) || defined(__i386__)
    asm volatile("prefetcht0 %0" : : "m"(*static_cast<const char*>(address)));
#else
    __builtin_prefetch(address);
    asm volatile("" : : "r"(address) : "memory");
#endif
}
