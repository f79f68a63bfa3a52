#include "MemoryCap.h"

#include <fstream>
#include <string>

#if defined(__SANITIZE_ADDRESS__)
#define TARVOLO_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define TARVOLO_ASAN 1
#endif
#endif

namespace tarvolo::test {

#ifndef TARVOLO_ASAN
namespace {

// VmSize of /proc/self/status, in bytes.
std::size_t AddressSpaceInUse()
{
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);)
        if (line.starts_with("VmSize:"))
            return std::stoull(line.substr(7)) * 1024;
    return 0;
}

} // namespace
#endif

MemoryCap::MemoryCap(std::size_t extraMegabytes)
{
#ifndef TARVOLO_ASAN
    if (getrlimit(RLIMIT_AS, &previous_) != 0)
        return;
    rlimit capped = previous_;
    capped.rlim_cur = AddressSpaceInUse() + extraMegabytes * 1024 * 1024;
    if (previous_.rlim_max != RLIM_INFINITY && capped.rlim_cur > previous_.rlim_max)
        capped.rlim_cur = previous_.rlim_max;
    active_ = setrlimit(RLIMIT_AS, &capped) == 0;
#else
    (void)extraMegabytes;
#endif
}

MemoryCap::~MemoryCap()
{
    if (active_)
        setrlimit(RLIMIT_AS, &previous_);
}

double PeakResidentMegabytes()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss / 1024.0;
}

} // namespace tarvolo::test
