#include "platform/registry.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string_view>
#include <unordered_map>
#include <unordered_set>

#include "platform/debug_output.h"
#include "platform/reg_file_parser.h"
#include "platform/utf_convert.h"
#include "rpcrt/base/mutex.h"

namespace platform {
namespace {

struct StoredValue {
  DWORD type;
  std::vector<uint8_t> data;
};

struct StoredKey {
  std::unordered_map<std::u16string, StoredValue> values;  // by folded name
};

struct Store {
  std::unordered_map<std::u16string, StoredKey> keys;  // by folded full path
};

struct PredefinedKey {
  HKEY handle;
  std::u16string_view root;
};

const PredefinedKey* Predefined(HKEY key) {
  static const PredefinedKey kKeys[] = {
      {HKEY_CLASSES_ROOT, u"HKEY_CLASSES_ROOT"},     {HKEY_CURRENT_USER, u"HKEY_CURRENT_USER"},
      {HKEY_LOCAL_MACHINE, u"HKEY_LOCAL_MACHINE"},   {HKEY_USERS, u"HKEY_USERS"},
      {HKEY_CURRENT_CONFIG, u"HKEY_CURRENT_CONFIG"},
  };
  for (const auto& k : kKeys) {
    if (k.handle == key) return &k;
  }
  return nullptr;
}

std::shared_ptr<const Store> Build(const RegFile& file) {
  auto store = std::make_shared<Store>();
  for (HKEY root : {HKEY_CLASSES_ROOT, HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE, HKEY_USERS,
                    HKEY_CURRENT_CONFIG}) {
    store->keys[FoldRegistryName(
        Predefined(root)->root)];  // the roots exist even in an empty registry
  }
  for (const RegFileKey& key : file.keys) {
    const std::u16string folded = FoldRegistryName(key.path);
    // Importing a key creates its ancestors, so they can be opened too.
    for (size_t slash = folded.find(u'\\'); slash != std::u16string::npos;
         slash = folded.find(u'\\', slash + 1)) {
      store->keys[folded.substr(0, slash)];
    }
    StoredKey& stored = store->keys[folded];
    for (const RegFileValue& value : key.values) {
      stored.values[FoldRegistryName(value.name)] =
          StoredValue{value.type, value.data};  // last one wins
    }
  }
  return store;
}

// Reads the whole file; false with a reason when it exists but cannot be used.
bool ReadFile(const std::string& path, std::vector<uint8_t>& bytes, bool& missing,
              std::string& why) {
  missing = false;
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    missing = errno == ENOENT;
    why = std::strerror(errno);
    return false;
  }
  // Closes the descriptor on every way out.
  const std::unique_ptr<const int, void (*)(const int*)> closer(&fd,
                                                                [](const int* f) { ::close(*f); });
  struct stat st {};
  if (::fstat(fd, &st) != 0) {
    why = std::strerror(errno);
    return false;
  }
  if (!S_ISREG(st.st_mode)) {
    why = "not a regular file";
    return false;
  }
  if (static_cast<uint64_t>(st.st_size) > kMaxRegistryFileSize) {
    why = "larger than " + std::to_string(kMaxRegistryFileSize) + " bytes";
    return false;
  }
  bytes.resize(static_cast<size_t>(st.st_size));
  size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = ::read(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      why = std::strerror(errno);
      return false;
    }
    if (n == 0) break;  // the file shrank while being read: use what is there
    done += static_cast<size_t>(n);
  }
  bytes.resize(done);
  return true;
}

// The process-wide store; handles keep the snapshot they were opened on alive.
struct Registry {
  rpcrt::base::Mutex mutex;
  std::shared_ptr<const Store> store GUARDED_BY(mutex);
  std::vector<std::string> diagnostics GUARDED_BY(mutex);
  std::unordered_set<const HKEY__*> open_keys GUARDED_BY(mutex);
};

Registry& TheRegistry() {
  static Registry* registry = new Registry;  // never destroyed: hosts may close keys at exit
  return *registry;
}

void LoadLocked(Registry& r, std::string path) REQUIRES(r.mutex) {
  if (path.empty()) {
    const char* env = std::getenv(kRegistryFileVariable);
    path = env != nullptr && *env != '\0' ? env : kDefaultRegistryFile;
  }
  r.diagnostics.clear();
  std::vector<uint8_t> bytes;
  bool missing = false;
  std::string why;
  RegFile file;
  if (ReadFile(path, bytes, missing, why)) {
    file = ParseRegFile(bytes);
    for (const std::string& d : file.diagnostics) r.diagnostics.push_back(path + ": " + d);
  } else if (!missing) {
    r.diagnostics.push_back(path + ": cannot be read: " + why);
  }
  r.store = Build(file);
  for (const std::string& d : r.diagnostics) {
    OutputDebugStringA(("registry file " + d + "\n").c_str());
  }
}

const Store& CurrentLocked(Registry& r) REQUIRES(r.mutex) {
  if (!r.store) LoadLocked(r, {});
  return *r.store;
}

}  // namespace

void ReloadRegistryForTesting(const std::string& path) {
  Registry& r = TheRegistry();
  const rpcrt::base::MutexLock lock(r.mutex);
  LoadLocked(r, path);
}

std::vector<std::string> RegistryDiagnostics() {
  Registry& r = TheRegistry();
  const rpcrt::base::MutexLock lock(r.mutex);
  CurrentLocked(r);
  return r.diagnostics;
}

}  // namespace platform

// An open key: the store snapshot it was opened on and its folded full path.
struct HKEY__ {
  std::shared_ptr<const platform::Store> store;
  std::u16string path;
  const platform::StoredKey* key;
};

