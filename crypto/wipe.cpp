#include "wipe.h"

#include <cstring>

void secureWipe(void *data, std::size_t size) {
    if (data == nullptr || size == 0) return;
#if defined(__GNUC__) || defined(__clang__)
    // memset is fast; the empty asm that "reads" the memory keeps the compiler from treating the
    // stores as dead when the buffer is about to go out of scope.
    std::memset(data, 0, size);
    __asm__ __volatile__("" : : "r"(data) : "memory");
#else
    volatile unsigned char *p = static_cast<volatile unsigned char *>(data);
    while (size--) *p++ = 0;
#endif
}
