// Both .exe files carry the version resource that Explorer's Properties and
// installers read, with the project's version, read back through version.dll.
#include "tests/support/Process.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

namespace {

// The file's whole version resource, or empty.
std::vector<BYTE> VersionResource(const std::wstring& path) {
  DWORD size = GetFileVersionInfoSizeW(path.c_str(), nullptr);
  std::vector<BYTE> resource(size);
  if (size == 0 || !GetFileVersionInfoW(path.c_str(), 0, size, resource.data())) resource.clear();
  return resource;
}

// The resource's US English text named `name`, or empty.
std::wstring Text(std::vector<BYTE>& resource, const std::wstring& name) {
  void* value = nullptr;
  UINT length = 0;
  std::wstring key = L"\\StringFileInfo\\040904B0\\" + name;
  if (!VerQueryValueW(resource.data(), key.c_str(), &value, &length) || length == 0) return {};
  return static_cast<const wchar_t*>(value);
}

// The fixed file version as "major.minor.patch", or empty.
std::wstring FixedFileVersion(std::vector<BYTE>& resource) {
  void* value = nullptr;
  UINT length = 0;
  if (!VerQueryValueW(resource.data(), L"\\", &value, &length) || length < sizeof(VS_FIXEDFILEINFO)) return {};
  const auto* fixed = static_cast<const VS_FIXEDFILEINFO*>(value);
  return std::to_wstring(HIWORD(fixed->dwFileVersionMS)) + L"." + std::to_wstring(LOWORD(fixed->dwFileVersionMS)) +
         L"." + std::to_wstring(HIWORD(fixed->dwFileVersionLS));
}

TEST(VersionResource, BothProgramsTellTheProjectVersionAndTheProduct) {
  const std::string version = FWU_VERSION;
  const std::wstring expected(version.begin(), version.end());
  for (const char* exe : {FWU_UPDATER_EXE, FWU_FWUPLOAD_EXE}) {
    SCOPED_TRACE(exe);
    std::vector<BYTE> resource = VersionResource(WindowsPathOf(exe));
    ASSERT_FALSE(resource.empty()) << "no version resource";
    EXPECT_EQ(FixedFileVersion(resource), expected);
    EXPECT_EQ(Text(resource, L"FileVersion"), expected);
    EXPECT_EQ(Text(resource, L"ProductVersion"), expected);
    EXPECT_EQ(Text(resource, L"ProductName"), L"fwupdater");
    EXPECT_NE(Text(resource, L"FileDescription"), L"");
  }
}

}  // namespace
