// Pages fetched ahead on a thread of their own: in order, an error at its own page, a bounded
// read-ahead, and an end that does not wait for the rest of the range.

#include "render/PagePrefetch.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <functional>
#include <future>
#include <memory>
#include <mutex>
#include <numeric>
#include <optional>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

using tarvolo::emf::Metafile;
using tarvolo::emf::PagePrefetch;

namespace {

// Long enough for any loaded machine: it only turns a fault that would hang into a failure.
constexpr auto kPatience = std::chrono::seconds(60);

// Page n, told apart from the others by its frame width.
Metafile Numbered(int n)
{
    return Metafile(tarvolo::test::MakeEmf(256, 0, 1000 + n));
}

class PageDamaged : public std::runtime_error {
public:
    explicit PageDamaged(int page) : std::runtime_error("page " + std::to_string(page) + " is damaged") {}
};

// A document of made-up pages: it records each page asked for, fails at one page if told to, and
// counts fetches further ahead than `depth` pages past those the caller has begun to take.
class FakePages {
public:
    FakePages(int first, std::size_t depth, std::optional<int> failing = std::nullopt)
        : first_(first), depth_(depth), failing_(failing)
    {
    }

    std::unique_ptr<Metafile> Fetch(int n)
    {
        {
            std::lock_guard lock(lock_);
            calls_.push_back(n);
            if (static_cast<std::size_t>(n - first_) >= begun_ + depth_)
                ++overreach_;
        }
        changed_.notify_all();
        if (failing_ == n)
            throw PageDamaged(n);
        return std::make_unique<Metafile>(Numbered(n));
    }

    // Called just before the caller asks for its next page.
    void BeginNext()
    {
        std::lock_guard lock(lock_);
        ++begun_;
    }

    // False when fewer than count pages were asked for in all the patience given.
    bool WaitForCalls(std::size_t count)
    {
        std::unique_lock lock(lock_);
        return changed_.wait_for(lock, kPatience, [&] { return calls_.size() >= count; });
    }

    std::vector<int> Calls()
    {
        std::lock_guard lock(lock_);
        return calls_;
    }

