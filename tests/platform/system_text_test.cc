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

TEST(SystemText, SystemTextsCarryTheWindowsWordingAndLineBreak) {
  EXPECT_EQ(Message(kSystem, nullptr, 1722), "The RPC server is unavailable.\r\n");
  EXPECT_EQ(Message(kSystem, nullptr, 5, 0), "Access is denied.\r\n");
  EXPECT_EQ(Message(kSystem, nullptr, 1818, 0x400), "The remote procedure call was canceled.\r\n");
  EXPECT_EQ(Message(kSystem, nullptr, 0x80004005), "Unspecified error\r\n");
  // An HRESULT wrapping a Win32 code reads as that code.
  EXPECT_EQ(Message(kSystem, nullptr, 0x80070057), "The parameter is incorrect.\r\n");
  // Codes far from the RPC run time, and HRESULTs of other facilities, have their texts too.
  EXPECT_EQ(Message(kSystem, nullptr, 86), "The specified network password is not correct.\r\n");
  EXPECT_EQ(Message(kSystem, nullptr, 65), "Network access is denied.\r\n");
  EXPECT_EQ(Message(kSystem, nullptr, 1244),
            "The operation being requested was not performed because the user has not been "
            "authenticated.\r\n");
  EXPECT_EQ(Message(kSystem, nullptr, 0x8001011B), "Access is denied.\r\n");
  EXPECT_EQ(Message(kSystem, nullptr, 0x80090308),
            "The token supplied to the function is invalid\r\n");
  // A text of several lines keeps its inner line breaks.
  EXPECT_EQ(Message(kSystem, nullptr, 34),
            "The wrong diskette is in the drive.\r\nInsert %2 (Volume Serial Number: %3) into "
            "drive %1.\r\n");
  // The maximum width flag drops the final line break.
  EXPECT_EQ(Message(kSystem | FORMAT_MESSAGE_MAX_WIDTH_MASK, nullptr, 1722),
            "The RPC server is unavailable.");
}

TEST(SystemText, UnknownCodeAndForeignLanguageFailWithTheirOwnErrors) {
  EXPECT_EQ(Message(kSystem, nullptr, 1731), "<error 317>");
  EXPECT_EQ(Message(kSystem, nullptr, 0xDEADBEEF), "<error 317>");
  EXPECT_EQ(Message(kSystem, nullptr, 5, 1036), "<error 1815>");  // French
}

TEST(SystemText, WininetTextsComeOnlyFromTheWininetModule) {
  const HMODULE wininet = GetModuleHandleW(u"wininet.dll");
  constexpr DWORD kModule = FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_HMODULE;
  EXPECT_EQ(Message(kModule, wininet, 12002, 0), "The operation timed out\r\n");
  EXPECT_EQ(Message(kModule, wininet, 12029, 0),
            "A connection with the server could not be established\r\n");
  EXPECT_EQ(Message(kModule, wininet, 1722, 0), "<error 317>");
  EXPECT_EQ(Message(kSystem, nullptr, 12002), "<error 317>");
  EXPECT_EQ(Message(kModule, GetModuleHandleW(nullptr), 12002, 0), "<error 317>");
  // Module first, then the system, when both are asked for.
  EXPECT_EQ(Message(kModule | FORMAT_MESSAGE_FROM_SYSTEM, wininet, 1722, 0),
            "The RPC server is unavailable.\r\n");
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

TEST(SystemText, InsertsExpandOrStayAsAsked) {
  EXPECT_EQ(Message(kSystem, nullptr, 317),
            "The system cannot find message text for message number 0x%1 in the message file for "
            "%2.\r\n");
  // An argument array holds pointer-sized values: here both inserts are strings.
  const uintptr_t array[] = {reinterpret_cast<uintptr_t>(u"1234"),
                             reinterpret_cast<uintptr_t>(u"System")};
  EXPECT_EQ(Message(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                        FORMAT_MESSAGE_ARGUMENT_ARRAY,
                    nullptr, 317, 0, reinterpret_cast<va_list*>(const_cast<uintptr_t*>(array))),
            "The system cannot find message text for message number 0x1234 in the message file "
            "for System.\r\n");
  // Without arguments an insert cannot be expanded.
  EXPECT_EQ(Message(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM, nullptr, 317),
            "<error 87>");
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
