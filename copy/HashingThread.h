#pragma once

#include "platform/Checksum.h"

#include <QtGlobal>

#include <condition_variable>
#include <deque>
#include <exception>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

namespace tarsel {

// Adds stretches of bytes to a digest on a thread of its own, in the order they are handed over,
// while the caller reads and compares the next ones: hashing costs about as much as comparing. The
// thread touches the digest and the queued stretches only. A few stretches circulate between the
// caller and the thread (take, hash), which bounds both the memory and how far the thread may fall
// behind. The destructor stops the thread, dropping what is still queued, and joins it, however
// the caller leaves; the digest is the caller's again once finish() returned or the object is gone.
// Where no thread can be started (a process limit), the caller's own thread hashes.
class HashingThread {
public:
    using Stretch = std::vector<char>;

    // Stretches that circulate: one being read, the others queued or being hashed.
    static constexpr int Stretches = 4;

    explicit HashingThread(platform::Sha256& digest);
    ~HashingThread();
    HashingThread(const HashingThread&) = delete;
    HashingThread& operator=(const HashingThread&) = delete;

    // A stretch to read into, as large as the last one that used it; waits while all are queued.
    // Throws what the digest threw.
    Stretch take();

    // Queues the first `length` bytes of `stretch` for the digest. Throws what the digest threw.
    void hash(Stretch stretch, qint64 length);

    // Waits until every queued byte is in the digest and stops the thread. Throws what the digest
    // threw.
    void finish();

private:
    void run();
    void stop();
    void throwIfFailed() const; // with the lock held

    platform::Sha256& digest_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<std::pair<Stretch, qint64>> queued_;
    std::vector<Stretch> free_;
    int made_ = 0;      // stretches handed out so far
    bool busy_ = false; // the thread is hashing one it took off the queue
    bool stopping_ = false;
    std::exception_ptr failure_;
    std::thread thread_; // last, so that it starts once everything it uses is there
};

} // namespace tarsel
