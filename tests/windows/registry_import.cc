// The registry store of the Windows test programs. The shared tests describe the values they
// need as ".reg" text and load it with platform::ReloadRegistry, as they do for the file-backed
// store elsewhere. Here each load imports the file beneath a fresh volatile key of the current
// user and makes that key the process's HKEY_LOCAL_MACHINE (RegOverridePredefKey): the tests
// never write the machine's own key, and a key opened before a load keeps what it was opened
// with, as the file-backed store promises.
#include <fstream>
#include <iterator>
#include <mutex>
#include <string>
#include <vector>

#include "platform/reg_file_parser.h"
#include "platform/registry.h"

#include "platform/win/windows_api.h"

namespace {

constexpr std::u16string_view kMachineRoot = u"HKEY_LOCAL_MACHINE";

// The predefined keys, as the system numbers them.
const auto kLocalMachine = reinterpret_cast<win32::HKEY>(uintptr_t{0x80000002});
const auto kCurrentUser = reinterpret_cast<win32::HKEY>(uintptr_t{0x80000001});

std::mutex mutex;
std::vector<std::string> diagnostics;
unsigned generation = 0;

const wchar_t* Wide(const std::u16string& text) {
  return reinterpret_cast<const wchar_t*>(text.c_str());
}

win32::HKEY CreateVolatileKey(win32::HKEY parent, const std::u16string& path) {
  win32::HKEY key = nullptr;
  if (win32::RegCreateKeyExW(parent, Wide(path), 0, nullptr, REG_OPTION_VOLATILE, KEY_ALL_ACCESS,
                             nullptr, &key, nullptr) != ERROR_SUCCESS)
    return nullptr;
  return key;
}

// The key's path below the machine root, or false for a key under another root.
bool BelowMachineRoot(const std::u16string& path, std::u16string& below) {
  const size_t n = kMachineRoot.size();
  if (platform::FoldRegistryName(path.substr(0, n)) != kMachineRoot) return false;
  if (path.size() > n && path[n] != u'\\') return false;
  below = path.size() > n ? path.substr(n + 1) : u"";
  return true;
}

void Import(win32::HKEY root, const platform::RegFile& file, const std::string& path) {
  for (const auto& key : file.keys) {
    std::u16string below;
    if (!BelowMachineRoot(key.path, below)) {
      diagnostics.push_back(path + ": a key outside HKEY_LOCAL_MACHINE is not imported");
      continue;
    }
    win32::HKEY handle = below.empty() ? root : CreateVolatileKey(root, below);
    if (handle == nullptr) continue;
    for (const auto& value : key.values)
      win32::RegSetValueExW(handle, Wide(value.name), 0, value.type, value.data.data(),
                            static_cast<win32::DWORD>(value.data.size()));
    if (handle != root) win32::RegCloseKey(handle);
  }
}

}  // namespace

namespace platform {

// An empty path gives the process the machine's registry back.
void ReloadRegistryForTesting(const std::string& path) {
  std::lock_guard lock(mutex);
  diagnostics.clear();
  if (path.empty()) {
    win32::RegOverridePredefKey(kLocalMachine, nullptr);
    return;
  }
  const std::string name = "Software\\Zelqa tests\\" +
                           std::to_string(win32::GetCurrentProcessId()) + "-" +
                           std::to_string(generation++);
  win32::HKEY root = CreateVolatileKey(kCurrentUser, std::u16string(name.begin(), name.end()));
  if (root == nullptr) {
    diagnostics.push_back(path + ": no key to import into");
    return;
  }
  std::ifstream in(path, std::ios::binary);
  if (in) {
    const std::vector<uint8_t> bytes{std::istreambuf_iterator<char>(in), {}};
    const RegFile file = ParseRegFile(bytes);
    for (const auto& why : file.diagnostics) diagnostics.push_back(path + ": " + why);
    Import(root, file, path);
  }
  win32::RegOverridePredefKey(kLocalMachine, root);
  win32::RegCloseKey(root);
}

std::vector<std::string> RegistryDiagnostics() {
  std::lock_guard lock(mutex);
  return diagnostics;
}

}  // namespace platform
