#include "tests/support/UpdaterDriver.h"

#include "tests/support/Wait.h"

#include <commctrl.h>

using namespace std::chrono_literals;

namespace {

constexpr wchar_t kUpdaterTitle[] = L"Update firmware 1.0";
constexpr wchar_t kFileDialogTitle[] = L"Please choose file to load";

DWORD ProcessOf(HWND window) {
  DWORD process = 0;
  GetWindowThreadProcessId(window, &process);
  return process;
}

std::vector<HWND> TopLevelWindows() {
  std::vector<HWND> windows;
  EnumWindows(
      [](HWND window, LPARAM list) {
        reinterpret_cast<std::vector<HWND>*>(list)->push_back(window);
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&windows));
  return windows;
}

HWND FindUpdaterWindow(DWORD process) {
  for (HWND window : TopLevelWindows())
    if (ProcessOf(window) == process && WindowTextOf(window) == kUpdaterTitle) return window;
  return nullptr;
}

DialogSeen Describe(HWND dialog) {
  DialogSeen seen{dialog, WindowTextOf(dialog), {}};
  for (HWND child : ChildrenOf(dialog)) {
    if (ClassNameOf(child) != L"Static") continue;
    std::wstring text = WindowTextOf(child);
    if (!text.empty()) seen.text = text;
  }
  return seen;
}

bool PressDialogButton(HWND dialog, int id) {
  HWND button = GetDlgItem(dialog, id);
  if (!button) return false;
  PostMessageW(button, BM_CLICK, 0, 0);
  return WaitUntil([&] { return !IsWindow(dialog) || !IsWindowVisible(dialog); }, 10s);
}

}  // namespace

std::wstring WindowTextOf(HWND window) {
  wchar_t text[512] = {};
  SendMessageTimeoutW(window, WM_GETTEXT, 512, reinterpret_cast<LPARAM>(text), SMTO_ABORTIFHUNG, 5000,
                      nullptr);
  return text;
}

std::vector<HWND> ChildrenOf(HWND parent) {
  std::vector<HWND> children;
  for (HWND child = GetWindow(parent, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT))
    children.push_back(child);
  return children;
}

std::wstring ClassNameOf(HWND window) {
  wchar_t name[128] = {};
  GetClassNameW(window, name, 128);
  return name;
}

UpdaterDriver::UpdaterDriver(const std::wstring& directory) {
  process_ = ChildProcess::Start(WindowsPathOf(FWU_UPDATER_EXE), {}, directory.c_str());
  if (!process_) {
    failure_ = "updater process: CreateProcessW failed, error " + std::to_string(GetLastError());
    return;
  }
  HWND window = nullptr;
  WaitUntil([&] { return (window = FindUpdaterWindow(process_.Id())) != nullptr; }, 30s);
  if (!window) {
    DWORD code = process_.ExitCode();
    failure_ = "updater window: none within 30 s; the process " +
               (code == STILL_ACTIVE ? std::string("still runs") : "ended with " + std::to_string(code));
    return;
  }
  // The port probe runs before the event loop: once the program waits for
  // input, the list is complete.
  if (DWORD idle = WaitForInputIdle(process_.Handle(), 30000); idle != 0) {
    failure_ = "updater input idle: WaitForInputIdle gave " + std::to_string(idle) + ", error " +
               std::to_string(GetLastError());
    return;
  }
  std::vector<HWND> children = ChildrenOf(window);
  auto byClass = [&](const wchar_t* name, std::size_t nth) -> HWND {
    for (HWND child : children)
      if (_wcsicmp(ClassNameOf(child).c_str(), name) == 0 && nth-- == 0) return child;
    return nullptr;
  };
  banner_ = byClass(L"Static", 0);
  portList_ = byClass(L"ComboBox", 0);
  pathField_ = byClass(L"Edit", 0);
  openButton_ = byClass(L"Button", 0);
  progressBar_ = byClass(PROGRESS_CLASSW, 0);
  updateButton_ = byClass(L"Button", 1);
  window_ = window;
}

UpdaterDriver::~UpdaterDriver() {
  if (process_ && !process_.WaitExit(0ms)) {
    for (HWND dialog : DialogsOfProcess()) PostMessageW(dialog, WM_CLOSE, 0, 0);
    if (!Close(10s)) process_.Terminate();
  }
}

std::vector<std::wstring> UpdaterDriver::PortItems() const {
  std::vector<std::wstring> items;
  auto count = SendMessageW(portList_, CB_GETCOUNT, 0, 0);
  for (LRESULT i = 0; i < count; ++i) {
    wchar_t text[256] = {};
    SendMessageW(portList_, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(text));
    items.push_back(text);
  }
  return items;
}

