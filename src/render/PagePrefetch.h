#pragma once

#include "metafile/Metafile.h"

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

namespace tarvolo::emf {

// Pages first..last fetched in order on a thread of its own while the caller draws the one before:
// at most `depth` fetched pages wait in memory, so memory does not grow with the page count. A
// fetch that fails reaches the caller when it asks for that page, as the same exception, and
// nothing after it is fetched.
class PagePrefetch {
public:
    // Page n (from 1) of a document, or nothing for a page that is missing.
    using Fetcher = std::function<std::unique_ptr<Metafile>(int page)>;

    // depth is at least 1. An empty range (first > last) fetches nothing.
    PagePrefetch(Fetcher fetcher, int first, int last, std::size_t depth);
    PagePrefetch(const PagePrefetch&) = delete;
    PagePrefetch& operator=(const PagePrefetch&) = delete;

    // The next page of the range, once fetched; rethrows the exception its fetch failed with.
    // Asking past the last page or past a failed one is a logic error.
    std::unique_ptr<Metafile> Next();

private:
    struct Fetched {
        std::unique_ptr<Metafile> page;
        std::exception_ptr error;
    };

    void Fetch(std::stop_token stop);

    Fetcher fetcher_;
    const int first_;
    const int last_;
    const std::size_t depth_;
    std::mutex lock_;
    std::condition_variable_any changed_;
    std::deque<Fetched> ready_;
    // Set once the thread has queued the last page or a failed one: no more pages will come.
    bool finished_ = false;
    // Last: it starts once the rest is built, and going first it is stopped and joined before the
    // rest goes, even while pages wait unclaimed.
    std::jthread thread_;
};

} // namespace tarvolo::emf
