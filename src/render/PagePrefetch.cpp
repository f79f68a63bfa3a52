#include "PagePrefetch.h"

#include <stdexcept>
#include <utility>

namespace tarvolo::emf {

namespace {

std::size_t CheckedDepth(std::size_t depth)
{
    if (depth == 0)
        throw std::invalid_argument("a page prefetch reads at least one page ahead");
    return depth;
}

} // namespace

PagePrefetch::PagePrefetch(Fetcher fetcher, int first, int last, std::size_t depth)
    : fetcher_(std::move(fetcher)), first_(first), last_(last), depth_(CheckedDepth(depth)),
      thread_([this](std::stop_token stop) { Fetch(stop); })
{
}

std::unique_ptr<Metafile> PagePrefetch::Next()
{
    std::unique_lock lock(lock_);
    changed_.wait(lock, [this] { return !ready_.empty() || finished_; });
    if (ready_.empty())
        throw std::logic_error("no page is left to prefetch");
    Fetched fetched = std::move(ready_.front());
    ready_.pop_front();
    lock.unlock();
    changed_.notify_all();
    if (fetched.error)
        std::rethrow_exception(fetched.error);
    return std::move(fetched.page);
}

void PagePrefetch::Fetch(std::stop_token stop)
{
    bool failed = false;
    for (int n = first_; n <= last_ && !failed; ++n) {
        {
            // Room first, then the fetch: no page waits outside the queue.
            std::unique_lock lock(lock_);
            if (!changed_.wait(lock, stop, [this] { return ready_.size() < depth_; }))
                return;
        }
        Fetched fetched;
        try {
            fetched.page = fetcher_(n);
        } catch (...) {
            fetched.error = std::current_exception();
        }
        // The caller stops at the failed page: nothing after it is wanted.
        failed = fetched.error != nullptr;
        std::lock_guard lock(lock_);
        ready_.push_back(std::move(fetched));
        changed_.notify_all();
    }
    std::lock_guard lock(lock_);
    finished_ = true;
    changed_.notify_all();
}

} // namespace tarvolo::emf
