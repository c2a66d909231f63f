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
// them, so reading, ciphering and writing overlap.
class ChunkPipeline {
public:
    struct Job {
        int slot = -1;
        std::size_t size = 0; // bytes in the slot
        bool final = false;
        std::uint64_t index = 0;
        bool done = false;
        std::string error; // set by the work when it failed
    };
    // Runs on a worker: transforms the slot's bytes; may change job.size; false with job.error.
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
    void Submit(int slot, std::size_t size, bool final);
    // Consumes every submitted chunk; false with the first failure.
    bool Drain(std::string& error);

private:
    void Run(int worker);
    void ConsumeInOrder();

    Work m_work;
    Consume m_consume;
    std::vector<SecureBytes> m_slots;
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::deque<Job> m_order;  // submitted, in chunk order
    std::deque<Job*> m_queue; // waiting for a worker
    std::vector<int> m_free;
    std::uint64_t m_next = 0;
    bool m_consuming = false; // a chunk left the queue and is being written
    bool m_failed = false;
    std::string m_error;
    bool m_stopping = false;
    std::vector<std::thread> m_workers;
    std::thread m_consumer;
};

} // namespace corecrypt
