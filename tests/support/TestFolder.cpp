#include "tests/support/TestFolder.h"

#include "runtime/base/UniqueHandle.h"

#include <windows.h>

#include <filesystem>

TestFolder::TestFolder(const std::wstring& name) {
  wchar_t temp[MAX_PATH];
  GetTempPathW(MAX_PATH, temp);
  path_ = std::wstring(temp) + L"fwu-" + name + L"-" + std::to_wstring(GetCurrentProcessId());
  CreateDirectoryW(path_.c_str(), nullptr);
}

TestFolder::~TestFolder() {
  std::error_code error;
  std::filesystem::remove_all(path_, error);
}

std::wstring TestFolder::Write(const std::wstring& name, const std::string& bytes) const {
  std::wstring file = path_ + L"\\" + name;
  UniqueFileHandle handle(CreateFileW(file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
  DWORD written = 0;
  WriteFile(handle.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
  return file;
}
