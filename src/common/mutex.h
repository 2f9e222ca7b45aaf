#pragma once

// Locks whose use the compiler checks. Under clang, -Wthread-safety proves
// that every field marked OVC_GUARDED_BY(mu) is touched only with mu held and
// that functions marked OVC_REQUIRES(mu) are called with it; other compilers
// see plain mutexes.
//
// Waiting is written as a loop on the condition, with the lock held, so the
// analysis sees the guarded fields read under it:
//
//   MutexLock lock(&mu_);
//   while (queue_.empty() && !stopping_) ready_.Wait(&mu_);

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <shared_mutex>
#include <stop_token>
#include <utility>

#if defined(__clang__)
#define OVC_THREAD_ANNOTATION(x) __attribute__((x))
#else
#define OVC_THREAD_ANNOTATION(x)
#endif

#define OVC_CAPABILITY(x) OVC_THREAD_ANNOTATION(capability(x))
#define OVC_SCOPED_CAPABILITY OVC_THREAD_ANNOTATION(scoped_lockable)
#define OVC_GUARDED_BY(x) OVC_THREAD_ANNOTATION(guarded_by(x))
#define OVC_PT_GUARDED_BY(x) OVC_THREAD_ANNOTATION(pt_guarded_by(x))
#define OVC_ACQUIRED_BEFORE(...) OVC_THREAD_ANNOTATION(acquired_before(__VA_ARGS__))
#define OVC_ACQUIRED_AFTER(...) OVC_THREAD_ANNOTATION(acquired_after(__VA_ARGS__))
#define OVC_REQUIRES(...) OVC_THREAD_ANNOTATION(requires_capability(__VA_ARGS__))
#define OVC_REQUIRES_SHARED(...) OVC_THREAD_ANNOTATION(requires_shared_capability(__VA_ARGS__))
#define OVC_ACQUIRE(...) OVC_THREAD_ANNOTATION(acquire_capability(__VA_ARGS__))
#define OVC_TRY_ACQUIRE(...) OVC_THREAD_ANNOTATION(try_acquire_capability(__VA_ARGS__))
#define OVC_ACQUIRE_SHARED(...) OVC_THREAD_ANNOTATION(acquire_shared_capability(__VA_ARGS__))
#define OVC_RELEASE(...) OVC_THREAD_ANNOTATION(release_capability(__VA_ARGS__))
#define OVC_RELEASE_SHARED(...) OVC_THREAD_ANNOTATION(release_shared_capability(__VA_ARGS__))
#define OVC_RELEASE_GENERIC(...) OVC_THREAD_ANNOTATION(release_generic_capability(__VA_ARGS__))
#define OVC_EXCLUDES(...) OVC_THREAD_ANNOTATION(locks_excluded(__VA_ARGS__))
#define OVC_ASSERT_HELD(x) OVC_THREAD_ANNOTATION(assert_capability(x))
#define OVC_RETURN_CAPABILITY(x) OVC_THREAD_ANNOTATION(lock_returned(x))
#define OVC_NO_THREAD_SAFETY_ANALYSIS OVC_THREAD_ANNOTATION(no_thread_safety_analysis)

namespace ovc {

class OVC_CAPABILITY("mutex") Mutex {
 public:
  Mutex() = default;
  Mutex(const Mutex&) = delete;
  Mutex& operator=(const Mutex&) = delete;

  void Lock() OVC_ACQUIRE() { mutex_.lock(); }
  void Unlock() OVC_RELEASE() { mutex_.unlock(); }
  // True when the lock was free and is now held.
  bool TryLock() OVC_TRY_ACQUIRE(true) { return mutex_.try_lock(); }
  // Tells the analysis the lock is held where it cannot see it (a callback
  // documented to run under it).
  void AssertHeld() const OVC_ASSERT_HELD(this) {}

 private:
  friend class CondVar;
  friend class StoppableCondVar;
  std::mutex mutex_;
};

// Holds a Mutex for its scope; Unlock/Lock let a scope step out of the lock
// for a while (a callback, a blocking call).
class OVC_SCOPED_CAPABILITY MutexLock {
 public:
  explicit MutexLock(Mutex* mutex) OVC_ACQUIRE(mutex) : mutex_(mutex) { mutex_->Lock(); }
  // Takes over a lock already held (after TryLock).
  MutexLock(Mutex* mutex, std::adopt_lock_t) OVC_REQUIRES(mutex) : mutex_(mutex) {}
  ~MutexLock() OVC_RELEASE() {
    if (held_) mutex_->Unlock();
  }
  MutexLock(const MutexLock&) = delete;
  MutexLock& operator=(const MutexLock&) = delete;

