#include "platform/registry.h"

#include <unistd.h>

#include <atomic>
#include <fstream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "platform/utf_convert.h"
#include "tests/logging/test_support.h"

namespace {

using testing::HasSubstr;

// A file in a fresh temporary directory, removed with it.
class TempFile {
 public:
  explicit TempFile(const std::string& bytes) { std::ofstream(path(), std::ios::binary) << bytes; }
  std::string path() const { return dir_.file("registry.reg"); }

 private:
  logtest::temp_dir_t dir_;
};

// What regedit writes: UTF-16LE with a byte-order mark and CRLF line ends.
std::string AsRegeditFile(const std::string& utf8_lines) {
  std::string crlf;
  for (char c : utf8_lines) {
    if (c == '\n') crlf += '\r';
    crlf += c;
  }
  std::string bytes = "\xFF\xFE";
  for (char16_t c : platform::Utf8ToUtf16(crlf)) {
    bytes += static_cast<char>(c & 0xFF);
    bytes += static_cast<char>(c >> 8);
  }
  return bytes;
}

const char kExport[] = R"(Windows Registry Editor Version 5.00

; settings carried over from a Windows host
[HKEY_LOCAL_MACHINE\SOFTWARE\Zelqa\RpcClient]
"RpcRetryCount"=dword:0000000a
"LogDir"="C:\\Logs\\\"quoted\"\\"
@="default text"
"Limit"=hex(b):00,10,00,00,01,00,00,00
"Expand"=hex(2):25,00,54,00,4d,00,50,00,25,00,00,00
"Multi"=hex(7):61,00,00,00,62,00,00,00,00,00
"Blob"=hex:01,02,03,04,05,06,07,08,09,0a,0b,0c,0d,0e,0f,10,11,12,13,14,15,16,17,\
  18,19,1a
"Gone"=-
"Odd"=hex(100000):ab
"Caf)"
                       "\xC3\xA9"
                       R"("="non-ascii name"

[-HKEY_LOCAL_MACHINE\SOFTWARE\Zelqa\Old]
"Stale"=dword:00000001

[HKEY_LOCAL_MACHINE\SOFTWARE\Zelqa\RpcClient\Receivers]
)";

class RegistryTest : public testing::Test {
 protected:
  void Load(const std::string& bytes) {
    file_ = std::make_unique<TempFile>(bytes);
    platform::ReloadRegistryForTesting(file_->path());
  }
  void TearDown() override { platform::ReloadRegistryForTesting("/nonexistent/registry.reg"); }

  HKEY Open(const char16_t* path, REGSAM sam = KEY_READ) {
    HKEY key = nullptr;
    EXPECT_EQ(ERROR_SUCCESS,
              static_cast<DWORD>(RegOpenKeyExW(HKEY_LOCAL_MACHINE, path, 0, sam, &key)));
    return key;
  }

  std::unique_ptr<TempFile> file_;
};

DWORD QueryDword(HKEY key, const char16_t* name) {
  DWORD type = REG_NONE, value = 0, size = sizeof value;
  EXPECT_EQ(ERROR_SUCCESS,
            static_cast<DWORD>(RegQueryValueExW(key, name, nullptr, &type,
                                                reinterpret_cast<LPBYTE>(&value), &size)));
  EXPECT_EQ(type, REG_DWORD);
  EXPECT_EQ(size, 4u);
  return value;
}

// The raw bytes and type of a value, read with the size-query-then-read pattern.
std::pair<DWORD, std::string> QueryA(HKEY key, const char* name) {
  DWORD type = REG_NONE, size = 0;
  EXPECT_EQ(ERROR_SUCCESS,
            static_cast<DWORD>(RegQueryValueExA(key, name, nullptr, &type, nullptr, &size)));
  std::string data(size, '\0');
  EXPECT_EQ(ERROR_SUCCESS,
            static_cast<DWORD>(RegQueryValueExA(key, name, nullptr, &type,
                                                reinterpret_cast<LPBYTE>(data.data()), &size)));
  EXPECT_EQ(size, data.size());
  return {type, data};
}

