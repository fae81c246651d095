#include "logging/thread_states.h"

#include <boost/make_shared.hpp>

#include "platform/thread_id.h"

namespace logging {

void CThreadState::push(operation_record_t record) {
  rpcrt::base::MutexLock lock(mutex_);
  stack_.push_back(std::move(record));
}

void CThreadState::pop() {
  rpcrt::base::MutexLock lock(mutex_);
  if (!stack_.empty()) stack_.pop_back();
}

std::vector<operation_record_t> CThreadState::operations() const {
  rpcrt::base::MutexLock lock(mutex_);
  return stack_;
}

CThreadStatesCollection& CThreadStatesCollection::instance() {
  static CThreadStatesCollection collection;
  return collection;
}

boost::shared_ptr<CThreadState> CThreadStatesCollection::find(DWORD thread_id) const {
  rpcrt::base::ReaderLock lock(mutex_);
  auto it = states_.find(thread_id);
  return it == states_.end() ? nullptr : it->second;
}

boost::shared_ptr<CThreadState> CThreadStatesCollection::add_current_thread() {
  rpcrt::base::WriterLock lock(mutex_);
  auto& state = states_[GetCurrentThreadId()];
  if (!state) state = boost::make_shared<CThreadState>();
  return state;
}

void CThreadStatesCollection::remove(DWORD thread_id) {
  rpcrt::base::WriterLock lock(mutex_);
  states_.erase(thread_id);
}

}  // namespace logging
