#include "AllocationCounter.h"

#include <cstdlib>
#include <new>

namespace {
thread_local bool gCounting = false;
thread_local int gCount = 0;
}  // namespace

namespace vh::test {
void countAllocations(bool on) {
    if (on) gCount = 0;
    gCounting = on;
}
int allocationsCounted() { return gCount; }
}  // namespace vh::test

#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
void* operator new(size_t size) {
    if (gCounting) ++gCount;
    void* p = std::malloc(size ? size : 1);
    if (!p) throw std::bad_alloc();
    return p;
}
void operator delete(void* p) noexcept {
    if (p && gCounting) ++gCount;
    std::free(p);
}
void operator delete(void* p, size_t) noexcept {
    if (p && gCounting) ++gCount;
    std::free(p);
}