TEST_F(RegistryTest, ReadsEveryValueTypeOfARegeditExport) {
  Load(AsRegeditFile(kExport));
  EXPECT_THAT(platform::RegistryDiagnostics(), testing::IsEmpty());
  HKEY key = Open(u"SOFTWARE\\Zelqa\\RpcClient");
  ASSERT_NE(key, nullptr);

  EXPECT_EQ(QueryDword(key, u"RpcRetryCount"), 10u);
  EXPECT_EQ(QueryA(key, "LogDir"),
            std::make_pair(REG_SZ, std::string("C:\\Logs\\\"quoted\"\\\0", 18)));
  EXPECT_EQ(QueryA(key, nullptr), std::make_pair(REG_SZ, std::string("default text\0", 13)));
  EXPECT_EQ(QueryA(key, "Limit"),
            std::make_pair(REG_QWORD, std::string("\x00\x10\x00\x00\x01\x00\x00\x00", 8)));
  EXPECT_EQ(QueryA(key, "Expand"), std::make_pair(REG_EXPAND_SZ, std::string("%TMP%\0", 6)));
  EXPECT_EQ(QueryA(key, "Multi"), std::make_pair(REG_MULTI_SZ, std::string("a\0b\0\0", 5)));
  const auto blob = QueryA(key, "Blob");
  EXPECT_EQ(blob.first, REG_BINARY);
  ASSERT_EQ(blob.second.size(), 26u);  // continued over two lines
  EXPECT_EQ(blob.second.back(), '\x1a');
  EXPECT_EQ(QueryA(key, "Odd").first, 0x100000u);
  EXPECT_EQ(QueryA(key, "CAF\xC3\x89").second, std::string("non-ascii name\0", 15));

  // The wide call hands strings back in UTF-16 with their terminator.
  char16_t wide[32];
  DWORD size = sizeof wide, type = 0;
  ASSERT_EQ(ERROR_SUCCESS, static_cast<DWORD>(RegQueryValueExW(
                               key, u"", nullptr, &type, reinterpret_cast<LPBYTE>(wide), &size)));
  EXPECT_EQ(size, 13u * 2);
  EXPECT_EQ(std::u16string(wide), u"default text");
  EXPECT_EQ(ERROR_SUCCESS, static_cast<DWORD>(RegCloseKey(key)));
}

TEST_F(RegistryTest, NamesIgnoreCaseAndBothViewsAndParentsAreOneStore) {
  Load(AsRegeditFile(kExport));
  for (REGSAM sam : {KEY_READ | KEY_WOW64_64KEY, KEY_READ | KEY_WOW64_32KEY, KEY_QUERY_VALUE}) {
    HKEY key = Open(u"software\\ZELQA\\rpcclient\\", sam);
    EXPECT_EQ(QueryDword(key, u"rpcretrycount"), 10u);
    RegCloseKey(key);
  }
  HKEY parent = Open(u"Software\\Zelqa");  // created by importing its child
  HKEY child = nullptr;
  EXPECT_EQ(ERROR_SUCCESS,
            static_cast<DWORD>(RegOpenKeyExA(parent, "RpcClient\\Receivers", 0, KEY_READ, &child)));
  RegCloseKey(child);
  RegCloseKey(parent);
}

