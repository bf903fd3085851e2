// The real updater's window as a user meets it: where each control sits, how
// Tab moves between them, and what the screen shows.
#include "tests/support/Process.h"
#include "tests/support/UpdaterDriver.h"
#include "tests/support/Wait.h"

#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

namespace {

constexpr wchar_t kTitle[] = L"Update firmware 1.0";

struct Placed {
  const wchar_t* className;
  const wchar_t* text;
  RECT rect;  // client coordinates of the updater window
};

// Where every control belongs, in the order of creation.
const Placed kLayout[] = {
    {L"Static", L"", {0, 0, 400, 60}},
    {L"ComboBox", L"", {10, 70, 80, 90}},
    {L"Edit", L"trx.fw", {90, 70, 290, 90}},
    {L"Button", L"Open", {300, 70, 390, 90}},
    {L"msctls_progress32", L"", {10, 110, 390, 140}},
    {L"Button", L"UPDATE!", {140, 160, 280, 190}},
};

RECT ClientRectIn(HWND parent, HWND child) {
  RECT r{};
  GetWindowRect(child, &r);
  MapWindowPoints(HWND_DESKTOP, parent, reinterpret_cast<POINT*>(&r), 2);
  return r;
}

void PressKey(WORD key, bool shift) {
  std::vector<INPUT> inputs;
  auto add = [&](WORD k, DWORD flags) {
    INPUT input{};
    input.type = INPUT_KEYBOARD;
    input.ki.wVk = k;
    input.ki.dwFlags = flags;
    inputs.push_back(input);
  };
  if (shift) add(VK_SHIFT, 0);
  add(key, 0);
  add(key, KEYEVENTF_KEYUP);
  if (shift) add(VK_SHIFT, KEYEVENTF_KEYUP);
  SendInput(static_cast<UINT>(inputs.size()), inputs.data(), sizeof(INPUT));
}

class WindowLayoutTest : public testing::Test {
 protected:
  static void SetUpTestSuite() {
    updater = new ChildProcess(ChildProcess::Start(WindowsPathOf(FWU_UPDATER_EXE), {}));
    ASSERT_TRUE(*updater);
    WaitUntil([] {
      HWND found = FindWindowW(nullptr, kTitle);
      DWORD process = 0;
      if (found) GetWindowThreadProcessId(found, &process);
      if (process != updater->Id() || !IsWindowVisible(found)) return false;
      window = found;
      // The banner and five controls exist, and the event loop is serving.
      return ChildrenOf(window).size() == std::size(kLayout) &&
             SendMessageTimeoutW(window, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 1000, nullptr);
    });
  }
  static void TearDownTestSuite() {
    if (window) PostMessageW(window, WM_CLOSE, 0, 0);
    if (!updater->WaitExit(std::chrono::seconds(10))) updater->Terminate();
    delete updater;
  }
  void SetUp() override { ASSERT_NE(window, nullptr) << "no updater window appeared"; }

  // The controls in creation order, which is the platform's child order.
  static std::vector<HWND> Controls() { return ChildrenOf(window); }

  static HWND Focus() {
    GUITHREADINFO info{};
    info.cbSize = sizeof info;
    GetGUIThreadInfo(GetWindowThreadProcessId(window, nullptr), &info);
    return info.hwndFocus;
  }

  // Presses Tab (Shift+Tab when backward) and waits for the focus to reach
  // `expected`; gives where it is.
  static HWND TabTo(HWND expected, bool backward = false) {
    HWND before = Focus();
    PressKey(VK_TAB, backward);
    WaitUntil([&] { return Focus() == expected; }, std::chrono::seconds(5));
    HWND now = Focus();
    EXPECT_NE(now, before);
    return now;
  }

