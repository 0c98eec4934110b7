#pragma once
// The queue from the threads that finish asynchronous lives to the thread
// that delivers them. No Python in here.
//
// Each item carries its own link, so handing one over never allocates: a
// finished life cannot be dropped for want of memory, which would leave its
// future pending for good and its Python references never released.

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <utility>

namespace sablewick::runtime {

// A first-in first-out list of owned items, linked through T::next_ready.
template <class T>
class ReadyList {
public:
    ReadyList() = default;
    ReadyList(const ReadyList&) = delete;
    ReadyList& operator=(const ReadyList&) = delete;
    ~ReadyList() { clear(); }

    bool empty() const noexcept { return head_ == nullptr; }

    void push_back(std::unique_ptr<T> item) noexcept {
        T* last = item.release();
        last->next_ready = nullptr;
        (tail_ ? tail_->next_ready : head_) = last;
        tail_ = last;
    }

    std::unique_ptr<T> pop_front() noexcept {
        T* first = head_;
        if (first) {
            head_ = std::exchange(first->next_ready, nullptr);
            if (!head_) tail_ = nullptr;
        }
        return std::unique_ptr<T>(first);
    }

    // Moves `other`'s items to the end of this list.
    void splice_back(ReadyList& other) noexcept {
        if (!other.head_) return;
        (tail_ ? tail_->next_ready : head_) = other.head_;
        tail_ = std::exchange(other.tail_, nullptr);
        other.head_ = nullptr;
    }

    template <class F>
    void for_each(F&& visit) {
        for (T* item = head_; item; item = item->next_ready) visit(*item);
    }

    void clear() noexcept {
        while (pop_front()) {
        }
    }

private:
    T* head_ = nullptr;
    T* tail_ = nullptr;
};

template <class T>
class HandOverQueue {
public:
    // From any thread; never allocates and never fails.
    void hand_over(std::unique_ptr<T> item) noexcept {
        {
            std::lock_guard lock(mutex_);
            ready_.push_back(std::move(item));
        }
        has_ready_.notify_one();
    }

    // Waits until something was handed over and moves all of it, in the
    // order it came, to the end of `batch`.
    void take_all(ReadyList<T>& batch) {
        std::unique_lock lock(mutex_);
        has_ready_.wait(lock, [&] { return !ready_.empty(); });
        batch.splice_back(ready_);
    }

    // The same, waiting at most until `deadline`: maybe nothing.
    template <class Clock, class Duration>
    void take_all_until(ReadyList<T>& batch, const std::chrono::time_point<Clock, Duration>& deadline) {
        std::unique_lock lock(mutex_);
        has_ready_.wait_until(lock, deadline, [&] { return !ready_.empty(); });
        batch.splice_back(ready_);
    }

    // The same without waiting: whatever was handed over, maybe nothing.
    void take_ready(ReadyList<T>& batch) {
        std::lock_guard lock(mutex_);
        batch.splice_back(ready_);
    }

private:
    std::mutex mutex_;
    std::condition_variable has_ready_;
    ReadyList<T> ready_;
};

}  // namespace sablewick::runtime
