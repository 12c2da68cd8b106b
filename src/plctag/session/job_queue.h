// The session's own thread and its queue: operations started with timeout 0 wait here, in
// order, and run on that thread one at a time, or in batches while a batcher takes them.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace plctag {

// Operations started with timeout 0 give up after this long.
constexpr auto kJobLimit = std::chrono::milliseconds(10000);

class Job {
public:
    virtual ~Job() = default;
    virtual void runJob() = 0;
    virtual void cancelJob(int status) = 0; // the job will not run (session closed, no thread)

    // Packing, on sessions whose family allows it. startPacked offers the job's first request
    // for a Multiple Service Packet: Packed (request appended, the most bytes its reply may
    // take and a ticket set), Alone (nothing changed: run it with runJob) or Done (aborted).
    enum class Pack { Packed, Alone, Done };
    virtual Pack startPacked(std::vector<uint8_t> & /*request*/, size_t /*maxRequest*/, size_t * /*replyBound*/,
                             uint64_t * /*ticket*/)
    {
        return Pack::Alone;
    }
    // Its own reply out of the packet, or the status that ended the whole packet. The job
    // ends, or goes on alone (a partial read's next fragment).
    virtual void finishPacked(uint64_t /*ticket*/, int /*status*/, const uint8_t * /*reply*/, size_t /*n*/) {}
    // A started job that did not go out after all: true when it wants to be queued again.
    virtual bool requeue(uint64_t /*ticket*/) { return false; }
    // The job no longer waits for its reply (aborted, destroyed).
    virtual bool abandoned(uint64_t /*ticket*/) const { return false; }
};

class JobQueue {
public:
    // Serves the queue instead of the one-at-a-time loop while batching() says so.
    class Batcher {
    public:
        virtual ~Batcher() = default;
        virtual bool batching() const = 0;
        virtual void runBatch() = 0; // takes jobs with pop(), gives back with pushFront()
    };

    explicit JobQueue(Batcher *batcher) : batcher_(batcher) {}
    ~JobQueue();
    JobQueue(const JobQueue &) = delete;
    JobQueue &operator=(const JobQueue &) = delete;

    // Queues a job, starting the thread on first use; a closed queue cancels it at once.
    void post(std::shared_ptr<Job> job);
    // The first job; nullptr when none waits or the queue is closed.
    std::shared_ptr<Job> pop();
    // Back at the front, ahead of everything queued.
    void pushFront(std::shared_ptr<Job> job);
    // Later posts are cancelled, the thread stops after the job it runs and cancels the rest.
    // False when already closed.
    bool close();
    // Waits for the thread to end, unless called on it.
    void join();

private:
    void workerLoop();
    void grow(); // under m_
    std::shared_ptr<Job> takeFront(); // under m_, count_ > 0

    Batcher *const batcher_;
    std::mutex m_;
    std::condition_variable cv_;
    bool closing_ = false;
    std::vector<std::shared_ptr<Job>> ring_;
    size_t head_ = 0, count_ = 0;
    std::thread worker_;
};

} // namespace plctag
