// The device namespace, as a full path shows it: "\\.\" and "\??\" lead to
// devices alone; "\\?\" leads to one unless a drive ("\\?\C:\") or a share
// ("\\?\UNC\") follows; and a reserved name (CON, NUL, COM1...) in the last
// component names a device in any folder.
#include "runtime/file/FilePath.h"

#include <windows.h>

#include <algorithm>
#include <array>
#include <cwctype>
#include <string_view>

namespace {

bool StartsWithNoCase(std::wstring_view text, std::wstring_view prefix) {
  return text.size() >= prefix.size() &&
         std::equal(prefix.begin(), prefix.end(), text.begin(),
                    [](wchar_t a, wchar_t b) { return std::towupper(a) == std::towupper(b); });
}

bool IsDriveRooted(std::wstring_view path) {
  return path.size() >= 3 && std::iswalpha(path[0]) && path[1] == L':' && path[2] == L'\\';
}

bool InDeviceNamespace(std::wstring_view full) {
  if (StartsWithNoCase(full, L"\\\\.\\") || StartsWithNoCase(full, L"\\??\\")) return true;
  if (!StartsWithNoCase(full, L"\\\\?\\")) return false;
  std::wstring_view rest = full.substr(4);
  return !IsDriveRooted(rest) && !StartsWithNoCase(rest, L"UNC\\");
}

// CON, PRN, AUX, NUL, COM0-9, LPT0-9 (with the superscript digits the
// platform takes as well), CONIN$ and CONOUT$, whatever follows a dot or a
// colon and however many spaces end the name.
bool IsReservedName(std::wstring_view name) {
  name = name.substr(0, name.find_first_of(L".:"));
  while (!name.empty() && name.back() == L' ') name.remove_suffix(1);
  for (std::wstring_view reserved : {L"CON", L"PRN", L"AUX", L"NUL", L"CONIN$", L"CONOUT$"})
    if (name.size() == reserved.size() && StartsWithNoCase(name, reserved)) return true;
  if (name.size() != 4 || !(StartsWithNoCase(name, L"COM") || StartsWithNoCase(name, L"LPT"))) return false;
  return std::iswdigit(name[3]) || std::wstring_view(L"\u00B9\u00B2\u00B3").find(name[3]) != std::wstring_view::npos;
}

std::wstring_view LastComponent(std::wstring_view full) {
  std::size_t slash = full.find_last_of(L"\\/");
  return slash == std::wstring_view::npos ? full : full.substr(slash + 1);
}

std::wstring FullPathOf(const wchar_t* path) {
  DWORD needed = GetFullPathNameW(path, 0, nullptr, nullptr);
  if (needed == 0) return {};
  std::wstring full(needed, L'\0');
  DWORD written = GetFullPathNameW(path, needed, full.data(), nullptr);
  if (written == 0 || written >= needed) return {};
  full.resize(written);
  return full;
}

// A plain full path of MAX_PATH characters or more opens only in its long
// form; a path already in that form stays as it is.
std::wstring LongFormOf(const std::wstring& full) {
  if (full.size() < MAX_PATH || StartsWithNoCase(full, L"\\\\?\\")) return full;
  if (IsDriveRooted(full)) return L"\\\\?\\" + full;
  if (StartsWithNoCase(full, L"\\\\")) return L"\\\\?\\UNC\\" + full.substr(2);
  return full;
}

}  // namespace

std::wstring FileOpenPath(const wchar_t* path) {
  if (!path || !*path) return {};
  std::wstring full = FullPathOf(path);
  if (full.empty() || InDeviceNamespace(full) || IsReservedName(LastComponent(full))) return {};
  return full.size() < MAX_PATH ? std::wstring(path) : LongFormOf(full);
}
