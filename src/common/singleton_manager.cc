#include "common/singleton_manager.h"

#include "exc/exceptions.h"

namespace common {
namespace {

thread_local int t_request_depth = 0;

}  // namespace

rpcrt::base::SharedMutex& CSingletonManager::ManagerLock() {
  static rpcrt::base::SharedMutex lock;
  return lock;
}

boost::shared_ptr<CSingletonManager>& CSingletonManager::Installed() {
  static boost::shared_ptr<CSingletonManager> manager;
  return manager;
}

CSingletonManager::CRequestScope::CRequestScope() {
  ++t_request_depth;
}
CSingletonManager::CRequestScope::~CRequestScope() {
  --t_request_depth;
}
bool CSingletonManager::CRequestScope::Active() {
  return t_request_depth > 0;
}

CSingletonManagerInstaller::CSingletonManagerInstaller() {
  // This thread holds the lock shared further up its stack; waiting for exclusive
  // ownership would never end.
  if (CSingletonManager::CRequestScope::Active()) {
    throw exc::runtime_exc_t(
        "Singleton manager cannot be installed or removed inside a singleton request");
  }
  lock_ = std::unique_lock<rpcrt::base::SharedMutex>(CSingletonManager::ManagerLock());
}

CSingletonManagerInstaller::~CSingletonManagerInstaller() = default;

bool CSingletonManagerInstaller::IsInstalled() const {
  return static_cast<bool>(CSingletonManager::Installed());
}

void CSingletonManagerInstaller::Install() {
  if (IsInstalled()) throw exc::runtime_exc_t("Singleton manager is already installed");
  CSingletonManager::Installed() = boost::make_shared<CSingletonManager>();
}

bool CSingletonManagerInstaller::Remove() {
  if (!IsInstalled()) return false;
  boost::shared_ptr<CSingletonManager> removed;
  removed.swap(CSingletonManager::Installed());
  removed_ = std::move(removed);
  return true;
}

void InstallSingletonManager() {
  CSingletonManagerInstaller().Install();
}

bool RemoveSingletonManager() {
  return CSingletonManagerInstaller().Remove();
}

}  // namespace common
