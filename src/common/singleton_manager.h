// Process-wide singletons: one shared instance per type, created on its first request.
//
// Requests work only while a manager is installed (see CSingletonManagerInstaller); without
// one every request fails with "Failed to get singleton. Type: [T]" wrapping "Singleton
// manager is not initialized". A type whose construction failed once is never tried again:
// later requests fail with "Singleton is not created. Type: [T]". Instances are shared
// references, so they outlive the manager while anyone holds them.
#pragma once

#include <exception>
#include <mutex>
#include <shared_mutex>
#include <string>
#include <typeindex>
#include <typeinfo>
#include <unordered_map>

#include <boost/any.hpp>
#include <boost/core/demangle.hpp>
#include <boost/make_shared.hpp>
#include <boost/shared_ptr.hpp>

#include "common/singleton_exceptions.h"
#include "exc/rethrow.h"
#include "rpcrt/base/mutex.h"

namespace common {

class CSingletonManager {
 public:
  CSingletonManager() = default;
  CSingletonManager(const CSingletonManager&) = delete;
  CSingletonManager& operator=(const CSingletonManager&) = delete;

  // The one instance of T, made with T's default constructor on the first request.
  template <class T>
  static boost::shared_ptr<T> Get();

 private:
  friend class CSingletonManagerInstaller;

  // Guards the installed manager as a whole: shared by requests, exclusive for installers.
  static rpcrt::base::SharedMutex& ManagerLock();
  // Read and written only under ManagerLock().
  static boost::shared_ptr<CSingletonManager>& Installed();

  // Marks the calling thread as inside a request, so that an installer created from a
  // singleton's constructor refuses instead of waiting for itself forever.
  class CRequestScope {
   public:
    CRequestScope();
    ~CRequestScope();
    static bool Active();
  };

  template <class T>
  boost::shared_ptr<T> GetOrCreate();

  rpcrt::base::RecursiveMutex lock_;
  std::unordered_map<std::type_index, boost::any> instances_ GUARDED_BY(lock_);
};

// The host-side installer: holds the manager's lock exclusively for its lifetime, during
// which every singleton request fails at once with "Singleton manager is locked for
// initializion". Creating one waits for the requests under way to finish; creating one
// inside a singleton request (a constructor of a managed type) raises instead.
class CSingletonManagerInstaller {
 public:
  CSingletonManagerInstaller();
  ~CSingletonManagerInstaller();
  CSingletonManagerInstaller(const CSingletonManagerInstaller&) = delete;
  CSingletonManagerInstaller& operator=(const CSingletonManagerInstaller&) = delete;

  bool IsInstalled() const;
  // Installs a new, empty manager; raises if one is installed already.
  void Install();
  // Drops the installed manager and its table; returns false when there was none.
  bool Remove();

 private:
  // Declared first so that it goes after the lock is released: destructors of the removed
  // instances may themselves ask for singletons and must get an answer, not a dead lock.
  boost::shared_ptr<CSingletonManager> removed_;
  std::unique_lock<rpcrt::base::SharedMutex> lock_;
};

// Shorthands that hold an installer for one step.
void InstallSingletonManager();
bool RemoveSingletonManager();

template <class T>
boost::shared_ptr<T> GetSingleton() {
  return CSingletonManager::Get<T>();
}

template <class T>
boost::shared_ptr<T> CSingletonManager::Get() {
  try {
    std::shared_lock<rpcrt::base::SharedMutex> shared(ManagerLock(), std::try_to_lock);
    if (!shared.owns_lock()) {
      throw CSingletonManagerIsNotInitializedExc("Singleton manager is locked for initializion");
    }
    const boost::shared_ptr<CSingletonManager> manager = Installed();
    if (!manager)
      throw CSingletonManagerIsNotInitializedExc("Singleton manager is not initialized");
    CRequestScope scope;
    return manager->GetOrCreate<T>();
  } catch (const std::exception& e) {
    exc::rethrow_with_context("Failed to get singleton. Type: [%1]",
                              boost::core::demangle(typeid(T).name()), e);
  }
}

template <class T>
boost::shared_ptr<T> CSingletonManager::GetOrCreate() {
  rpcrt::base::RecursiveMutexLock guard(lock_);
  const auto [it, inserted] = instances_.try_emplace(std::type_index(typeid(T)));
  // A reference to the element survives a rehash caused by T's constructor requesting
  // other singletons on this thread; the iterator would not.
  boost::any& slot = it->second;
  if (!inserted) {
    if (slot.empty()) {
      throw CSingletonIsNotInitializedExc(exc::format_message(
          "Singleton is not created. Type: [%1]", boost::core::demangle(typeid(T).name())));
    }
    return boost::any_cast<boost::shared_ptr<T>>(slot);
  }
  // The empty entry stays if the constructor throws: creation is not retried.
  boost::shared_ptr<T> instance = boost::make_shared<T>();
  slot = instance;
  return instance;
}

}  // namespace common
