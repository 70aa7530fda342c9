// SPDX-License-Identifier: MIT
// Memory pages with restricted access, for tests that show what a call does
// not read or write: a page that faults on any access, a read-only copy of
// some bytes, and bytes that end where a page faulting on any access begins.
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

// `pages` consecutive pages: mapped read-write, protected, released whole.
#if defined(_WIN32)
inline std::size_t pageSize() { return 4096; }
inline void* mapPage(std::size_t pages = 1) {
    return VirtualAlloc(nullptr, pages * pageSize(), MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE);
}
inline bool protectPage(void* page, bool readable, std::size_t pages = 1) {
    DWORD old;
    return VirtualProtect(page, pages * pageSize(), readable ? PAGE_READONLY : PAGE_NOACCESS,
                          &old) != 0;
}
inline void releasePage(void* page, std::size_t /*pages*/ = 1) {
    VirtualFree(page, 0, MEM_RELEASE);
}
#else
inline std::size_t pageSize() { return static_cast<std::size_t>(sysconf(_SC_PAGESIZE)); }
inline void* mapPage(std::size_t pages = 1) {
    void* page = mmap(nullptr, pages * pageSize(), PROT_READ | PROT_WRITE,
                      MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    return page == MAP_FAILED ? nullptr : page;
}
inline bool protectPage(void* page, bool readable, std::size_t pages = 1) {
    return mprotect(page, pages * pageSize(), readable ? PROT_READ : PROT_NONE) == 0;
}
inline void releasePage(void* page, std::size_t pages = 1) { munmap(page, pages * pageSize()); }
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

// `size` read-write bytes (data(), null on failure) that end where a page
// faulting on any access begins: touching the byte after them faults.
class BytesBeforeUnreadablePage {
public:
    explicit BytesBeforeUnreadablePage(std::size_t size)
        : pages_((size + pageSize() - 1) / pageSize() + 1),
          base_(static_cast<char*>(mapPage(pages_))) {
        if (base_ == nullptr) return;
        char* guard = base_ + (pages_ - 1) * pageSize();
        if (!protectPage(guard, false)) {
            releasePage(base_, pages_);
            base_ = nullptr;
            return;
        }
        data_ = guard - size;
    }
    ~BytesBeforeUnreadablePage() {
        if (base_ != nullptr) releasePage(base_, pages_);
    }
    BytesBeforeUnreadablePage(const BytesBeforeUnreadablePage&) = delete;
    BytesBeforeUnreadablePage& operator=(const BytesBeforeUnreadablePage&) = delete;

    void* data() const { return data_; }

private:
    std::size_t pages_;
    char* base_;
    void* data_ = nullptr;
};

}  // namespace testing_support
