#include "platform/page_heap.h"

#include <windows.h>

#include <algorithm>
#include <cstring>

#include "sqlite3.h"

namespace {

// Every block starts with its size and whether it lies in the page heap; 16 bytes keep the
// alignment of what follows as HeapAlloc gives it.
struct Header {
    sqlite3_uint64 size;
    sqlite3_uint64 paged;
};
static_assert(sizeof(Header) == 16);

// A cached page: a 4 KB page with the cache's and the pager's bookkeeping behind it. The pager's
// scratch page (4 KB and 8 bytes, held as long as the connection) stays outside, so that it never
// keeps the page heap from being given back.
bool isPage(int n) { return n > 4096 + 8 && n <= 4096 + 1024; }

CRITICAL_SECTION g_lock;  // guards the three below
HANDLE g_pageHeap = nullptr;
size_t g_pageBlocks = 0;
size_t g_pageBytes = 0;
bool g_installed = false;

void *allocate(int n) {
    if (n <= 0) return nullptr;
    const size_t total = sizeof(Header) + static_cast<size_t>(n);
    const bool paged = isPage(n);
    void *block;
    if (paged) {
        EnterCriticalSection(&g_lock);
        block = HeapAlloc(g_pageHeap, 0, total);
        if (block) {
            ++g_pageBlocks;
            g_pageBytes += static_cast<size_t>(n);
        }
        LeaveCriticalSection(&g_lock);
    } else {
        block = HeapAlloc(GetProcessHeap(), 0, total);
    }
    if (!block) return nullptr;
    auto *h = static_cast<Header *>(block);
    h->size = static_cast<sqlite3_uint64>(n);
    h->paged = paged ? 1 : 0;
    return h + 1;
}

void release(void *p) {
    if (!p) return;
    Header *h = static_cast<Header *>(p) - 1;
    if (h->paged) {
        EnterCriticalSection(&g_lock);
        --g_pageBlocks;
        g_pageBytes -= static_cast<size_t>(h->size);
        HeapFree(g_pageHeap, 0, h);
        LeaveCriticalSection(&g_lock);
    } else {
        HeapFree(GetProcessHeap(), 0, h);
    }
}

void *reallocate(void *p, int n) {
    if (!p) return allocate(n);
    Header *old = static_cast<Header *>(p) - 1;
    if (!old->paged && !isPage(n)) {
        auto *h = static_cast<Header *>(
            HeapReAlloc(GetProcessHeap(), 0, old, sizeof(Header) + static_cast<size_t>(n)));
        if (!h) return nullptr;
        h->size = static_cast<sqlite3_uint64>(n);
        return h + 1;
    }
    // Into or out of the page heap: a new block, the old one's bytes, the old one freed.
    void *q = allocate(n);
    if (!q) return nullptr;
    std::memcpy(q, p, std::min(static_cast<size_t>(old->size), static_cast<size_t>(n)));
    release(p);
    return q;
}

int sizeOf(void *p) { return p ? static_cast<int>((static_cast<Header *>(p) - 1)->size) : 0; }

int roundUp(int n) { return (n + 7) & ~7; }

int start(void *) { return SQLITE_OK; }

void stop(void *) {}

// Installed before main, ahead of any use of SQLite.
struct Installer {
    Installer() {
        InitializeCriticalSection(&g_lock);
        g_pageHeap = HeapCreate(0, 0, 0);
        static const sqlite3_mem_methods methods = {allocate, release, reallocate, sizeOf,
                                                    roundUp,  start,   stop,       nullptr};
        g_installed = g_pageHeap && sqlite3_config(SQLITE_CONFIG_MALLOC, &methods) == SQLITE_OK;
    }
} installer;

}  // namespace

bool ReleaseFreedPages() {
    if (!g_installed) return false;
    EnterCriticalSection(&g_lock);
    bool released = false;
    if (g_pageBlocks == 0) {
        if (HANDLE fresh = HeapCreate(0, 0, 0)) {
            HeapDestroy(g_pageHeap);
            g_pageHeap = fresh;
            released = true;
        }
    }
    LeaveCriticalSection(&g_lock);
    return released;
}

std::size_t PageHeapBytesInUse() {
    if (!g_installed) return 0;
    EnterCriticalSection(&g_lock);
    const size_t bytes = g_pageBytes;
    LeaveCriticalSection(&g_lock);
    return bytes;
}