bool UpdaterDriver::SelectPort(const std::wstring& name) {
  auto index = SendMessageW(portList_, CB_FINDSTRINGEXACT, static_cast<WPARAM>(-1),
                            reinterpret_cast<LPARAM>(name.c_str()));
  if (index == CB_ERR) return false;
  SendMessageW(portList_, CB_SETCURSEL, index, 0);
  auto id = GetWindowLongPtrW(portList_, GWLP_ID);
  SendMessageW(window_, WM_COMMAND, MAKEWPARAM(id & 0xFFFF, CBN_SELCHANGE), reinterpret_cast<LPARAM>(portList_));
  return true;
}

std::wstring UpdaterDriver::PathText() const { return WindowTextOf(pathField_); }

void UpdaterDriver::SetPath(const std::wstring& text) {
  SendMessageW(pathField_, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
}

int UpdaterDriver::Progress() const {
  // The program moves the bar through a widened range (position + 1, then
  // the position itself); a reading taken in between is retried.
  for (int attempt = 0; attempt < 1000; ++attempt) {
    auto high = SendMessageW(progressBar_, PBM_GETRANGE, FALSE, 0);
    auto position = SendMessageW(progressBar_, PBM_GETPOS, 0, 0);
    if (high == 100 && SendMessageW(progressBar_, PBM_GETRANGE, FALSE, 0) == 100) return static_cast<int>(position);
  }
  return -1;
}

bool UpdaterDriver::InputControlsEnabled() const {
  return IsWindowEnabled(portList_) && IsWindowEnabled(pathField_) && IsWindowEnabled(openButton_) &&
         IsWindowEnabled(updateButton_);
}

bool UpdaterDriver::InputControlsDisabled() const {
  return !IsWindowEnabled(portList_) && !IsWindowEnabled(pathField_) && !IsWindowEnabled(openButton_) &&
         !IsWindowEnabled(updateButton_);
}

namespace {

// What a press of the button tells its window.
void Press(HWND window, HWND button) {
  auto id = GetWindowLongPtrW(button, GWLP_ID);
  PostMessageW(window, WM_COMMAND, MAKEWPARAM(id & 0xFFFF, BN_CLICKED), reinterpret_cast<LPARAM>(button));
}

}  // namespace

void UpdaterDriver::PressUpdate() { Press(window_, updateButton_); }

void UpdaterDriver::PressOpen() { Press(window_, openButton_); }

std::vector<HWND> UpdaterDriver::DialogsOfProcess() const {
  std::vector<HWND> dialogs;
  for (HWND window : TopLevelWindows())
    if (ProcessOf(window) == process_.Id() && ClassNameOf(window) == L"#32770" && IsWindowVisible(window))
      dialogs.push_back(window);
  return dialogs;
}

std::optional<DialogSeen> UpdaterDriver::MessageBoxNow() const {
  // A box counts once it shows its title and its text.
  for (HWND dialog : DialogsOfProcess()) {
    DialogSeen seen = Describe(dialog);
    if (seen.title != kFileDialogTitle && !seen.title.empty() && !seen.text.empty()) return seen;
  }
  return std::nullopt;
}

std::optional<DialogSeen> UpdaterDriver::WaitMessageBox(std::chrono::milliseconds timeout) {
  std::optional<DialogSeen> box;
  WaitUntil([&] { return (box = MessageBoxNow()).has_value(); }, timeout);
  return box;
}

bool UpdaterDriver::Dismiss(const DialogSeen& box) { return PressDialogButton(box.window, IDOK); }

std::optional<DialogSeen> UpdaterDriver::WaitFileDialog(std::chrono::milliseconds timeout) {
  std::optional<DialogSeen> dialog;
  WaitUntil(
      [&] {
        for (HWND window : DialogsOfProcess())
          if (WindowTextOf(window) == kFileDialogTitle) dialog = Describe(window);
        return dialog.has_value();
      },
      timeout);
  return dialog;
}

bool UpdaterDriver::ChooseInFileDialog(const DialogSeen& dialog, const std::wstring& path) {
  // The file name box is a ComboBoxEx; the text goes into its edit control.
  auto name = reinterpret_cast<HWND>(SendDlgItemMessageW(dialog.window, 0x47C, CBEM_GETEDITCONTROL, 0, 0));
  if (!name) return false;
  SendMessageW(name, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(path.c_str()));
  return PressDialogButton(dialog.window, IDOK);
}

bool UpdaterDriver::CancelFileDialog(const DialogSeen& dialog) { return PressDialogButton(dialog.window, IDCANCEL); }

UpdaterDriver::Closing UpdaterDriver::CloseWatchingForBoxes(std::chrono::milliseconds timeout) {
  Closing closing;
  if (window_) PostMessageW(window_, WM_CLOSE, 0, 0);
  closing.ended = WaitUntil(
      [&] {
        if (MessageBoxNow()) closing.boxShown = true;
        return process_.WaitExit(0ms);
      },
      timeout);
  return closing;
}
