#include "tests/support/Process.h"
#include "tests/support/Wait.h"

#include <gtest/gtest.h>

#include <chrono>
#include <regex>
#include <string>

namespace {

using namespace std::chrono_literals;

struct Search {
  DWORD process;
  HWND found;
};

BOOL CALLBACK MatchUpdaterWindow(HWND window, LPARAM parameter) {
  auto* search = reinterpret_cast<Search*>(parameter);
  DWORD process = 0;
  GetWindowThreadProcessId(window, &process);
  wchar_t title[64] = {};
  GetWindowTextW(window, title, 64);
  if (process != search->process || std::wstring_view(title) != L"Update firmware 1.0") return TRUE;
  search->found = window;
  return FALSE;
}

HWND UpdaterWindowOf(const ChildProcess& updater) {
  Search search{updater.Id(), nullptr};
  EnumWindows(MatchUpdaterWindow, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

class RunningUpdater : public testing::Test {
 protected:
  void SetUp() override {
    updater_ = ChildProcess::Start(WindowsPathOf(FWU_UPDATER_EXE), {});
    ASSERT_TRUE(updater_);
    // Shown once the window is made; the event loop runs from then on.
    ASSERT_TRUE(WaitUntil([&] {
      window_ = UpdaterWindowOf(updater_);
      return window_ && IsWindowVisible(window_);
    }));
  }
  void TearDown() override { updater_.Terminate(); }

  ChildProcess updater_;
  HWND window_ = nullptr;
};

TEST_F(RunningUpdater, ACloseRequestEndsTheProgramWithExitCodeZero) {
  ASSERT_TRUE(PostMessageW(window_, WM_CLOSE, 0, 0));
  ASSERT_TRUE(updater_.WaitExit(20s));
  EXPECT_EQ(updater_.ExitCode(), 0u);
}

// The manifest the built .exe carries, read from its resources.
std::string EmbeddedManifest() {
  UniqueModule exe(LoadLibraryExW(WindowsPathOf(FWU_UPDATER_EXE).c_str(), nullptr,
                                  LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE));
  if (!exe) return {};
  HRSRC resource = FindResourceW(exe.get(), MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(24));  // RT_MANIFEST
  HGLOBAL loaded = resource ? LoadResource(exe.get(), resource) : nullptr;
  if (!loaded) return {};
  return std::string(static_cast<const char*>(LockResource(loaded)), SizeofResource(exe.get(), resource));
}

bool HasSetting(const std::string& manifest, const std::string& element, const std::string& value) {
  return std::regex_search(manifest, std::regex("<" + element + "[^>]*>\\s*" + value + "\\s*</" + element + ">"));
}

// Every size in the window is fixed in pixels, so Windows must do the scaling:
// not DPI-aware, with GDI scaling for sharp text. A dpiAwareness element would
// override dpiAware on newer systems.
TEST(Manifest, TheExeLetsWindowsScaleItsWindowWithSharpText) {
  std::string manifest = EmbeddedManifest();
  ASSERT_FALSE(manifest.empty()) << "the .exe carries a manifest";
  EXPECT_TRUE(HasSetting(manifest, "dpiAware", "false")) << manifest;
  EXPECT_TRUE(HasSetting(manifest, "gdiScaling", "true")) << manifest;
  EXPECT_EQ(manifest.find("dpiAwareness"), std::string::npos) << manifest;
  EXPECT_NE(manifest.find("Microsoft.Windows.Common-Controls"), std::string::npos) << "themed controls kept";
}

}  // namespace