  void Unlock() OVC_RELEASE() {
    held_ = false;
    mutex_->Unlock();
  }
  void Lock() OVC_ACQUIRE() {
    mutex_->Lock();
    held_ = true;
  }

 private:
  Mutex* const mutex_;
  bool held_ = true;
};

// A condition variable bound to a Mutex. Every wait needs the mutex held and
// may wake without a signal: wait in a loop on the condition.
class CondVar {
 public:
  CondVar() = default;
  CondVar(const CondVar&) = delete;
  CondVar& operator=(const CondVar&) = delete;

  void Wait(Mutex* mutex) OVC_REQUIRES(mutex) {
    std::unique_lock<std::mutex> lock(mutex->mutex_, std::adopt_lock);
    condition_.wait(lock);
    lock.release();
  }
  // False when `deadline` passed without a signal.
  template <typename Clock, typename Duration>
  bool WaitUntil(Mutex* mutex, const std::chrono::time_point<Clock, Duration>& deadline)
      OVC_REQUIRES(mutex) {
    std::unique_lock<std::mutex> lock(mutex->mutex_, std::adopt_lock);
    const bool signalled = condition_.wait_until(lock, deadline) == std::cv_status::no_timeout;
    lock.release();
    return signalled;
  }
  template <typename Rep, typename Period>
  bool WaitFor(Mutex* mutex, const std::chrono::duration<Rep, Period>& timeout)
      OVC_REQUIRES(mutex) {
    return WaitUntil(mutex, std::chrono::steady_clock::now() + timeout);
  }
  void Signal() { condition_.notify_one(); }
  void SignalAll() { condition_.notify_all(); }

 private:
  std::condition_variable condition_;
};

// A CondVar whose waits a stop request also ends. Every wait needs the
// mutex held and may return early: wait in a loop on the condition and on
// stop_requested().
class StoppableCondVar {
 public:
  StoppableCondVar() = default;
  StoppableCondVar(const StoppableCondVar&) = delete;
  StoppableCondVar& operator=(const StoppableCondVar&) = delete;

  // Returns after a signal or a stop request (at once when one was made).
  void Wait(Mutex* mutex, std::stop_token stop) OVC_REQUIRES(mutex) {
    std::unique_lock<std::mutex> lock(mutex->mutex_, std::adopt_lock);
    bool woken = false;
    condition_.wait(lock, stop, [&woken] { return std::exchange(woken, true); });
    lock.release();
  }
  // The same, or once `deadline` passed; false then.
  template <typename Clock, typename Duration>
  bool WaitUntil(Mutex* mutex, std::stop_token stop,
                 const std::chrono::time_point<Clock, Duration>& deadline) OVC_REQUIRES(mutex) {
    std::unique_lock<std::mutex> lock(mutex->mutex_, std::adopt_lock);
    bool woken = false;
    condition_.wait_until(lock, stop, deadline, [&woken] { return std::exchange(woken, true); });
    lock.release();
    return Clock::now() < deadline;
  }
  void SignalAll() { condition_.notify_all(); }

 private:
  std::condition_variable_any condition_;
};

// A lock many readers may share and one writer takes alone.
class OVC_CAPABILITY("shared mutex") SharedMutex {
 public:
  SharedMutex() = default;
  SharedMutex(const SharedMutex&) = delete;
  SharedMutex& operator=(const SharedMutex&) = delete;

  void Lock() OVC_ACQUIRE() { mutex_.lock(); }
  void Unlock() OVC_RELEASE() { mutex_.unlock(); }
  void ReaderLock() OVC_ACQUIRE_SHARED() { mutex_.lock_shared(); }
  void ReaderUnlock() OVC_RELEASE_SHARED() { mutex_.unlock_shared(); }

 private:
  std::shared_mutex mutex_;
};

class OVC_SCOPED_CAPABILITY WriterLock {
 public:
  explicit WriterLock(SharedMutex* mutex) OVC_ACQUIRE(mutex) : mutex_(mutex) { mutex_->Lock(); }
  ~WriterLock() OVC_RELEASE() { mutex_->Unlock(); }
  WriterLock(const WriterLock&) = delete;
  WriterLock& operator=(const WriterLock&) = delete;

 private:
  SharedMutex* const mutex_;
};

class OVC_SCOPED_CAPABILITY ReaderLock {
 public:
  explicit ReaderLock(SharedMutex* mutex) OVC_ACQUIRE_SHARED(mutex) : mutex_(mutex) {
    mutex_->ReaderLock();
  }
  ~ReaderLock() OVC_RELEASE() { mutex_->ReaderUnlock(); }
  ReaderLock(const ReaderLock&) = delete;
  ReaderLock& operator=(const ReaderLock&) = delete;

 private:
  SharedMutex* const mutex_;
};

}  // namespace ovc
