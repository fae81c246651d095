#include "common/runtime_key_store.h"

#include <cerrno>
#include <cstring>

#include <boost/make_shared.hpp>

#include "exc/exceptions.h"
#include "platform/secure_memory.h"

namespace common {
namespace {

// Zeroes a key in a way the compiler may not drop as a dead store.
void Wipe(std::vector<uint8_t>& key) {
  platform::SecureWipe(key.data(), key.size());
}

}  // namespace

CRuntimeKeyStore::~CRuntimeKeyStore() {
  for (auto& [name, key] : keys_) Wipe(*key);
}

boost::shared_ptr<const CRuntimeKeyStore::key_t> CRuntimeKeyStore::GetKey(const std::string& name,
                                                                          size_t size) {
  rpcrt::base::MutexLock lock(mutex_);
  if (const auto it = keys_.find(name); it != keys_.end()) {
    if (it->second->size() != size) {
      throw exc::runtime_exc_t("Runtime key [%1] exists with another size: %2, requested: %3", name,
                               it->second->size(), size);
    }
    return it->second;
  }
  auto key = boost::make_shared<key_t>(size);
  if (!platform::FillRandom(key->data(), key->size())) {
    const int error = errno;
    Wipe(*key);
    throw exc::runtime_exc_t("Failed to generate runtime key [%1]: %2", name, std::strerror(error));
  }
  keys_.emplace(name, key);
  return key;
}

size_t CRuntimeKeyStore::Size() const {
  rpcrt::base::MutexLock lock(mutex_);
  return keys_.size();
}

}  // namespace common
