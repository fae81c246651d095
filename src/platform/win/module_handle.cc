#include "platform/module_handle.h"

#include <cwctype>
#include <string_view>

#include "platform/system_text.h"

#include "platform/win/windows_api.h"

// The image header of the module this code is linked into, as the linker places it.
extern "C" const char __ImageBase;

namespace platform {
namespace {

bool IsWininet(LPCWSTR name) {
  constexpr std::u16string_view kNames[] = {u"wininet.dll", u"wininet"};
  const std::u16string_view given(name);
  for (const std::u16string_view known : kNames) {
    if (given.size() == known.size() &&
        std::equal(given.begin(), given.end(), known.begin(), [](char16_t a, char16_t b) {
          return std::towlower(static_cast<wint_t>(a)) == static_cast<wint_t>(b);
        })) {
      return true;
    }
  }
  return false;
}

}  // namespace

const void* OwnImageBase() {
  return &__ImageBase;
}

HMODULE WininetModule() {
  // The library reads wininet's message texts; a host that never loaded wininet still gets
  // them. The module stays loaded for the life of the process, as it would once a host uses it.
  static const win32::HMODULE module = win32::LoadLibraryW(L"wininet.dll");
  return reinterpret_cast<HMODULE>(module);
}

}  // namespace platform

HMODULE GetModuleHandleW(LPCWSTR module_name) {
  if (module_name != nullptr && platform::IsWininet(module_name)) {
    HMODULE module = platform::WininetModule();
    if (module == nullptr) win32::SetLastError(ERROR_MOD_NOT_FOUND);
    return module;
  }
  return reinterpret_cast<HMODULE>(
      win32::GetModuleHandleW(reinterpret_cast<const wchar_t*>(module_name)));
}

BOOL GetModuleHandleExW(DWORD flags, LPCWSTR module_name, HMODULE* module) {
  return win32::GetModuleHandleExW(flags, reinterpret_cast<const wchar_t*>(module_name),
                                   reinterpret_cast<win32::HMODULE*>(module));
}
