// Allocation failure on demand, for tests of the component's own statements:
// after `skip` allocations of exactly `bytes` bytes on this thread, the next
// one throws std::bad_alloc, once. A test binary that uses it links allocations.cpp,
// which replaces the global operator new.
#pragma once

#include <cstddef>

namespace kwtest {

class FailingAllocation {
public:
    explicit FailingAllocation(std::size_t bytes, int skip = 0);
    ~FailingAllocation();
    FailingAllocation(const FailingAllocation&) = delete;
    FailingAllocation& operator=(const FailingAllocation&) = delete;
    // Whether the allocation was made, and failed.
    bool fired() const;
};

}  // namespace kwtest
