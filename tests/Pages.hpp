// SPDX-License-Identifier: MIT
// Memory pages with restricted access, for tests that show what a call does
// not read or write: a page that faults on any access, and a read-only copy
// of some bytes.
#pragma once

#include <cstddef>
#include <cstring>

#if defined(_WIN32)
#include <windows.h>
#else
#include <sys/mman.h>
#include <unistd.h>
#endif

namespace testing_support {

#if defined(_WIN32)
inline std::size_t pageSize() { return 4096; }
inline void* mapPage() { return VirtualAlloc(nullptr, pageSize(), MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE); }
inline bool protectPage(void* page, bool readable) {
    DWORD old;
    return VirtualProtect(page, pageSize(), readable ? PAGE_READONLY : PAGE_NOACCESS, &old) != 0;
}
inline void releasePage(void* page) { VirtualFree(page, 0, MEM_RELEASE); }
#else
inline std::size_t pageSize() { return static_cast<std::size_t>(sysconf(_SC_PAGESIZE)); }
inline void* mapPage() {
    void* page = mmap(nullptr, pageSize(), PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    return page == MAP_FAILED ? nullptr : page;
}
inline bool protectPage(void* page, bool readable) {
    return mprotect(page, pageSize(), readable ? PROT_READ : PROT_NONE) == 0;
}
inline void releasePage(void* page) { munmap(page, pageSize()); }
#endif

// A page that faults on any access (null on failure).
inline void* unreadablePage() {
    void* page = mapPage();
    if (page != nullptr && !protectPage(page, false)) {
        releasePage(page);
        return nullptr;
    }
    return page;
}

// A page holding a copy of `size` bytes (at most a page), then made
// read-only (null on failure).
inline void* readOnlyCopy(const void* bytes, std::size_t size) {
    void* page = size <= pageSize() ? mapPage() : nullptr;
    if (page == nullptr) return nullptr;
    std::memcpy(page, bytes, size);
    if (!protectPage(page, true)) {
        releasePage(page);
        return nullptr;
    }
    return page;
}

}  // namespace testing_support
