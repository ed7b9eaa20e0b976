// Batches of work handed from one thread to another through a ring of a few
// batches, for the two halves of saving and opening a large board: one
// thread fills a batch (rows encoded, rows stepped through) while the other
// takes the one before.
#pragma once

#include <array>
#include <condition_variable>
#include <cstddef>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

namespace corvane {

template <class Batch, size_t N> class BatchRing {
public:
    template <class Make> explicit BatchRing(Make make) {
        for (auto& batch : batches_)
            batch = make();
    }
    BatchRing(const BatchRing&) = delete;
    BatchRing& operator=(const BatchRing&) = delete;

    // The filler's next batch, once the taker is done with it; null when the
    // taker stopped.
    Batch* ToFill() {
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [&] { return stopped_ || filled_ - taken_ < N; });
        return stopped_ ? nullptr : batches_[filled_ % N].get();
    }
    void Filled() { Advance(filled_); }
    // The filler made its last batch, or failed.
    void Finish(std::exception_ptr failure = nullptr) {
        std::lock_guard lock(mutex_);
        finished_ = true;
        failure_ = std::move(failure);
        changed_.notify_all();
    }

    // The taker's next batch; null when the filler finished and every batch
    // is taken. Raises what the filler failed with, after its last batch.
    Batch* ToTake() {
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [&] { return finished_ || taken_ < filled_; });
        if (taken_ < filled_)
            return batches_[taken_ % N].get();
        if (failure_)
            std::rethrow_exception(failure_);
        return nullptr;
    }
    void Taken() { Advance(taken_); }
    // The taker wants no more batches.
    void Stop() {
        std::lock_guard lock(mutex_);
        stopped_ = true;
        changed_.notify_all();
    }

private:
    void Advance(size_t& count) {
        std::lock_guard lock(mutex_);
        ++count;
        changed_.notify_all();
    }

    std::array<std::unique_ptr<Batch>, N> batches_;
    std::mutex mutex_;
    std::condition_variable changed_;
    size_t filled_ = 0, taken_ = 0;
    bool finished_ = false, stopped_ = false;
    std::exception_ptr failure_;
};

// The thread that fills a ring: `fill(ring)` runs on it until it is done,
// the ring stops it or it fails. Whoever owns this object takes the
// batches; when it goes, the ring is stopped and the thread joined. The
// thread starts with the signals the starting thread holds. Raises
// std::system_error when no thread is to be had.
class FillingThread {
public:
    template <class Ring, class Fill>
    FillingThread(Ring& ring, Fill fill)
        : stop_([&ring] { ring.Stop(); }), thread_([&ring, fill]() mutable {
              try {
                  fill(ring);
                  ring.Finish();
              } catch (...) {
                  ring.Finish(std::current_exception());
              }
          }) {}
    ~FillingThread() {
        stop_();
        thread_.join();
    }
    FillingThread(const FillingThread&) = delete;
    FillingThread& operator=(const FillingThread&) = delete;

private:
    std::function<void()> stop_;
    std::thread thread_;
};

} // namespace corvane
