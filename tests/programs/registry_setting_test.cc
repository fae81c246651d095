// zelqa-rpc reads the endpoint mapper's port from the registry store without the client
// library; whatever the store holds, it must find the port the library's options find.
#include "tools/registry_setting.h"

#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "common/options.h"
#include "platform/registry.h"
#include "tests/rpcrt_wire/test_util.h"

namespace {

using rpcrt::testing::ScopedEnv;
using rpcrt::testing::TempFile;

constexpr char kHeader[] = "Windows Registry Editor Version 5.00\r\n\r\n";
constexpr char kProduct[] = "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Zelqa\\Zelqa Harbrix]\r\n";

// The port each side reads from the store at `path`.
void ExpectSamePort(const std::string& path, const char* what) {
  const ScopedEnv env("ZELQA_REGISTRY_FILE", path);
  platform::ReloadRegistryForTesting(path);
  common::ReloadOptionsForTesting();
  const uint32_t library = common::GetOptions().RpcEndpointMapperPort;
  EXPECT_EQ(zelqa::tools::ProductDwordSetting(u"RpcEndpointMapperPort").value_or(135), library)
      << what;
}

TEST(RegistrySetting, FindsThePortTheLibraryFinds) {
  const std::string product = std::string(kHeader) + kProduct;
  // What each store holds, and its text.
  const std::vector<std::pair<const char*, std::string>> stores = {
      {"the port", product + "\"RpcEndpointMapperPort\"=dword:00001f90\r\n"},
      {"no such value", product + "\"RpcRetryCount\"=dword:00000002\r\n"},
      {"names in another case", std::string(kHeader) +
                                    "[hkey_local_machine\\software\\ZELQA\\zelqa harbrix]\r\n" +
                                    "\"rpcendpointmapperport\"=dword:00000088\r\n"},
      {"the last of two sections wins", product + "\"RpcEndpointMapperPort\"=dword:00000087\r\n" +
                                            kProduct +
                                            "\"RpcEndpointMapperPort\"=dword:00000089\r\n"},
      {"the last value is no DWORD", product + "\"RpcEndpointMapperPort\"=dword:00000087\r\n" +
                                         "\"RpcEndpointMapperPort\"=\"8080\"\r\n"},
      {"a DWORD of two bytes", product + "\"RpcEndpointMapperPort\"=hex(4):90,1f\r\n"},
      {"a sub key of the product key",
       std::string(kHeader) + "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Zelqa\\Zelqa Harbrix\\Sub]\r\n" +
           "\"RpcEndpointMapperPort\"=dword:00000087\r\n"},
      {"a malformed line before the value",
       product + "\"RpcRetryCount\"=dword:zz\r\n\"RpcEndpointMapperPort\"=dword:0000abcd\r\n"},
  };
  for (const auto& [what, text] : stores) {
    const TempFile file(text);
    ExpectSamePort(file.path(), what);
  }
  // As regedit writes it: UTF-16LE with a byte-order mark.
  std::string utf16 = "\xff\xfe";
  for (const char c : product + "\"RpcEndpointMapperPort\"=dword:00000bb8\r\n") {
    utf16 += c;
    utf16 += '\0';
  }
  const TempFile regedit(utf16);
  ExpectSamePort(regedit.path(), "UTF-16LE");
  ExpectSamePort("/tmp", "a folder");
  // Last, so that the store is left empty and the options at their defaults.
  ExpectSamePort("/nonexistent/registry.reg", "a missing store");
}

}  // namespace