  static inline ChildProcess* updater = nullptr;
  static inline HWND window = nullptr;
};

TEST_F(WindowLayoutTest, ClientAreaIsTheSizeAskedAndCentred) {
  RECT client{};
  GetClientRect(window, &client);
  EXPECT_EQ(client.right, 400);
  EXPECT_EQ(client.bottom, 200);
  RECT outer{};
  GetWindowRect(window, &outer);
  EXPECT_EQ(outer.left, (GetSystemMetrics(SM_CXSCREEN) - (outer.right - outer.left)) / 2);
  EXPECT_EQ(outer.top, (GetSystemMetrics(SM_CYSCREEN) - (outer.bottom - outer.top)) / 2);
}

TEST_F(WindowLayoutTest, EveryControlSitsWhereTheLayoutPutsIt) {
  std::vector<HWND> controls = Controls();
  ASSERT_EQ(controls.size(), std::size(kLayout));
  for (std::size_t i = 0; i < controls.size(); ++i) {
    const Placed& want = kLayout[i];
    SCOPED_TRACE(testing::Message() << "control " << i);
    EXPECT_EQ(_wcsicmp(ClassNameOf(controls[i]).c_str(), want.className), 0);
    EXPECT_EQ(WindowTextOf(controls[i]), want.text);
    RECT r = ClientRectIn(window, controls[i]);
    EXPECT_EQ(r.left, want.rect.left);
    EXPECT_EQ(r.top, want.rect.top);
    EXPECT_EQ(r.right, want.rect.right);
    EXPECT_EQ(r.bottom, want.rect.bottom);
    EXPECT_TRUE(IsWindowEnabled(controls[i]));
  }
  HWND bar = controls[4];
  EXPECT_EQ(SendMessageW(bar, PBM_GETRANGE, TRUE, 0), 0);
  EXPECT_EQ(SendMessageW(bar, PBM_GETRANGE, FALSE, 0), 100);
  EXPECT_EQ(SendMessageW(bar, PBM_GETPOS, 0, 0), 0);
  EXPECT_EQ(SendMessageW(controls[1], CB_GETCURSEL, 0, 0), CB_ERR);
}

TEST_F(WindowLayoutTest, TabStepsThroughTheInputControlsAndSkipsADisabledOne) {
  std::vector<HWND> c = Controls();
  ASSERT_EQ(c.size(), 6u);
  HWND list = c[1], field = c[2], open = c[3], update = c[5];
  ASSERT_EQ(GetForegroundWindow(), window);

  // With no control focused yet, Tab gives the port list the focus, then the
  // others in order; the banner and the bar never get it.
  if (Focus() != list) {
    ASSERT_EQ(TabTo(list), list);
  }
  EXPECT_EQ(TabTo(field), field);
  EXPECT_EQ(TabTo(open), open);
  EXPECT_EQ(TabTo(update), update);
  EXPECT_EQ(TabTo(list), list);

  EXPECT_EQ(TabTo(update, true), update);
  EXPECT_EQ(TabTo(open, true), open);
  EXPECT_EQ(TabTo(field, true), field);
  EXPECT_EQ(TabTo(list, true), list);

  EnableWindow(open, FALSE);
  EXPECT_EQ(TabTo(field), field);
  EXPECT_EQ(TabTo(update), update);
  EXPECT_EQ(TabTo(field, true), field);
  EnableWindow(open, TRUE);
}

// A Unix path as a Linux child's argument.
std::wstring Wide(std::string_view text) { return std::wstring(text.begin(), text.end()); }

// Reads the screen-check script's report: "banner <differing pixels>" and
// "strip <x>,<y> <colours...>" lines.
std::map<std::string, std::string> ReadReport(const std::string& path) {
  std::map<std::string, std::string> report;
  std::ifstream in(path);
  std::string line;
  while (std::getline(in, line)) {
    std::istringstream words(line);
    std::string kind, key;
    words >> kind;
    if (kind == "strip") words >> key;
    std::string rest;
    std::getline(words, rest);
    report[kind + (key.empty() ? "" : " " + key)] = rest.empty() ? rest : rest.substr(1);
  }
  return report;
}

TEST_F(WindowLayoutTest, ScreenShowsTheBannerOnTopAndDarkGreyAroundTheControls) {
  POINT origin{0, 0};
  ClientToScreen(window, &origin);
  const std::string artifacts = std::string(FWU_BUILD_DIR) + "/artifacts";
  CreateDirectoryW(WindowsPathOf(artifacts).c_str(), nullptr);
  const std::string shot = artifacts + "/window.png";
  int attempt = 0;

  // The window may still be painting: look again until the picture settles,
  // within a bound.
  std::map<std::string, std::string> report;
  WaitUntil(
      [&] {
        // Wine does not wait for a Linux child, so each attempt has its own
        // report, which the script writes last.
        const std::string result = artifacts + "/window-check-" + std::to_string(++attempt) + ".txt";
        // Wine's answer for starting a Linux program is not reliable either:
        // the report is what counts.
        ChildProcess check = ChildProcess::Start(WindowsPathOf("/bin/sh"),
                            {Wide(FWU_SOURCE_DIR "/tests/e2e/layout/screen-check.sh"),
                             Wide(FWU_BUILD_DIR "/bench/display"), Wide(shot),
                             Wide(FWU_SOURCE_DIR "/assets/banner.png"), std::to_wstring(origin.x),
                             std::to_wstring(origin.y), Wide(result)});
        WaitUntil([&] { return GetFileAttributesW(WindowsPathOf(result).c_str()) != INVALID_FILE_ATTRIBUTES; },
                  std::chrono::seconds(20));
        report = ReadReport(result);
        DeleteFileW(WindowsPathOf(result).c_str());
        if (report["banner"] != "0") return false;
        for (const auto& [key, colours] : report)
          if (key.starts_with("strip") && colours != "#2A2A2A") return false;
        return true;
      },
      std::chrono::seconds(30));

  EXPECT_EQ(report["banner"], "0") << "pixels of the top 60 rows that differ from the banner";
  int strips = 0;
  for (const auto& [key, colours] : report)
    if (key.starts_with("strip")) {
      ++strips;
      EXPECT_EQ(colours, "#2A2A2A") << key;
    }
  EXPECT_EQ(strips, 10);
}

}  // namespace
