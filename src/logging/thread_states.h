// Per-thread records of the operations (traces) under way, for monitoring: a thread that is
// registered here gets every trace it opens pushed onto its stack, with the tick it began.
#pragma once

#include <map>
#include <string>
#include <vector>

#include <boost/shared_ptr.hpp>

#include "platform/win_types.h"
#include "rpcrt/base/mutex.h"

namespace logging {

struct operation_record_t {
  DWORD start_tick;
  std::string text;
};

class CThreadState {
 public:
  void push(operation_record_t record);
  void pop();
  std::vector<operation_record_t> operations() const;

 private:
  mutable rpcrt::base::Mutex mutex_;
  std::vector<operation_record_t> stack_ GUARDED_BY(mutex_);
};

class CThreadStatesCollection {
 public:
  // The process-wide collection, created on first use.
  static CThreadStatesCollection& instance();

  // The state of `thread_id`, or null when the thread is not registered.
  boost::shared_ptr<CThreadState> find(DWORD thread_id) const;
  // Registers the calling thread (idempotent) and returns its state.
  boost::shared_ptr<CThreadState> add_current_thread();
  void remove(DWORD thread_id);

 private:
  mutable rpcrt::base::SharedMutex mutex_;
  std::map<DWORD, boost::shared_ptr<CThreadState>> states_ GUARDED_BY(mutex_);
};

}  // namespace logging
