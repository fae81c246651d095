// CRuntimeKeyStore: secret keys made for this process only (e.g. to protect secrets kept in
// memory), drawn from the OS random source on first use and wiped when the store goes.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include <boost/shared_ptr.hpp>

#include "rpcrt/base/mutex.h"

namespace common {

class CRuntimeKeyStore {
 public:
  using key_t = std::vector<uint8_t>;

  CRuntimeKeyStore() = default;
  ~CRuntimeKeyStore();
  CRuntimeKeyStore(const CRuntimeKeyStore&) = delete;
  CRuntimeKeyStore& operator=(const CRuntimeKeyStore&) = delete;

  // The key named `name`, made with `size` random bytes on its first request. Asking again
  // with another size raises; so does a failing random source.
  boost::shared_ptr<const key_t> GetKey(const std::string& name, size_t size);
  size_t Size() const;

 private:
  mutable rpcrt::base::Mutex mutex_;
  std::map<std::string, boost::shared_ptr<key_t>> keys_ GUARDED_BY(mutex_);
};

}  // namespace common
