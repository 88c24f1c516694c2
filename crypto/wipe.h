// Wiping of key material and plain text in memory.
#pragma once

#include <cstddef>

// Overwrites the bytes with zeros in a way the compiler may not drop as a dead store.
void secureWipe(void *data, std::size_t size);
