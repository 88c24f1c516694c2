// SQLite's memory, with its cached pages in a heap of their own.
//
// A batch over a full store lets SQLite's page cache grow to tens of megabytes. Freed into the
// process heap, that memory stays part of the working set under Wine (whose heap keeps freed
// blocks committed), though SQLite no longer uses it. Kept in a heap of their own, the pages can
// be given back whole: once SQLite has freed every one of them, the heap is destroyed and made
// anew. The allocator is installed before SQLite first starts, by a static initialiser of this
// file; if SQLite had started already, it keeps its own allocator and nothing here takes part.
#pragma once

#include <cstddef>

// Gives the page heap's memory back to the system when SQLite holds no page in it. Returns true
// when it did (and false when the heap is not in use or still holds pages).
bool ReleaseFreedPages();

// The bytes of pages SQLite holds in the page heap now (for tests and benchmarks).
std::size_t PageHeapBytesInUse();