namespace {

using platform::Registry;

// The store and key a handle stands for, or null for a handle that is neither predefined
// nor open.
const platform::StoredKey* ResolveLocked(Registry& r, HKEY key, const platform::Store*& store,
                                         std::u16string& path) REQUIRES(r.mutex) {
  if (const auto* predefined = platform::Predefined(key)) {
    store = &platform::CurrentLocked(r);
    path = platform::FoldRegistryName(predefined->root);
    return &store->keys.at(path);
  }
  if (key == nullptr || r.open_keys.count(key) == 0) return nullptr;
  store = key->store.get();
  path = key->path;
  return key->key;
}

LSTATUS OpenKey(HKEY key, const std::u16string* sub_key, PHKEY result) {
  if (result == nullptr) return ERROR_INVALID_PARAMETER;
  *result = nullptr;
  Registry& r = platform::TheRegistry();
  const rpcrt::base::MutexLock lock(r.mutex);
  const platform::Store* store = nullptr;
  std::u16string path;
  if (ResolveLocked(r, key, store, path) == nullptr) return ERROR_INVALID_HANDLE;

  if (sub_key != nullptr && !sub_key->empty()) {
    std::u16string_view sub(*sub_key);
    if (sub.front() == u'\\') return ERROR_BAD_PATHNAME;
    while (!sub.empty() && sub.back() == u'\\') sub.remove_suffix(1);
    path += u'\\';
    path += platform::FoldRegistryName(sub);
  }
  const auto found = store->keys.find(path);
  if (found == store->keys.end()) return ERROR_FILE_NOT_FOUND;

  std::shared_ptr<const platform::Store> owner = platform::Predefined(key) ? r.store : key->store;
  auto handle = std::make_unique<HKEY__>(HKEY__{std::move(owner), path, &found->second});
  r.open_keys.insert(handle.get());
  *result = handle.release();  // owned by the caller until RegCloseKey
  return ERROR_SUCCESS;
}

// The value's bytes as the caller gets them; narrow callers get strings in UTF-8.
std::vector<uint8_t> Presented(const platform::StoredValue& value, bool narrow) {
  if (!narrow ||
      (value.type != REG_SZ && value.type != REG_EXPAND_SZ && value.type != REG_MULTI_SZ)) {
    return value.data;
  }
  const std::string utf8 = platform::Utf16ToUtf8(rpcrt::Utf16FromLe(value.data));
  return std::vector<uint8_t>(utf8.begin(), utf8.end());
}

LSTATUS QueryValue(HKEY key, const std::u16string& name, bool narrow, LPDWORD reserved,
                   LPDWORD type, LPBYTE data, LPDWORD data_size) {
  if (reserved != nullptr || (data != nullptr && data_size == nullptr)) {
    return ERROR_INVALID_PARAMETER;
  }
  Registry& r = platform::TheRegistry();
  const rpcrt::base::MutexLock lock(r.mutex);
  const platform::Store* store = nullptr;
  std::u16string path;
  const platform::StoredKey* stored = ResolveLocked(r, key, store, path);
  if (stored == nullptr) return ERROR_INVALID_HANDLE;

  const auto found = stored->values.find(platform::FoldRegistryName(name));
  if (found == stored->values.end()) return ERROR_FILE_NOT_FOUND;
  const std::vector<uint8_t> bytes = Presented(found->second, narrow);
  if (type != nullptr) *type = found->second.type;
  if (data_size == nullptr) return ERROR_SUCCESS;
  const DWORD needed = static_cast<DWORD>(bytes.size());
  if (data != nullptr) {
    if (*data_size < needed) {
      *data_size = needed;
      return ERROR_MORE_DATA;
    }
    if (needed > 0) std::memcpy(data, bytes.data(), needed);
  }
  *data_size = needed;
  return ERROR_SUCCESS;
}

std::u16string Wide(LPCWSTR text) {
  return text != nullptr ? std::u16string(text) : u"";
}
std::u16string Widen(LPCSTR text) {
  return text != nullptr ? platform::Utf8ToUtf16(text) : u"";
}

}  // namespace

LSTATUS RegOpenKeyExA(HKEY key, LPCSTR sub_key, DWORD, REGSAM, PHKEY result) {
  const std::u16string sub = Widen(sub_key);
  return OpenKey(key, &sub, result);
}

LSTATUS RegOpenKeyExW(HKEY key, LPCWSTR sub_key, DWORD, REGSAM, PHKEY result) {
  // The access mask and the 32/64-bit view flags change nothing: there is one read-only view.
  const std::u16string sub = Wide(sub_key);
  return OpenKey(key, &sub, result);
}

LSTATUS RegQueryValueExA(HKEY key, LPCSTR value_name, LPDWORD reserved, LPDWORD type, LPBYTE data,
                         LPDWORD data_size) {
  return QueryValue(key, Widen(value_name), true, reserved, type, data, data_size);
}

LSTATUS RegQueryValueExW(HKEY key, LPCWSTR value_name, LPDWORD reserved, LPDWORD type, LPBYTE data,
                         LPDWORD data_size) {
  return QueryValue(key, Wide(value_name), false, reserved, type, data, data_size);
}

LSTATUS RegCloseKey(HKEY key) {
  if (platform::Predefined(key)) return ERROR_SUCCESS;  // predefined keys are never freed
  Registry& r = platform::TheRegistry();
  std::unique_ptr<HKEY__> owned;
  {
    const rpcrt::base::MutexLock lock(r.mutex);
    if (key == nullptr || r.open_keys.erase(key) == 0) return ERROR_INVALID_HANDLE;
    owned.reset(key);  // the snapshot may be the last reference: free it outside the lock
  }
  return ERROR_SUCCESS;
}
