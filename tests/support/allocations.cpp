#include "support/allocations.h"

#include <cstdlib>
#include <new>

namespace kwtest {

namespace {
thread_local std::size_t tFailingSize = 0;
thread_local bool tArmed = false;
thread_local bool tFired = false;
thread_local int tSkip = 0;
}  // namespace

FailingAllocation::FailingAllocation(std::size_t bytes, int skip) {
    tFailingSize = bytes;
    tSkip = skip;
    tFired = false;
    tArmed = true;
}

FailingAllocation::~FailingAllocation() { tArmed = false; }

bool FailingAllocation::fired() const { return tFired; }

}  // namespace kwtest

void* operator new(std::size_t bytes) {
    using namespace kwtest;
    if (tArmed && bytes == tFailingSize && tSkip-- == 0) {
        tArmed = false;
        tFired = true;
        throw std::bad_alloc();
    }
    if (void* p = std::malloc(bytes == 0 ? 1 : bytes)) return p;
    throw std::bad_alloc();
}

void* operator new[](std::size_t bytes) { return operator new(bytes); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }
