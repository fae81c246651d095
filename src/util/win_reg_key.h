// An owned registry key with typed value reads. Failures are exceptions: misuse raises
// exc::runtime_exc_t, system failures exc::win_sys_exc_t with the registry's status code, and
// every failed value read arrives wrapped in "Cannot retrieve a registry value. Value name: [..]".
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>

#include <boost/shared_ptr.hpp>

#include "platform/win_types.h"

namespace util {

class win_reg_key_t {
 public:
  win_reg_key_t() = default;
  explicit win_reg_key_t(HKEY key) : key_(key) {}
  win_reg_key_t(const win_reg_key_t&) = delete;
  win_reg_key_t& operator=(const win_reg_key_t&) = delete;
  ~win_reg_key_t();

  // The address of the held handle, for a system call to fill. Only while no key is held.
  HKEY* operator&();
  HKEY get() const { return key_; }

  // Closes the key if one is held and returns RegCloseKey's status (0 with no key).
  LSTATUS close();

  // A REG_SZ or REG_EXPAND_SZ value (not expanded) up to its first NUL.
  std::string get_string(const std::string& value_name) const;
  // A REG_DWORD value.
  uint32_t get_dword(const std::string& value_name) const;

  // Opens `path` under HKEY_LOCAL_MACHINE for reading in the 64-bit view. A failure whose
  // status is in `tolerated` gives an empty reference; any other raises exc::win_sys_exc_t.
  static boost::shared_ptr<win_reg_key_t> open_subkey(const std::u16string& path,
                                                      std::initializer_list<LSTATUS> tolerated);

 private:
  HKEY key_ = nullptr;
};

}  // namespace util
