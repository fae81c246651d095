// Message texts in the wording of English (1033) Windows.
//
// The system table is data: system_texts.inc, every Win32 error code and HRESULT of the
// Windows SDK's winerror.h with its text, made by make_system_texts.py beside it (which says
// how). The wininet module's table below covers 12001-12033, 12036-12038, 12044, 12045, 12110,
// 12111, 12150, 12152, 12157 and 12175.
#include "platform/system_text_table.h"

#include <algorithm>
#include <iterator>
#include <string_view>

namespace platform {
namespace {

// The system texts are ASCII, kept narrow to halve their size; they are widened when found.
struct SystemEntry {
  DWORD code;
  const char* text;
};

struct Entry {
  DWORD code;
  const char16_t* text;
};

// Sorted by code: looked up by binary search.
constexpr SystemEntry kSystem[] = {
#include "platform/system_texts.inc"
};

constexpr Entry kWininet[] = {
    {12001, u"No more Internet handles can be allocated"},
    {12002, u"The operation timed out"},
    {12003, u"The server returned extended information"},
    {12004, u"An internal error occurred in the Microsoft Internet extensions"},
    {12005, u"The URL is invalid"},
    {12006, u"The URL does not use a recognized protocol"},
    {12007, u"The server name or address could not be resolved"},
    {12008, u"A protocol with the required capabilities was not found"},
    {12009, u"The option is invalid"},
    {12010, u"The length is incorrect for the option type"},
    {12011, u"The option value cannot be set"},
    {12012, u"Microsoft Internet Extension support has been shut down"},
    {12013, u"The user name was not allowed"},
    {12014, u"The password was not allowed"},
    {12015, u"The login request was denied"},
    {12016, u"The requested operation is invalid"},
    {12017, u"The operation has been canceled"},
    {12018, u"The supplied handle is the wrong type for the requested operation"},
    {12019, u"The handle is in the wrong state for the requested operation"},
    {12020, u"The request cannot be made on a Proxy session"},
    {12021, u"The registry value could not be found"},
    {12022, u"The registry parameter is incorrect"},
    {12023, u"Direct Internet access is not available"},
    {12024, u"No context value was supplied"},
    {12025,
     u"Asynchronous notification cannot be performed because a callback function has not "
     u"been provided"},
    {12026, u"The request could not be completed because the operation is still pending"},
    {12027, u"The format of the request is invalid"},
    {12028, u"The requested item could not be found"},
    {12029, u"A connection with the server could not be established"},
    {12030, u"The connection with the server was terminated abnormally"},
    {12031, u"The connection with the server was reset"},
    {12032, u"The action must be retried"},
    {12033, u"The proxy request is invalid"},
    {12036, u"The request failed because the handle already exists"},
    {12037, u"The date in the certificate is invalid or has expired"},
    {12038, u"The host name in the certificate is invalid or does not match"},
    {12044, u"A certificate is required to complete client authentication"},
    {12045, u"The certificate authority is invalid or incorrect"},
    {12110,
     u"The requested operation cannot be made on the FTP session handle because an "
     u"operation is already in progress"},
    {12111, u"The FTP operation was not completed because the session was aborted"},
    {12150, u"The requested header was not found"},
    {12152, u"The server returned an invalid or unrecognized response"},
    {12157, u"An error occurred in the secure channel support"},
    {12175, u"A security error occurred"},
};

template <class E, size_t N>
constexpr bool Sorted(const E (&table)[N]) {
  return std::is_sorted(std::begin(table), std::end(table),
                        [](const E& a, const E& b) { return a.code < b.code; });
}
static_assert(Sorted(kSystem), "kSystem must be sorted by code");
static_assert(Sorted(kWininet), "kWininet must be sorted");

template <class E, size_t N>
const E* Find(const E (&table)[N], DWORD code) {
  const E* it = std::lower_bound(std::begin(table), std::end(table), code,
                                 [](const E& e, DWORD c) { return e.code < c; });
  return it != std::end(table) && it->code == code ? it : nullptr;
}

}  // namespace

std::optional<std::u16string> FindSystemText(DWORD code) {
  const SystemEntry* entry = Find(kSystem, code);
  // HRESULT_FROM_WIN32: failure bit, facility 7, the Win32 code in the low word.
  if (entry == nullptr && (code & 0xFFFF0000u) == 0x80070000u) {
    entry = Find(kSystem, code & 0xFFFFu);
  }
  if (entry == nullptr) return std::nullopt;
  const std::string_view text(entry->text);
  return std::u16string(text.begin(), text.end());
}

const char16_t* FindWininetText(DWORD code) {
  const Entry* entry = Find(kWininet, code);
  return entry != nullptr ? entry->text : nullptr;
}

}  // namespace platform
