// The open-file dialog and the texts it is seeded with.
#include "Dialog.h"

#include "runtime/base/Heap.h"
#include "runtime/base/NoMemory.h"

#include <commdlg.h>

#include <algorithm>
#include <optional>
#include <string_view>

namespace {

// The seed name is held to the platform's plain path length; the buffer the
// dialog fills takes the longest path the platform allows, terminator
// included, so a chosen path is never too long for it.
constexpr DWORD kPathChars = 260;
constexpr DWORD kChosenPathChars = 32768;
constexpr DWORD kDialogFlags = OFN_EXPLORER | OFN_PATHMUSTEXIST | OFN_NOCHANGEDIR | OFN_HIDEREADONLY;

bool IsForbiddenInName(wchar_t c) {
  return c < 0x20 || std::wstring_view(L"\"*/:<>?\\|").find(c) != std::wstring_view::npos;
}

}  // namespace

std::wstring BuildFilterText(const wchar_t* filterPattern) {
  std::wstring text(filterPattern ? filterPattern : L"");
  std::replace(text.begin(), text.end(), L'|', L'\0');
  text.append(3, L'\0');
  return text;
}

bool IsValidFileName(const std::wstring& name) {
  return !name.empty() && std::none_of(name.begin(), name.end(), IsForbiddenInName);
}

DefaultFileParts SplitDefaultFile(const wchar_t* defaultFile) {
  std::wstring text(defaultFile ? defaultFile : L"");
  DefaultFileParts parts;
  std::size_t cut = text.rfind(L'\\');
  if (cut != std::wstring::npos && cut > 0) {
    parts.folder = text.substr(0, cut);
    parts.name = text.substr(cut + 1);
  } else {
    parts.name = text;
  }
  if (parts.name.size() > kPathChars - 1) parts.name.resize(kPathChars - 1);
  if (!IsValidFileName(parts.name)) parts.name.clear();
  return parts;
}

namespace {

std::optional<std::wstring> ShowDialog(const wchar_t* title, const wchar_t* defaultFile,
                                       const wchar_t* filterPattern, std::int64_t patternPosition) {
  HeapBlock pathBlock = HeapBlockAllocate(kChosenPathChars * sizeof(wchar_t), true);
  if (!pathBlock) return std::nullopt;
  auto* path = reinterpret_cast<wchar_t*>(pathBlock.get());
  std::wstring filter = BuildFilterText(filterPattern);

  std::optional<DefaultFileParts> seed;
  if (defaultFile) {
    seed = SplitDefaultFile(defaultFile);
    std::copy(seed->name.begin(), seed->name.end(), path);
  }

  OPENFILENAMEW dialog{};
  dialog.lStructSize = OPENFILENAME_SIZE_VERSION_400W;
  dialog.hwndOwner = DialogOwner();
  dialog.lpstrFilter = filter.c_str();
  dialog.nFilterIndex = static_cast<DWORD>(patternPosition + 1);
  dialog.lpstrFile = path;
  dialog.nMaxFile = kChosenPathChars;
  dialog.lpstrInitialDir = seed ? seed->folder.c_str() : nullptr;
  dialog.lpstrTitle = title;
  dialog.Flags = kDialogFlags;

  DialogBracketBegin();
  BOOL chosen = GetOpenFileNameW(&dialog);
  DialogBracketEnd();
  if (chosen) {
    // The platform may leave the buffer unterminated when it does not fit.
    path[kChosenPathChars - 1] = L'\0';
    return std::wstring(path);
  }
  // A cancel leaves no error behind; anything else is a failed dialog.
  if (CommDlgExtendedError() != 0) return std::nullopt;
  return std::wstring();
}

}  // namespace

std::optional<std::wstring> OpenFileDialogChoose(const wchar_t* title, const wchar_t* defaultFile,
                                                 const wchar_t* filterPattern, std::int64_t patternPosition) {
  return OrOnNoMemory(std::optional<std::wstring>(),
                      [&] { return ShowDialog(title, defaultFile, filterPattern, patternPosition); });
}

std::wstring OpenFileDialogShow(const wchar_t* title, const wchar_t* defaultFile, const wchar_t* filterPattern,
                                std::int64_t patternPosition) {
  return OpenFileDialogChoose(title, defaultFile, filterPattern, patternPosition).value_or(std::wstring());
}
