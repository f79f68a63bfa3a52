#pragma once

#include <QThreadPool>

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>

namespace tarvolo::preview {

// The background work of one window: one pool of worker threads, one a core, whose queued jobs
// start by priority, so that what the user looks at is drawn before what may be looked at later.
// Jobs come through a WorkQueue, one per kind of work. A job's exception is caught and logged:
// nothing a page does on a worker ends the program.
class WorkService {
public:
    enum Priority : int { Search = 0, Thumbnails = 10, ReadAhead = 20, VisibleTiles = 30 };

    WorkService();
    // Drops the queued jobs and waits for the running ones.
    ~WorkService();
    WorkService(const WorkService&) = delete;
    WorkService& operator=(const WorkService&) = delete;

    int ThreadCount() const { return pool_.maxThreadCount(); }

private:
    friend class WorkQueue;
    void Start(Priority priority, std::function<void()> job);

    QThreadPool pool_;
};

// One kind of work of a window (tiles, thumbnails, a search) on its work service. Each job belongs
// to the generation it was posted in: Cancel() moves to the next one, so the jobs still queued are
// dropped when their turn comes and only the running ones are waited for. Post and Cancel are for
// the owner's thread (never a job of the same queue); the jobs run on workers.
class WorkQueue {
public:
    explicit WorkQueue(std::shared_ptr<WorkService> service);
    // Cancels, and waits for the running jobs.
    ~WorkQueue();
    WorkQueue(const WorkQueue&) = delete;
    WorkQueue& operator=(const WorkQueue&) = delete;

    // Runs job on a worker unless the queue is cancelled before it starts.
    void Post(WorkService::Priority priority, std::function<void()> job);
    // Posts job in the given generation only while it is the current one, from any thread: a job
    // that goes on with more work posts it so, and a cancel in between ends it.
    void PostIn(std::uint64_t generation, WorkService::Priority priority, std::function<void()> job);
    // Drops the jobs not started yet, without waiting for the running ones.
    void DropQueued();
    // Drops the jobs not started yet and waits until none of this queue's jobs runs: once it
    // returns, no job posted before runs any more.
    void Cancel();
    // Waits until every job posted has run or been dropped; for tests and benchmarks.
    void WaitUntilIdle();
    // Jobs posted and not yet run or dropped.
    int Pending() const;
    std::uint64_t Generation() const;
    const std::shared_ptr<WorkService>& Service() const { return service_; }

private:
    void Enqueue(std::uint64_t generation, WorkService::Priority priority, std::function<void()> job);

    struct State {
        mutable std::mutex mutex;
        std::condition_variable changed;
        std::uint64_t generation = 0;
        int running = 0;
        int pending = 0;
    };

    std::shared_ptr<WorkService> service_;
    std::shared_ptr<State> state_ = std::make_shared<State>();
};

} // namespace tarvolo::preview
