#include "platform/system_text.h"

#include <cstdarg>
#include <memory>
#include <string>

#include <gtest/gtest.h>

#include "platform/last_error.h"
#include "platform/local_memory.h"
#include "platform/utf_convert.h"

namespace {

constexpr DWORD kSystem =
    FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_FROM_SYSTEM;
constexpr DWORD kEnglishUs = 1033;

struct LocalFreer {
  void operator()(char16_t* p) const { LocalFree(p); }
};

// The text as a UTF-8 string, or "<error N>" with the last error when the call fails.
std::string Message(DWORD flags, LPCVOID source, DWORD id, DWORD language = kEnglishUs,
                    va_list* args = nullptr) {
  char16_t* raw = reinterpret_cast<char16_t*>(0x1);  // must be nulled on failure
  SetLastError(0);
  const DWORD n =
      FormatMessageW(flags, source, id, language, reinterpret_cast<LPWSTR>(&raw), 0, args);
  std::unique_ptr<char16_t, LocalFreer> block(raw);
  if (n == 0) {
    EXPECT_EQ(raw, nullptr);
    return "<error " + std::to_string(GetLastError()) + ">";
  }
  EXPECT_EQ(std::char_traits<char16_t>::length(raw), n);
  return platform::Utf16ToUtf8(std::u16string_view(raw, n));
}

std::string FromString(const char16_t* format, ...) {
  va_list args;
  va_start(args, format);
  std::string out =
      Message(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_STRING, format, 0, 0, &args);
  va_end(args);
  return out;
}

TEST(SystemText, LookupByCodeAndLanguage) {
  // An HRESULT wrapping a Win32 code reads as that code.
  EXPECT_EQ(Message(kSystem, nullptr, 0x80070057), "The parameter is incorrect.\r\n");
  EXPECT_EQ(Message(kSystem, nullptr, 1731), "<error 317>");
  EXPECT_EQ(Message(kSystem, nullptr, 0xDEADBEEF), "<error 317>");
  EXPECT_EQ(Message(kSystem, nullptr, 5, 1036), "<error 1815>");  // French
}

TEST(SystemText, CallerBufferMustHoldTextAndTerminator) {
  const std::u16string expected = u"Access is denied.\r\n";
  char16_t buffer[32];
  const DWORD exact = static_cast<DWORD>(expected.size() + 1);
  EXPECT_EQ(expected.size(),
            FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM, nullptr, 5, 0, buffer, exact, nullptr));
  EXPECT_EQ(std::u16string(buffer), expected);
  EXPECT_EQ(0u,
            FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM, nullptr, 5, 0, buffer, exact - 1, nullptr));
  EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);
  EXPECT_EQ(0u, FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM, nullptr, 5, 0, nullptr, 32, nullptr));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
  EXPECT_EQ(0u, FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER, nullptr, 5, 0, buffer, 0, nullptr));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);  // no source at all
}

TEST(SystemText, FormatStringsTakeTypedInsertsInAnyOrder) {
  EXPECT_EQ(FromString(u"%2 then %1", u"one", u"two"), "two then one");
  EXPECT_EQ(FromString(u"n=%1!d! h=%2!X! s=%3", -5, 0xBEEFu, u"x"), "n=-5 h=BEEF s=x");
  EXPECT_EQ(FromString(u"100%% done%nnext"), "100% done\r\nnext");
  EXPECT_EQ(FromString(u"kept%0dropped"), "kept");
  EXPECT_EQ(FromString(u"bad %1!q! type", 1), "<error 87>");
  EXPECT_EQ(FromString(u"open %1!s", u"x"), "<error 87>");
}

}  // namespace