    int Overreach()
    {
        std::lock_guard lock(lock_);
        return overreach_;
    }

private:
    const int first_;
    const std::size_t depth_;
    const std::optional<int> failing_;
    std::mutex lock_;
    std::condition_variable changed_;
    std::vector<int> calls_;
    std::size_t begun_ = 0;
    int overreach_ = 0;
};

PagePrefetch::Fetcher FetcherOf(const std::shared_ptr<FakePages>& pages)
{
    return [pages](int n) { return pages->Fetch(n); };
}

std::vector<int> Range(int first, int last)
{
    std::vector<int> pages(static_cast<std::size_t>(std::max(last - first + 1, 0)));
    std::iota(pages.begin(), pages.end(), first);
    return pages;
}

// Runs work on a thread of its own and says whether it ended in time. A thread that did not is
// left behind, holding whatever work owns.
bool EndsInTime(std::function<void()> work)
{
    auto ended = std::make_shared<std::promise<void>>();
    std::future<void> end = ended->get_future();
    std::thread([work = std::move(work), ended] {
        work();
        ended->set_value();
    }).detach();
    return end.wait_for(kPatience) == std::future_status::ready;
}

struct RangeCase {
    int first;
    int last;
    std::size_t depth;
};

TEST(PagePrefetchTest, GivesEveryPageOfTheRangeInOrderFetchingEachOnce)
{
    const RangeCase cases[] = {{1, 1, 1}, {1, 12, 1}, {1, 12, 3}, {3, 9, 8}, {1, 40, 2}, {7, 7, 8}, {5, 4, 2}};
    for (const RangeCase& c : cases) {
        SCOPED_TRACE(std::to_string(c.first) + ".." + std::to_string(c.last) + " depth " + std::to_string(c.depth));
        const auto pages = std::make_shared<FakePages>(c.first, c.depth);
        PagePrefetch prefetch(FetcherOf(pages), c.first, c.last, c.depth);
        for (int n = c.first; n <= c.last; ++n) {
            const std::unique_ptr<Metafile> page = prefetch.Next();
            ASSERT_NE(page, nullptr);
            EXPECT_EQ(*page, Numbered(n)) << "page " << n;
        }
        // Past the end it says so rather than waiting for a page that will not come.
        EXPECT_THROW(prefetch.Next(), std::logic_error);
        EXPECT_EQ(pages->Calls(), Range(c.first, c.last));
    }
}

TEST(PagePrefetchTest, AMissingPageComesThroughAsNothing)
{
    PagePrefetch prefetch([](int n) { return n == 2 ? nullptr : std::make_unique<Metafile>(Numbered(n)); }, 1, 3, 2);
    EXPECT_NE(prefetch.Next(), nullptr);
    EXPECT_EQ(prefetch.Next(), nullptr);
    EXPECT_NE(prefetch.Next(), nullptr);
}

TEST(PagePrefetchTest, AFailedFetchSurfacesAtItsOwnPageAndNothingAfterItIsFetched)
{
    struct Case {
        int failing;
        std::size_t depth;
    };
    const Case cases[] = {{1, 4}, {5, 8}, {5, 1}, {12, 3}, {20, 2}};
    for (const Case& c : cases) {
        SCOPED_TRACE("page " + std::to_string(c.failing) + " failing, depth " + std::to_string(c.depth));
        const auto pages = std::make_shared<FakePages>(1, c.depth, c.failing);
        PagePrefetch prefetch(FetcherOf(pages), 1, 20, c.depth);
        // Where the failing page is within the read-ahead, it has failed before any page is taken.
        ASSERT_TRUE(pages->WaitForCalls(std::min<std::size_t>(static_cast<std::size_t>(c.failing), c.depth)));
        for (int n = 1; n < c.failing; ++n) {
            std::unique_ptr<Metafile> page;
            ASSERT_NO_THROW(page = prefetch.Next()) << "page " << n;
            ASSERT_NE(page, nullptr);
            EXPECT_EQ(*page, Numbered(n));
        }
        try {
            prefetch.Next();
            ADD_FAILURE() << "page " << c.failing << " came without its error";
        } catch (const PageDamaged& error) {
            EXPECT_EQ(std::string(error.what()), "page " + std::to_string(c.failing) + " is damaged");
        }
        EXPECT_THROW(prefetch.Next(), std::logic_error);
        EXPECT_EQ(pages->Calls(), Range(1, c.failing));
    }
}

TEST(PagePrefetchTest, FetchesAtMostDepthPagesAheadOfTheCaller)
{
    constexpr int kLast = 30;
    for (const std::size_t depth : {1u, 2u, 5u}) {
        SCOPED_TRACE("depth " + std::to_string(depth));
        const auto pages = std::make_shared<FakePages>(1, depth);
        PagePrefetch prefetch(FetcherOf(pages), 1, kLast, depth);
        for (std::size_t taken = 0; taken < kLast; ++taken) {
            // Let it read as far ahead as it may before taking the next page; any fetch beyond
            // that is counted as it happens.
            ASSERT_TRUE(pages->WaitForCalls(std::min<std::size_t>(kLast, taken + depth))) << taken << " pages taken";
            pages->BeginNext();
            ASSERT_NE(prefetch.Next(), nullptr);
        }
        EXPECT_EQ(pages->Overreach(), 0);
    }
}

TEST(PagePrefetchTest, EndsMidRangeWithoutFetchingTheRest)
{
    struct Case {
        std::size_t taken;
        bool readAheadFull;  // the thread is waiting for room, not fetching
    };
    const Case cases[] = {{0, false}, {0, true}, {3, false}, {3, true}};
    constexpr int kLast = 100000;
    constexpr std::size_t kDepth = 4;
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.taken) + " pages taken" + (c.readAheadFull ? ", read-ahead full" : ""));
        const auto pages = std::make_shared<FakePages>(1, kDepth);
        auto prefetch = std::make_shared<PagePrefetch>(FetcherOf(pages), 1, kLast, kDepth);
        for (std::size_t n = 0; n < c.taken; ++n) {
            pages->BeginNext();
            ASSERT_NE(prefetch->Next(), nullptr);
        }
        if (c.readAheadFull) {
            ASSERT_TRUE(pages->WaitForCalls(c.taken + kDepth));
        }
        ASSERT_TRUE(EndsInTime([prefetch = std::move(prefetch)]() mutable { prefetch.reset(); }));
        // Gone means the thread has been joined: it fetched nothing more since.
        EXPECT_LE(pages->Calls().size(), c.taken + kDepth);
        EXPECT_EQ(pages->Overreach(), 0);
    }
}

TEST(PagePrefetchTest, ReadsAtLeastOnePageAhead)
{
    EXPECT_THROW(PagePrefetch([](int) { return std::unique_ptr<Metafile>(); }, 1, 3, 0), std::invalid_argument);
}

} // namespace
