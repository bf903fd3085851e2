// Where a station keeps its records by default: the user's local application
// data folder (%LOCALAPPDATA%, else the folder the system knows by that role).
#include "cli/Platform.h"
#include "cli/windows/Wide.h"

#include <windows.h>
#include <knownfolders.h>
#include <shlobj.h>

namespace fwu::cli {
namespace {

std::wstring EnvironmentValue(const wchar_t* name) {
  DWORD size = GetEnvironmentVariableW(name, nullptr, 0);
  if (size == 0) return {};
  std::wstring value(size, L'\0');
  DWORD length = GetEnvironmentVariableW(name, value.data(), size);
  value.resize(length < size ? length : 0);
  return value;
}

std::wstring KnownLocalAppData() {
  PWSTR path = nullptr;
  HRESULT result = SHGetKnownFolderPath(FOLDERID_LocalAppData, KF_FLAG_DONT_VERIFY, nullptr, &path);
  std::wstring folder = SUCCEEDED(result) ? path : L"";
  CoTaskMemFree(path);
  return folder;
}

}  // namespace

std::string DefaultRecordFile() {
  std::wstring folder = EnvironmentValue(L"LOCALAPPDATA");
  if (folder.empty()) folder = KnownLocalAppData();
  if (folder.empty()) return {};
  if (folder.back() != L'\\' && folder.back() != L'/') folder += L'\\';
  return Narrowed(folder + L"fwupload\\records.sqlite");
}

}  // namespace fwu::cli