TEST_F(RegistryTest, StatusCodesFollowWindows) {
  Load(AsRegeditFile(kExport));
  HKEY key = nullptr;
  EXPECT_EQ(ERROR_FILE_NOT_FOUND, static_cast<DWORD>(RegOpenKeyExW(
                                      HKEY_LOCAL_MACHINE, u"SOFTWARE\\Nope", 0, KEY_READ, &key)));
  EXPECT_EQ(key, nullptr);
  EXPECT_EQ(ERROR_FILE_NOT_FOUND,  // deleted section
            static_cast<DWORD>(
                RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Zelqa\\Old", 0, KEY_READ, &key)));
  EXPECT_EQ(ERROR_BAD_PATHNAME, static_cast<DWORD>(RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"\\SOFTWARE",
                                                                 0, KEY_READ, &key)));
  EXPECT_EQ(ERROR_INVALID_PARAMETER, static_cast<DWORD>(RegOpenKeyExW(
                                         HKEY_LOCAL_MACHINE, u"SOFTWARE", 0, KEY_READ, nullptr)));

  key = Open(u"SOFTWARE\\Zelqa\\RpcClient");
  DWORD type = 0, size = 0;
  EXPECT_EQ(ERROR_FILE_NOT_FOUND,
            static_cast<DWORD>(RegQueryValueExW(key, u"Gone", nullptr, &type, nullptr, &size)));
  // Size query, then a buffer one byte short: more data, the size needed, buffer untouched.
  EXPECT_EQ(ERROR_SUCCESS,
            static_cast<DWORD>(RegQueryValueExW(key, u"LogDir", nullptr, &type, nullptr, &size)));
  EXPECT_EQ(size, 18u * 2);
  std::vector<BYTE> buffer(size - 1, 0xCC);
  DWORD short_size = size - 1;
  EXPECT_EQ(ERROR_MORE_DATA, static_cast<DWORD>(RegQueryValueExW(key, u"LogDir", nullptr, &type,
                                                                 buffer.data(), &short_size)));
  EXPECT_EQ(short_size, size);
  EXPECT_EQ(buffer[0], 0xCC);
  DWORD reserved = 0;
  EXPECT_EQ(ERROR_INVALID_PARAMETER,
            static_cast<DWORD>(RegQueryValueExW(key, u"LogDir", &reserved, &type, nullptr, &size)));
  // Existence check with neither buffer nor size.
  EXPECT_EQ(ERROR_SUCCESS,
            static_cast<DWORD>(RegQueryValueExA(key, "Limit", nullptr, &type, nullptr, nullptr)));
  EXPECT_EQ(type, REG_QWORD);

  EXPECT_EQ(ERROR_SUCCESS, static_cast<DWORD>(RegCloseKey(key)));
  EXPECT_EQ(ERROR_INVALID_HANDLE, static_cast<DWORD>(RegCloseKey(key)));  // already closed
  EXPECT_EQ(ERROR_INVALID_HANDLE, static_cast<DWORD>(RegCloseKey(nullptr)));
  EXPECT_EQ(ERROR_SUCCESS, static_cast<DWORD>(RegCloseKey(HKEY_LOCAL_MACHINE)));
}

TEST_F(RegistryTest, Utf8FilesWithOrWithoutMarkAndRegedit4AreRead) {
  const std::string body = "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Zelqa]\n\"N\"=dword:00000007\n";
  for (const std::string& bytes :
       {"Windows Registry Editor Version 5.00\n" + body,
        "\xEF\xBB\xBFWindows Registry Editor Version 5.00\r\n" + body, "REGEDIT4\n\n" + body}) {
    Load(bytes);
    HKEY key = Open(u"SOFTWARE\\Zelqa");
    EXPECT_EQ(QueryDword(key, u"N"), 7u);
    RegCloseKey(key);
  }
  // REGEDIT4 carries expandable strings as narrow bytes; they are widened on the way in.
  Load("REGEDIT4\n[HKEY_LOCAL_MACHINE\\S]\n\"E\"=hex(2):25,41,25,00\n");
  HKEY key = Open(u"S");
  char16_t wide[8] = {};
  DWORD size = sizeof wide;
  EXPECT_EQ(ERROR_SUCCESS,
            static_cast<DWORD>(RegQueryValueExW(key, u"E", nullptr, nullptr,
                                                reinterpret_cast<LPBYTE>(wide), &size)));
  EXPECT_EQ(std::u16string(wide), u"%A%");
  RegCloseKey(key);
}

TEST_F(RegistryTest, MalformedLinesAreSkippedAndReported) {
  Load(AsRegeditFile(R"(Windows Registry Editor Version 5.00
"Orphan"=dword:00000001
[HKEY_LOCAL_MACHINE\SOFTWARE\Zelqa]
"BadDword"=dword:xyz
"LongDword"=dword:123456789
"Open"="no closing quote
"ShortQword"=hex(b):01,02,03,04
"OddHex"=hex:0,1
"NoEquals" dword:00000001
garbage here
"Good"=dword:00000002
[HKEY_NOWHERE\Thing]
"Lost"=dword:00000003
[HKEY_LOCAL_MACHINE\Broken
"AlsoLost"=dword:00000004
)"));
  const auto diagnostics = platform::RegistryDiagnostics();
  EXPECT_EQ(diagnostics.size(), 10u);  // all but the values under skipped keys
  EXPECT_THAT(diagnostics, testing::Contains(HasSubstr("line 4: malformed dword")));
  HKEY key = Open(u"SOFTWARE\\Zelqa");
  EXPECT_EQ(QueryDword(key, u"Good"), 2u);
  for (const char16_t* lost :
       {u"BadDword", u"LongDword", u"Open", u"ShortQword", u"OddHex", u"AlsoLost", u"Orphan"}) {
    EXPECT_EQ(ERROR_FILE_NOT_FOUND,
              static_cast<DWORD>(RegQueryValueExW(key, lost, nullptr, nullptr, nullptr, nullptr)))
        << platform::Utf16ToUtf8(lost);
  }
  RegCloseKey(key);
}

TEST_F(RegistryTest, FilesThatAreNotRegistriesGiveAnEmptyOne) {
  Load("just some text\n[HKEY_LOCAL_MACHINE\\SOFTWARE]\n");
  EXPECT_THAT(platform::RegistryDiagnostics(), testing::ElementsAre(HasSubstr("not a registry")));
  HKEY key = nullptr;
  EXPECT_EQ(ERROR_FILE_NOT_FOUND,
            static_cast<DWORD>(RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"SOFTWARE", 0, KEY_READ, &key)));
  platform::ReloadRegistryForTesting("/nonexistent/registry.reg");  // missing: empty and silent
  EXPECT_THAT(platform::RegistryDiagnostics(), testing::IsEmpty());
  platform::ReloadRegistryForTesting("/tmp");  // a directory cannot be read as a file
  EXPECT_THAT(platform::RegistryDiagnostics(),
              testing::ElementsAre(HasSubstr("cannot be read: not a regular file")));
}

TEST_F(RegistryTest, OpenKeysKeepTheirContentsAcrossAReload) {
  Load(AsRegeditFile(
      "Windows Registry Editor Version 5.00\n[HKEY_LOCAL_MACHINE\\A]\n\"V\"=dword:1\n"));
  HKEY before = Open(u"A");
  Load(AsRegeditFile(
      "Windows Registry Editor Version 5.00\n[HKEY_LOCAL_MACHINE\\A]\n\"V\"=dword:2\n"));
  HKEY after = Open(u"A");
  EXPECT_EQ(QueryDword(before, u"V"), 1u);
  EXPECT_EQ(QueryDword(after, u"V"), 2u);
  HKEY child = nullptr;  // a subkey opened from an old handle comes from the old contents too
  EXPECT_EQ(ERROR_SUCCESS, static_cast<DWORD>(RegOpenKeyExW(before, u"", 0, KEY_READ, &child)));
  EXPECT_EQ(QueryDword(child, u"V"), 1u);
  for (HKEY k : {before, after, child}) RegCloseKey(k);
}

TEST_F(RegistryTest, ReadersRaceReloadsSafely) {
  TempFile one("REGEDIT4\n[HKEY_LOCAL_MACHINE\\K]\n\"V\"=dword:1\n");
  TempFile two("REGEDIT4\n[HKEY_LOCAL_MACHINE\\K]\n\"V\"=dword:2\n");
  platform::ReloadRegistryForTesting(one.path());
  std::atomic<bool> stop{false};
  std::atomic<int> bad{0};
  std::vector<std::thread> readers;
  for (int i = 0; i < 2; ++i) {
    readers.emplace_back([&] {
      while (!stop) {
        HKEY key = nullptr;
        if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"K", 0, KEY_READ, &key) != 0) {
          ++bad;
          continue;
        }
        DWORD value = 0, size = sizeof value;
        if (RegQueryValueExW(key, u"V", nullptr, nullptr, reinterpret_cast<LPBYTE>(&value),
                             &size) != 0 ||
            (value != 1 && value != 2)) {
          ++bad;
        }
        RegCloseKey(key);
      }
    });
  }
  for (int i = 0; i < 200; ++i) platform::ReloadRegistryForTesting(i % 2 ? one.path() : two.path());
  stop = true;
  for (auto& t : readers) t.join();
  EXPECT_EQ(bad, 0);
}

}  // namespace
