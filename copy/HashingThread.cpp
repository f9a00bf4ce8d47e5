#include "copy/HashingThread.h"

#include <system_error>

namespace tarsel {

HashingThread::HashingThread(platform::Sha256& digest) : digest_(digest) {
    try {
        thread_ = std::thread([this] { run(); });
    } catch (const std::system_error&) {
        // No thread to be had: hash() then adds each stretch itself, which is slower, not wrong.
    }
}

HashingThread::~HashingThread() {
    stop();
}

void HashingThread::stop() {
    if (!thread_.joinable())
        return;
    {
        const std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    changed_.notify_all();
    thread_.join();
}

void HashingThread::throwIfFailed() const {
    if (failure_)
        std::rethrow_exception(failure_);
}

HashingThread::Stretch HashingThread::take() {
    std::unique_lock lock(mutex_);
    if (made_ < Stretches && free_.empty()) {
        ++made_;
        return {};
    }
    changed_.wait(lock, [this] { return failure_ || !free_.empty(); });
    throwIfFailed();
    Stretch stretch = std::move(free_.back());
    free_.pop_back();
    return stretch;
}

void HashingThread::hash(Stretch stretch, qint64 length) {
    if (!thread_.joinable()) {
        digest_.add(stretch.data(), length);
        const std::lock_guard lock(mutex_);
        free_.push_back(std::move(stretch));
        return;
    }
    {
        const std::lock_guard lock(mutex_);
        throwIfFailed();
        if (length == 0)
            free_.push_back(std::move(stretch));
        else
            queued_.emplace_back(std::move(stretch), length);
    }
    changed_.notify_all();
}

void HashingThread::finish() {
    if (thread_.joinable()) {
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [this] { return failure_ || (queued_.empty() && !busy_); });
        throwIfFailed();
    }
    stop();
}

void HashingThread::run() {
    std::unique_lock lock(mutex_);
    for (;;) {
        changed_.wait(lock, [this] { return stopping_ || !queued_.empty(); });
        if (stopping_)
            return;
        auto [stretch, length] = std::move(queued_.front());
        queued_.pop_front();
        busy_ = true;
        lock.unlock();
        std::exception_ptr failure;
        try {
            digest_.add(stretch.data(), length);
        } catch (...) {
            // An exception must not leave a thread; the caller hears of it at its next call.
            failure = std::current_exception();
        }
        lock.lock();
        busy_ = false;
        free_.push_back(std::move(stretch));
        failure_ = failure;
        changed_.notify_all();
        if (failure_)
            return;
    }
}

} // namespace tarsel
