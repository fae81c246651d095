#include "platform/module_handle.h"

#include <dlfcn.h>
#include <link.h>

#include <algorithm>
#include <string>
#include <string_view>

#include "platform/last_error.h"
#include "platform/system_text.h"
#include "platform/utf_convert.h"

// The ELF header of the module this code is linked into, as the linker places it.
extern "C" const char __ehdr_start __attribute__((weak, visibility("hidden")));

namespace platform {
namespace {

// Its address is the wininet handle: unique in the process and never a module base.
const char g_wininet_module = 0;

struct Search {
  std::string_view name;  // file name to match; empty: the executable (first object)
  HMODULE found = nullptr;
};

bool EqualNoCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return (x >= 'A' && x <= 'Z' ? x + 32 : x) == (y >= 'A' && y <= 'Z' ? y + 32 : y);
         });
}

// The address where an object's image starts: its lowest loadable segment. dladdr() reports
// the same base, so a handle found by name equals one found from an address inside it.
HMODULE MappedBase(const dl_phdr_info& info) {
  ElfW(Addr) lowest = ~ElfW(Addr){0};
  for (int i = 0; i < info.dlpi_phnum; ++i) {
    if (info.dlpi_phdr[i].p_type == PT_LOAD) lowest = std::min(lowest, info.dlpi_phdr[i].p_vaddr);
  }
  if (lowest == ~ElfW(Addr){0}) lowest = 0;
  return reinterpret_cast<HMODULE>(info.dlpi_addr + lowest);
}

int Visit(dl_phdr_info* info, size_t, void* data) {
  auto& search = *static_cast<Search*>(data);
  if (search.name.empty()) {  // the executable is always the first object listed
    search.found = MappedBase(*info);
    return 1;
  }
  std::string_view path = info->dlpi_name != nullptr ? info->dlpi_name : "";
  const size_t slash = path.rfind('/');
  if (slash != std::string_view::npos) path.remove_prefix(slash + 1);
  if (!path.empty() && EqualNoCase(path, search.name)) {
    search.found = MappedBase(*info);
    return 1;
  }
  return 0;
}

}  // namespace

const void* OwnImageBase() {
  return &__ehdr_start;
}

HMODULE WininetModule() {
  return reinterpret_cast<HMODULE>(const_cast<char*>(&g_wininet_module));
}

}  // namespace platform

HMODULE GetModuleHandleW(LPCWSTR module_name) {
  platform::Search search;
  std::string name;
  if (module_name != nullptr) {
    name = platform::Utf16ToUtf8(module_name);
    if (name.empty()) {
      SetLastError(ERROR_MOD_NOT_FOUND);
      return nullptr;
    }
    if (platform::EqualNoCase(name, "wininet.dll") || platform::EqualNoCase(name, "wininet")) {
      return platform::WininetModule();
    }
    search.name = name;
  }
  ::dl_iterate_phdr(platform::Visit, &search);
  if (search.found == nullptr) SetLastError(ERROR_MOD_NOT_FOUND);
  return search.found;
}

BOOL GetModuleHandleExW(DWORD flags, LPCWSTR module_name, HMODULE* module) {
  constexpr DWORD kKnown = GET_MODULE_HANDLE_EX_FLAG_PIN |
                           GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT |
                           GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS;
  constexpr DWORD kBothRefcountModes =
      GET_MODULE_HANDLE_EX_FLAG_PIN | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT;
  if (module != nullptr) *module = nullptr;
  if (module == nullptr || (flags & ~kKnown) != 0 ||
      (flags & kBothRefcountModes) == kBothRefcountModes) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  // Objects are never unloaded behind the library's back here, so the reference count
  // flags change nothing: every handle behaves as pinned.
  if ((flags & GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS) == 0) {
    *module = GetModuleHandleW(module_name);
    return *module != nullptr ? TRUE : FALSE;
  }
  Dl_info info{};
  if (module_name == nullptr || ::dladdr(module_name, &info) == 0 || info.dli_fbase == nullptr) {
    SetLastError(ERROR_MOD_NOT_FOUND);
    return FALSE;
  }
  *module = static_cast<HMODULE>(info.dli_fbase);
  return TRUE;
}
