#pragma once

#include <cstddef>
#include <sys/resource.h>

namespace tarvolo::test {

// Holds the process's address space, for the life of the cap, to what it uses now plus
// `extraMegabytes`, so that a runaway allocation fails at once instead of swamping the machine.
// Under AddressSanitizer, whose shadow memory needs a vast address space, the cap does nothing.
class MemoryCap {
public:
    explicit MemoryCap(std::size_t extraMegabytes);
    ~MemoryCap();
    MemoryCap(const MemoryCap&) = delete;
    MemoryCap& operator=(const MemoryCap&) = delete;

private:
    rlimit previous_{};
    bool active_ = false;
};

// The largest resident memory this process has had so far, in megabytes.
double PeakResidentMegabytes();

} // namespace tarvolo::test
