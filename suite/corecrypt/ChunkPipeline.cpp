#include "corecrypt/ChunkPipeline.h"

namespace corecrypt {

ChunkPipeline::ChunkPipeline(int workers, std::size_t slotSize, Work work, Consume consume)
    : m_work(std::move(work)), m_consume(std::move(consume)) {
    // One slot per worker, one being filled and one being written keep everything busy; more
    // would only cost memory.
    const int slots = workers + 2;
    m_slots.resize(static_cast<std::size_t>(slots));
    for (int i = slots - 1; i >= 0; --i) {
        m_slots[static_cast<std::size_t>(i)].CleanNew(slotSize);
        m_free.push_back(i);
    }
    for (int i = 0; i < workers; ++i)
        m_workers.emplace_back([this, i] { Run(i); });
    m_consumer = std::thread([this] { ConsumeInOrder(); });
}

ChunkPipeline::~ChunkPipeline() {
    {
        std::lock_guard lock(m_mutex);
        // Whatever is still queued is dropped: the caller has given up on it.
        m_failed = true;
        m_stopping = true;
    }
    m_workReady.notify_all();
    m_doneReady.notify_all();
    m_slotFree.notify_all();
    for (auto& t : m_workers)
        t.join();
    m_consumer.join();
}

int ChunkPipeline::WorkerCount() {
    const unsigned cores = std::thread::hardware_concurrency();
    return cores >= 2 ? 2 : 1;
}

void ChunkPipeline::ConsumeInOrder() {
    std::unique_lock lock(m_mutex);
    while (true) {
        m_doneReady.wait(lock, [&] {
            return (!m_order.empty() && m_order.front().done) || (m_stopping && m_order.empty());
        });
        if (m_order.empty())
            return;
        Job job = std::move(m_order.front());
        m_order.pop_front();
        m_consuming = true;
        if (!job.error.empty() && !m_failed) {
            m_failed = true;
            m_error = job.error;
        }
        if (!m_failed) {
            // The slot belongs to this thread until it is given back, so the lock can go meanwhile.
            lock.unlock();
            std::string error;
            const bool ok = m_consume(job, m_slots[static_cast<std::size_t>(job.slot)].data(), error);
            lock.lock();
            if (!ok && !m_failed) {
                m_failed = true;
                m_error = error;
            }
        }
        m_free.push_back(job.slot);
        m_consuming = false;
        m_slotFree.notify_all();
    }
}

std::uint8_t* ChunkPipeline::Acquire(int& slot, std::string& error) {
    std::unique_lock lock(m_mutex);
    m_slotFree.wait(lock, [&] { return m_failed || !m_free.empty(); });
    if (m_failed) {
        error = m_error;
        return nullptr;
    }
    slot = m_free.back();
    m_free.pop_back();
    return m_slots[static_cast<std::size_t>(slot)].data();
}

void ChunkPipeline::Submit(Job job) {
    {
        std::lock_guard lock(m_mutex);
        job.index = m_next;
        job.done = false;
        m_next += static_cast<std::uint64_t>(job.count);
        m_order.push_back(std::move(job));
        m_queue.push_back(&m_order.back());
    }
    m_workReady.notify_one();
}

bool ChunkPipeline::Drain(std::string& error) {
    std::unique_lock lock(m_mutex);
    m_slotFree.wait(lock, [&] { return m_failed || (m_order.empty() && !m_consuming); });
    if (m_failed)
        error = m_error;
    return !m_failed;
}

void ChunkPipeline::Run(int worker) {
    std::unique_lock lock(m_mutex);
    while (true) {
        m_workReady.wait(lock, [&] { return m_stopping || !m_queue.empty(); });
        if (m_queue.empty())
            return;
        Job* job = m_queue.front();
        m_queue.pop_front();
        const bool skip = m_failed;
        lock.unlock();
        // Job objects stay put: a deque keeps its elements in place when growing at its ends.
        if (!skip && !m_work(worker, *job, m_slots[static_cast<std::size_t>(job->slot)].data()) &&
            job->error.empty())
            job->error = "Processing failed.";
        lock.lock();
        job->done = true;
        // Only the batch at the front can be written; a later one waits for it.
        if (job == &m_order.front())
            m_doneReady.notify_one();
    }
}

} // namespace corecrypt
