#include "session/job_queue.h"

#include "libplctag.h"

#include <pthread.h>
#include <sched.h>

namespace plctag {

JobQueue::~JobQueue()
{
    close();
    if (worker_.joinable()) {
        if (worker_.get_id() == std::this_thread::get_id())
            worker_.detach();
        else
            worker_.join();
    }
}

void JobQueue::grow()
{
    // Keeps the order.
    std::vector<std::shared_ptr<Job>> bigger(ring_.empty() ? 16 : ring_.size() * 2);
    for (size_t i = 0; i < count_; ++i)
        bigger[i] = std::move(ring_[(head_ + i) % ring_.size()]);
    ring_.swap(bigger);
    head_ = 0;
}

std::shared_ptr<Job> JobQueue::takeFront()
{
    std::shared_ptr<Job> job = std::move(ring_[head_]);
    head_ = (head_ + 1) % ring_.size();
    --count_;
    return job;
}

void JobQueue::post(std::shared_ptr<Job> job)
{
    std::unique_lock<std::mutex> l(m_);
    if (closing_) {
        l.unlock();
        job->cancelJob(PLCTAG_ERR_ABORT);
        return;
    }
    if (count_ == ring_.size())
        grow();
    ring_[(head_ + count_) % ring_.size()] = std::move(job);
    ++count_;
    if (!worker_.joinable()) {
        try {
            worker_ = std::thread([this] { workerLoop(); });
        } catch (...) {
            std::shared_ptr<Job> j = std::move(ring_[(head_ + count_ - 1) % ring_.size()]);
            --count_;
            l.unlock();
            j->cancelJob(PLCTAG_ERR_THREAD_CREATE);
            return;
        }
    }
    cv_.notify_one();
}

std::shared_ptr<Job> JobQueue::pop()
{
    std::lock_guard<std::mutex> l(m_);
    if (count_ == 0 || closing_)
        return nullptr;
    return takeFront();
}

void JobQueue::pushFront(std::shared_ptr<Job> job)
{
    std::lock_guard<std::mutex> l(m_);
    if (count_ == ring_.size())
        grow();
    head_ = (head_ + ring_.size() - 1) % ring_.size();
    ring_[head_] = std::move(job);
    ++count_;
}

bool JobQueue::close()
{
    std::lock_guard<std::mutex> l(m_);
    if (closing_)
        return false;
    closing_ = true;
    cv_.notify_all();
    return true;
}

void JobQueue::join()
{
    if (worker_.joinable() && worker_.get_id() != std::this_thread::get_id())
        worker_.join();
}

void JobQueue::workerLoop()
{
    // The thread batches what callers queue: waking up, it must not take the CPU from a caller
    // still queueing, or every packet holds one request.
    sched_param batch{};
    ::pthread_setschedparam(::pthread_self(), SCHED_BATCH, &batch);
    std::unique_lock<std::mutex> l(m_);
    for (;;) {
        cv_.wait(l, [this] { return closing_ || count_ > 0; });
        if (closing_)
            break;
        if (batcher_ && batcher_->batching()) {
            l.unlock();
            batcher_->runBatch();
            l.lock();
            continue;
        }
        std::shared_ptr<Job> job = takeFront();
        l.unlock();
        job->runJob();
        job.reset();
        l.lock();
    }
    std::vector<std::shared_ptr<Job>> left;
    while (count_ > 0)
        left.push_back(takeFront());
    l.unlock();
    for (auto &j : left)
        j->cancelJob(PLCTAG_ERR_ABORT);
}

} // namespace plctag
