#include "cli/InputFile.h"

#include "cli/windows/SystemMessage.h"
#include "cli/windows/Wide.h"
#include "runtime/base/UniqueHandle.h"

#include <windows.h>

namespace fwu::cli {
namespace {

std::uint64_t Joined(DWORD high, DWORD low) { return (std::uint64_t{high} << 32) | low; }

class HandleFile : public InputFile {
 public:
  explicit HandleFile(UniqueFileHandle file) : file_(std::move(file)) {}

  std::optional<FileFacts> Facts(std::string& error) override {
    BY_HANDLE_FILE_INFORMATION info{};
    if (!GetFileInformationByHandle(file_.get(), &info)) {
      error = SystemMessage(GetLastError());
      return std::nullopt;
    }
    FileFacts facts;
    if (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) facts.kind = FileFacts::Kind::kFolder;
    else if (GetFileType(file_.get()) == FILE_TYPE_DISK) facts.kind = FileFacts::Kind::kRegular;
    facts.size = Joined(info.nFileSizeHigh, info.nFileSizeLow);
    facts.changed = Joined(info.ftLastWriteTime.dwHighDateTime, info.ftLastWriteTime.dwLowDateTime);
    facts.volume = info.dwVolumeSerialNumber;
    facts.number = Joined(info.nFileIndexHigh, info.nFileIndexLow);
    return facts;
  }

  std::int64_t Read(std::span<std::uint8_t> into, std::string& error) override {
    DWORD count = 0;
    if (!ReadFile(file_.get(), into.data(), static_cast<DWORD>(into.size()), &count, nullptr)) {
      error = SystemMessage(GetLastError());
      return -1;
    }
    return count;
  }

 private:
  UniqueFileHandle file_;
};

}  // namespace

InputFileOpening OpenInputFile(const std::string& utf8Path) {
  // Others may go on reading, writing or renaming it: a change shows in its
  // facts. A folder opens only with backup semantics.
  UniqueFileHandle file(CreateFileW(Widened(utf8Path).c_str(), GENERIC_READ,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                    FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  if (!file) {
    DWORD error = GetLastError();
    return {nullptr, error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND, SystemMessage(error)};
  }
  return {std::make_unique<HandleFile>(std::move(file)), false, {}};
}

}  // namespace fwu::cli
