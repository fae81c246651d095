// Locks that clang's thread-safety analysis can follow: the standard library's mutexes carry
// no capability attributes, so these wrap them and the scoped guards below take them.
//
// The mutexes meet the standard Lockable requirements, so std::unique_lock and
// std::condition_variable_any still work with them (unchecked by the analysis); MutexLock
// hands a std::condition_variable the std::unique_lock it waits with.
#pragma once

#include <mutex>
#include <shared_mutex>

#include "rpcrt/base/thread_annotations.h"

namespace rpcrt::base {

class MutexLock;

template <typename StdMutex>
class CAPABILITY("mutex") BasicMutex {
 public:
  BasicMutex() = default;
  BasicMutex(const BasicMutex&) = delete;
  BasicMutex& operator=(const BasicMutex&) = delete;

  void lock() ACQUIRE() { mutex_.lock(); }
  void unlock() RELEASE() { mutex_.unlock(); }
  bool try_lock() TRY_ACQUIRE(true) { return mutex_.try_lock(); }

 protected:
  friend class MutexLock;
  StdMutex mutex_;
};

using Mutex = BasicMutex<std::mutex>;

// A lock the holding thread may take again, as a critical section may be entered again by
// its owner. The analysis does not count depth: a function that takes it while a caller may
// hold it says nothing of it (no EXCLUDES).
using RecursiveMutex = BasicMutex<std::recursive_mutex>;

// A reader-writer lock: exclusive for writers, shared for readers.
class CAPABILITY("mutex") SharedMutex : public BasicMutex<std::shared_mutex> {
 public:
  void lock_shared() ACQUIRE_SHARED() { mutex_.lock_shared(); }
  void unlock_shared() RELEASE_SHARED() { mutex_.unlock_shared(); }
  bool try_lock_shared() TRY_ACQUIRE_SHARED(true) { return mutex_.try_lock_shared(); }
};

// Holds a Mutex for its scope; Unlock() and Lock() let go of it and take it back early.
class SCOPED_CAPABILITY MutexLock {
 public:
  explicit MutexLock(Mutex& mutex) ACQUIRE(mutex) : lock_(mutex.mutex_) {}
  ~MutexLock() RELEASE() {}
  MutexLock(const MutexLock&) = delete;
  MutexLock& operator=(const MutexLock&) = delete;

  void Unlock() RELEASE() { lock_.unlock(); }
  void Lock() ACQUIRE() { lock_.lock(); }

  // What std::condition_variable waits with. A predicate that reads guarded members
  // declares REQUIRES of the mutex, as the wait calls it with the lock held.
  std::unique_lock<std::mutex>& native() { return lock_; }

 private:
  std::unique_lock<std::mutex> lock_;
};

// Holds a RecursiveMutex, or a SharedMutex exclusively, for its scope.
template <typename Lockable>
class SCOPED_CAPABILITY ExclusiveLock {
 public:
  explicit ExclusiveLock(Lockable& mutex) ACQUIRE(mutex) : mutex_(mutex) { mutex_.lock(); }
  // Takes over a lock the caller has just taken (where taking it may throw and the caller
  // must answer that itself).
  ExclusiveLock(Lockable& mutex, std::adopt_lock_t) REQUIRES(mutex) : mutex_(mutex) {}
  ~ExclusiveLock() RELEASE() { mutex_.unlock(); }
  ExclusiveLock(const ExclusiveLock&) = delete;
  ExclusiveLock& operator=(const ExclusiveLock&) = delete;

 private:
  Lockable& mutex_;
};

using RecursiveMutexLock = ExclusiveLock<RecursiveMutex>;
using WriterLock = ExclusiveLock<SharedMutex>;

// Holds a SharedMutex shared for its scope.
class SCOPED_CAPABILITY ReaderLock {
 public:
  explicit ReaderLock(SharedMutex& mutex) ACQUIRE_SHARED(mutex) : mutex_(mutex) {
    mutex_.lock_shared();
  }
  ~ReaderLock() RELEASE() { mutex_.unlock_shared(); }
  ReaderLock(const ReaderLock&) = delete;
  ReaderLock& operator=(const ReaderLock&) = delete;

 private:
  SharedMutex& mutex_;
};

}  // namespace rpcrt::base
