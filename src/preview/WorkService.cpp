#include "WorkService.h"

#include <QThread>
#include <QtGlobal>

#include <exception>

namespace tarvolo::preview {

WorkService::WorkService()
{
    pool_.setMaxThreadCount(std::max(1, QThread::idealThreadCount()));
}

WorkService::~WorkService()
{
    pool_.clear();
    pool_.waitForDone();
}

void WorkService::Start(Priority priority, std::function<void()> job)
{
    pool_.start(
        [job = std::move(job)] {
            try {
                job();
            } catch (const std::exception& error) {
                qWarning("A background job failed: %s", error.what());
            } catch (...) {
                qWarning("A background job failed");
            }
        },
        priority);
}

WorkQueue::WorkQueue(std::shared_ptr<WorkService> service) : service_(std::move(service))
{
}

WorkQueue::~WorkQueue()
{
    Cancel();
}

void WorkQueue::Post(WorkService::Priority priority, std::function<void()> job)
{
    std::uint64_t generation;
    {
        std::lock_guard lock(state_->mutex);
        generation = state_->generation;
        ++state_->pending;
    }
    Enqueue(generation, priority, std::move(job));
}

void WorkQueue::PostIn(std::uint64_t generation, WorkService::Priority priority, std::function<void()> job)
{
    {
        std::lock_guard lock(state_->mutex);
        if (state_->generation != generation)
            return;
        ++state_->pending;
    }
    Enqueue(generation, priority, std::move(job));
}

void WorkQueue::Enqueue(std::uint64_t generation, WorkService::Priority priority, std::function<void()> job)
{
    service_->Start(priority, [state = state_, generation, job = std::move(job)] {
        {
            std::lock_guard lock(state->mutex);
            --state->pending;
            if (state->generation != generation) {
                state->changed.notify_all();
                return; // dropped while queued
            }
            ++state->running;
        }
        struct Done {
            State& state;
            ~Done()
            {
                std::lock_guard lock(state.mutex);
                --state.running;
                state.changed.notify_all();
            }
        } done{*state};
        job();
    });
}

void WorkQueue::DropQueued()
{
    std::lock_guard lock(state_->mutex);
    ++state_->generation;
}

void WorkQueue::Cancel()
{
    std::unique_lock lock(state_->mutex);
    ++state_->generation;
    state_->changed.wait(lock, [this] { return state_->running == 0; });
}

void WorkQueue::WaitUntilIdle()
{
    std::unique_lock lock(state_->mutex);
    state_->changed.wait(lock, [this] { return state_->running == 0 && state_->pending == 0; });
}

int WorkQueue::Pending() const
{
    std::lock_guard lock(state_->mutex);
    return state_->pending + state_->running;
}

std::uint64_t WorkQueue::Generation() const
{
    std::lock_guard lock(state_->mutex);
    return state_->generation;
}

} // namespace tarvolo::preview
