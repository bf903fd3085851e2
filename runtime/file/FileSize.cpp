// The size of a file by its path, found by a directory search so that the file
// itself is never opened.
#include "File.h"

#include "runtime/base/NoMemory.h"
#include "runtime/base/UniqueHandle.h"

#include <windows.h>

#include <string>

namespace {

constexpr std::int64_t kNotFound = -1;
constexpr std::int64_t kDirectory = -2;

bool IsSeparator(wchar_t c) { return c == L'\\' || c == L'/'; }

// Trailing separators go, but never the first character, so "\" stays.
void TrimTrailingSeparators(std::wstring& path) {
  while (path.size() > 1 && IsSeparator(path.back())) path.pop_back();
}

// "C:" once trailing separators are gone: the root of a drive.
bool IsDriveRoot(const std::wstring& path) { return path.size() == 2 && path[1] == L':'; }

std::int64_t DriveRootSize(const std::wstring& drive) {
  UINT type = GetDriveTypeW((drive + L'\\').c_str());
  return type == DRIVE_UNKNOWN || type == DRIVE_NO_ROOT_DIR ? kNotFound : kDirectory;
}

// Share roots ("\\server\share"), device paths and ".." forms that a search
// does not find but that may still name a folder.
bool HasDoubledPrefix(const std::wstring& path) {
  return path.size() >= 2 && (path[0] == L'\\' || path[0] == L'/' || path[0] == L'.') && path[1] == path[0];
}

std::int64_t SizeByAttributes(const std::wstring& path) {
  DWORD attributes = GetFileAttributesW(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES)
    return GetDriveTypeW(path.c_str()) > DRIVE_NO_ROOT_DIR ? kDirectory : kNotFound;
  return attributes & FILE_ATTRIBUTE_DIRECTORY ? kDirectory : kNotFound;
}

std::int64_t SizeOf(const wchar_t* path) {
  if (!path || !*path) return kNotFound;
  // The whole path is examined: cutting a long one short could name another
  // file and report that file's size.
  std::wstring copy(path);
  TrimTrailingSeparators(copy);
  if (IsDriveRoot(copy)) return DriveRootSize(copy);

  WIN32_FIND_DATAW found{};
  UniqueFindHandle search(FindFirstFileW(copy.c_str(), &found));
  if (search) {
    if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) return kDirectory;
    return (static_cast<std::int64_t>(found.nFileSizeHigh) << 32) | found.nFileSizeLow;
  }
  return HasDoubledPrefix(copy) ? SizeByAttributes(copy) : kNotFound;
}

}  // namespace

std::int64_t FileSize(const wchar_t* path) {
  return OrOnNoMemory(kNotFound, [path] { return SizeOf(path); });
}
