#pragma once

#include "corecrypt/Primitives.h"

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace corecrypt {

// Chunks are independent once enciphered, so a few worker threads process them side by side
// while the calling thread reads; one more thread takes the results in chunk order and writes
// them, so reading, ciphering and writing overlap. Work moves in batches of consecutive chunks:
// a batch costs one hand-over between threads instead of one per chunk, and a worker can run the
// cipher over all chunks of its batch at once.
class ChunkPipeline {
public:
    static constexpr int kBatch = 8; // chunks per batch

    struct Job {
        int slot = -1;
        int count = 0;                  // chunks in the batch
        std::size_t sizes[kBatch] = {}; // each chunk's bytes, at its place in the slot
        bool final = false;             // the batch's last chunk ends the stream
        std::uint64_t index = 0;        // the first chunk's index in the stream
        bool done = false;
        std::string error; // set by the work when it failed
    };
    // Runs on a worker: transforms the slot's chunks; may change their sizes; false with job.error.
    using Work = std::function<bool(int worker, Job& job, std::uint8_t* data)>;
    // Runs on the consuming thread, in chunk order.
    using Consume = std::function<bool(const Job& job, const std::uint8_t* data, std::string& error)>;

    ChunkPipeline(int workers, std::size_t slotSize, Work work, Consume consume);
    ~ChunkPipeline();
    ChunkPipeline(const ChunkPipeline&) = delete;
    ChunkPipeline& operator=(const ChunkPipeline&) = delete;

    static int WorkerCount();

    // A free slot to fill; null after a failure.
    std::uint8_t* Acquire(int& slot, std::string& error);
    // Queues a filled slot: job's slot, count, sizes and final; the index is given here.
    void Submit(Job job);
    // Consumes every submitted batch; false with the first failure.
    bool Drain(std::string& error);

private:
    void Run(int worker);
    void ConsumeInOrder();

    Work m_work;
    Consume m_consume;
    std::vector<SecureBytes> m_slots;
    std::mutex m_mutex;
    // Separate wake-ups, so that a finished batch does not wake every thread.
    std::condition_variable m_workReady; // the workers wait here
    std::condition_variable m_doneReady; // the consumer waits here
    std::condition_variable m_slotFree;  // Acquire and Drain wait here
    std::deque<Job> m_order;             // submitted, in chunk order
    std::deque<Job*> m_queue;            // waiting for a worker
    std::vector<int> m_free;
    std::uint64_t m_next = 0;
    bool m_consuming = false; // a batch left the queue and is being written
    bool m_failed = false;
    std::string m_error;
    bool m_stopping = false;
    std::vector<std::thread> m_workers;
    std::thread m_consumer;
};

} // namespace corecrypt
