// Wiping of key material and plain text in memory.
#pragma once

#include <cstddef>
#include <memory>

// Overwrites the bytes with zeros in a way the compiler may not drop as a dead store.
void secureWipe(void *data, std::size_t size);

// An allocator that wipes every block before it gives it back: a container of secrets that grows
// leaves no copy of its old contents in freed memory.
template <class T>
struct WipingAllocator {
    using value_type = T;
    WipingAllocator() = default;
    template <class U>
    WipingAllocator(const WipingAllocator<U> &) {}
    T *allocate(std::size_t n) { return std::allocator<T>{}.allocate(n); }
    void deallocate(T *p, std::size_t n) {
        secureWipe(p, n * sizeof(T));
        std::allocator<T>{}.deallocate(p, n);
    }
    template <class U>
    bool operator==(const WipingAllocator<U> &) const {
        return true;
    }
};
