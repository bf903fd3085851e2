// The dialog layer on real windows and real dialogs, each dialog driven from
// another thread as a user would.
#include "runtime/dialog/Dialog.h"
#include "runtime/base/UniqueHandle.h"
#include "tests/support/FailingAllocations.h"
#include "tests/support/Process.h"
#include "tests/support/TestThread.h"
#include "tests/support/Wait.h"

#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>

#include <atomic>
#include <functional>
#include <string>

namespace {

constexpr wchar_t kTitle[] = L"Please choose file to load";
constexpr wchar_t kFirmwareFilter[] = L"Firmware (*.fw)|*.fw;";
// Controls of the platform's open-file dialog.
constexpr int kFileNameBox = 0x47C;
constexpr int kFolderList = 0x471;
constexpr int kFilterList = 0x470;

// A plain top-level window of the calling thread, destroyed with the object.
class TestWindow {
 public:
  explicit TestWindow(DWORD exStyle = 0, bool visible = true, HWND owner = nullptr) {
    static const ATOM windowClass = [] {
      WNDCLASSW description{};
      description.lpfnWndProc = DefWindowProcW;
      description.lpszClassName = L"FwuDialogTestWindow";
      return RegisterClassW(&description);
    }();
    window_ = CreateWindowExW(exStyle, MAKEINTATOM(windowClass), L"test", WS_POPUP | WS_BORDER, 10, 10, 200, 100,
                              owner, nullptr, nullptr, nullptr);
    if (visible) ShowWindow(window_, SW_SHOWNOACTIVATE);
  }
  ~TestWindow() { DestroyWindow(window_); }
  TestWindow(const TestWindow&) = delete;
  TestWindow& operator=(const TestWindow&) = delete;
  HWND get() const { return window_; }

 private:
  HWND window_ = nullptr;
};

HWND FindTopWindow(const std::function<bool(HWND)>& wanted) {
  struct Search {
    const std::function<bool(HWND)>& wanted;
    HWND found;
  } search{wanted, nullptr};
  EnumWindows(
      [](HWND window, LPARAM context) -> BOOL {
        auto& s = *reinterpret_cast<Search*>(context);
        if (!IsWindowVisible(window) || !s.wanted(window)) return TRUE;
        s.found = window;
        return FALSE;
      },
      reinterpret_cast<LPARAM>(&search));
  return search.found;
}

// The visible dialog (#32770) of `thread`, or null.
HWND DialogOf(DWORD thread) {
  return FindTopWindow([thread](HWND window) {
    wchar_t name[16] = {};
    GetClassNameW(window, name, 16);
    return GetWindowThreadProcessId(window, nullptr) == thread && std::wstring(name) == L"#32770";
  });
}

// Waits for the visible dialog of `thread`; null when none came.
HWND WaitForDialogOf(DWORD thread) {
  HWND dialog = nullptr;
  WaitUntil([&] { return (dialog = DialogOf(thread)) != nullptr; });
  return dialog;
}

// Cancels the dialogs of `thread` until it has none left, for up to 10 s, so
// that a dialog left open fails its test instead of holding it up.
bool CancelDialogsOf(DWORD thread) {
  return WaitUntil([thread] {
    HWND dialog = DialogOf(thread);
    if (dialog) PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
    return dialog == nullptr;
  });
}

bool MakeForeground(HWND window) {
  return WaitUntil([&] { return GetForegroundWindow() == window || (SetForegroundWindow(window), false); });
}

bool IsTopmost(HWND window) { return (GetWindowLongPtrW(window, GWL_EXSTYLE) & WS_EX_TOPMOST) != 0; }

std::wstring TextOf(HWND window) {
  wchar_t text[512] = {};
  GetWindowTextW(window, text, 512);
  return text;
}

void Press(HWND dialog, int button) { SendMessageW(GetDlgItem(dialog, button), BM_CLICK, 0, 0); }

// Another program's window in the foreground: Wine's notepad, ended with the
// object.
class ForeignForeground {
 public:
  ForeignForeground() {
    wchar_t windows[MAX_PATH];
    GetWindowsDirectoryW(windows, MAX_PATH);
    notepad_ = ChildProcess::Start(std::wstring(windows) + L"\\notepad.exe", {});
    WaitUntil([&] {
      window_ = FindTopWindow([this](HWND window) {
        DWORD process = 0;
        GetWindowThreadProcessId(window, &process);
        return process == notepad_.Id();
      });
      return window_ != nullptr;
    });
    if (window_) MakeForeground(window_);
  }
  ~ForeignForeground() {
    notepad_.Terminate();
    notepad_.WaitExit(std::chrono::seconds(10));
  }
  bool InFront() const { return window_ && GetForegroundWindow() == window_; }

 private:
  ChildProcess notepad_;
  HWND window_ = nullptr;
};

// A thread with a visible window of its own that shows one message box and
// notes how it ended.
class MessageBoxWorker {
 public:
  MessageBoxWorker()
      : thread_([this] {
          TestWindow own;
          window_ = own.get();
          id_ = GetCurrentThreadId();
          result_ = MessageBoxShow(L"Information", L"Device update!");
          windowEnabledAfter_ = IsWindowEnabled(own.get()) != FALSE;
        }) {
    box_ = WaitUntil([&] { return id_.load() != 0; }) ? WaitForDialogOf(id_) : nullptr;
  }
  ~MessageBoxWorker() { End(); }
  HWND Box() const { return box_; }
  HWND Window() const { return window_; }
  DWORD Id() const { return id_; }
  // Presses OK and waits for the worker to end; MessageBoxShow's result.
  std::int64_t Dismiss() {
    Press(box_, IDOK);
    End();
    return result_;
  }
  bool WindowEnabledAfter() const { return windowEnabledAfter_; }

 private:
  // Waits for the worker, pressing OK on whatever box it shows (one that came
  // late, too).
  void End() {
    thread_.Join([this] {
      if (HWND box = id_ ? DialogOf(id_) : nullptr) Press(box, IDOK);
    });
  }

  std::atomic<HWND> window_{nullptr};
  std::atomic<DWORD> id_{0};
  std::atomic<std::int64_t> result_{-100};
  std::atomic<bool> windowEnabledAfter_{false};
  HWND box_ = nullptr;
  TestThread thread_;
};

// What the driver saw in an open-file dialog.
struct SeenInFileDialog {
  HWND owner = nullptr;
  std::wstring title, fileName, folder, filter;
  std::size_t notesOfShowingThread = 0;
};

// On its own thread: waits for the file dialog of thread `showing`, notes what
// it shows, types `typed` into the name box (unless null) and presses `button`.
// A dialog the press leaves open is cancelled, and fails the test.
class FileDialogDriver {
 public:
  FileDialogDriver(DWORD showing, const wchar_t* typed, int button)
      : thread_([this, showing, typed, button] {
          HWND dialog = WaitForDialogOf(showing);
          if (!dialog) return;
          auto edit = reinterpret_cast<HWND>(SendDlgItemMessageW(dialog, kFileNameBox, CBEM_GETEDITCONTROL, 0, 0));
          seen_ = {GetWindow(dialog, GW_OWNER),
                   TextOf(dialog),
                   TextOf(edit),
                   TextOf(GetDlgItem(dialog, kFolderList)),
                   TextOf(GetDlgItem(dialog, kFilterList)),
                   DialogBracketNoteCount(showing)};
          if (typed) SendMessageW(edit, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(typed));
          Press(dialog, button);
          closedByThePress_ = WaitUntil([&] { return !IsWindow(dialog); });
          if (!closedByThePress_) CancelDialogsOf(showing);
        }) {}
  SeenInFileDialog Seen() {
    thread_.Join();
    EXPECT_TRUE(closedByThePress_) << "the dialog stayed open after the press";
    return seen_;
  }

 private:
  SeenInFileDialog seen_;
  std::atomic<bool> closedByThePress_{true};
  TestThread thread_;
};

// An empty firmware file new.fw in a folder of its own under the temp folder.
class FirmwareFile {
 public:
  FirmwareFile() {
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    folder_ = std::wstring(temp) + L"fwu-dialog-" + std::to_wstring(GetCurrentProcessId());
    CreateDirectoryW(folder_.c_str(), nullptr);
    path_ = folder_ + L"\\new.fw";
    UniqueFileHandle(CreateFileW(path_.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
  }
  ~FirmwareFile() {
    DeleteFileW(path_.c_str());
    RemoveDirectoryW(folder_.c_str());
  }
  const std::wstring& Path() const { return path_; }
  std::wstring FolderName() const { return folder_.substr(folder_.rfind(L'\\') + 1); }
  bool Is(const std::wstring& path) const {
    return CompareStringOrdinal(path.c_str(), -1, path_.c_str(), -1, TRUE) == CSTR_EQUAL;
  }

 private:
  std::wstring folder_, path_;
};

TEST(DialogBracket, DisablesOnlyThisThreadsOtherVisibleWindowsAndRestoresThem) {
  TestWindow front, other, disabled, hidden(0, false), topmost(WS_EX_TOPMOST);
  EnableWindow(disabled.get(), FALSE);
  ASSERT_TRUE(MakeForeground(front.get()));
  ASSERT_TRUE(IsTopmost(topmost.get()));

  DialogBracketBegin();
  EXPECT_TRUE(IsWindowEnabled(front.get())) << "the foreground window is left to the dialog";
  EXPECT_FALSE(IsWindowEnabled(other.get()));
  EXPECT_TRUE(IsWindowEnabled(hidden.get()));
  EXPECT_FALSE(IsWindowEnabled(topmost.get()));
  EXPECT_FALSE(IsTopmost(topmost.get()));
  EXPECT_EQ(DialogBracketNoteCount(GetCurrentThreadId()), 4u);
  DialogBracketEnd();

  EXPECT_TRUE(IsWindowEnabled(other.get()));
  EXPECT_FALSE(IsWindowEnabled(disabled.get())) << "a window disabled before stays disabled";
  EXPECT_TRUE(IsWindowEnabled(topmost.get()));
  EXPECT_TRUE(IsTopmost(topmost.get()));
  EXPECT_EQ(DialogBracketNoteCount(GetCurrentThreadId()), 0u);
}

// Out of memory, nothing leaves the dialog layer as an exception, no window
// stays disabled and the file dialog gives the empty text.
TEST(DialogBracket, OutOfMemoryThrowsNothingAndLeavesNoWindowDisabled) {
  TestWindow front, other;
  ASSERT_TRUE(MakeForeground(front.get()));
  std::wstring chosen = L"unchanged";
  // A dialog shown all the same would wait for a user: it is cancelled.
  std::atomic<bool> shown{false}, over{false};
  TestThread watcher([&, self = GetCurrentThreadId()] {
    WaitUntil(
        [&] {
          if (DialogOf(self)) {
            shown = true;
            CancelDialogsOf(self);
          }
          return over.load();
        },
        std::chrono::seconds(60));
  });
  {
    FailingAllocations noMemory;
    EXPECT_NO_THROW(DialogBracketBegin());
    EXPECT_NO_THROW(DialogBracketEnd());
    EXPECT_NO_THROW(chosen = OpenFileDialogShow(kTitle, nullptr, kFirmwareFilter, 0));
  }
  over = true;
  watcher.Join();
  EXPECT_FALSE(shown) << "no dialog without memory";
  EXPECT_TRUE(IsWindowEnabled(other.get()));
  EXPECT_EQ(DialogBracketNoteCount(GetCurrentThreadId()), 0u);
  EXPECT_EQ(chosen, L"");
}

TEST(MessageBoxShow, IsOwnedByOurForegroundWindowWhichTakesNoInputMeanwhile) {
  TestWindow main;
  ASSERT_TRUE(MakeForeground(main.get()));
  EXPECT_EQ(DialogOwner(), main.get());
  MessageBoxWorker worker;
  ASSERT_NE(worker.Box(), nullptr);
  EXPECT_EQ(TextOf(worker.Box()), L"Information");
  EXPECT_EQ(GetWindow(worker.Box(), GW_OWNER), main.get());
  EXPECT_FALSE(IsWindowEnabled(main.get()));
  EXPECT_FALSE(IsWindowEnabled(worker.Window())) << "the worker's own window sits out its box";
  EXPECT_EQ(worker.Dismiss(), IDOK);
  EXPECT_TRUE(IsWindowEnabled(main.get()));
  EXPECT_TRUE(worker.WindowEnabledAfter());
}

TEST(MessageBoxShow, AClosingDialogInFrontHandsTheOwnershipToTheWindowItBelongsTo) {
  TestWindow main;
  TestWindow closing(0, true, main.get());
  ASSERT_TRUE(MakeForeground(closing.get()));
  // Hidden on its way out, and still reported in front: a box owned by it
  // would never be seen.
  SetWindowPos(closing.get(), nullptr, 0, 0, 0, 0,
               SWP_HIDEWINDOW | SWP_NOACTIVATE | SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER);
  ASSERT_EQ(GetForegroundWindow(), closing.get());
  EXPECT_EQ(DialogOwner(), main.get());
}

TEST(MessageBoxShow, HasNoOwnerWhileAnotherProgramIsInFront) {
  TestWindow main;
  ForeignForeground foreign;
  ASSERT_TRUE(foreign.InFront());
  EXPECT_EQ(DialogOwner(), nullptr);
  MessageBoxWorker worker;
  ASSERT_NE(worker.Box(), nullptr);
  EXPECT_EQ(GetWindow(worker.Box(), GW_OWNER), nullptr);
  EXPECT_TRUE(IsWindowEnabled(main.get()));
  EXPECT_EQ(worker.Dismiss(), IDOK);
}

TEST(OpenFileDialog, ATypedFileComesBackAsItsFullPathAndTheFolderStaysUnchanged) {
  FirmwareFile firmware;
  TestWindow main;
  ASSERT_TRUE(MakeForeground(main.get()));
  wchar_t before[MAX_PATH], after[MAX_PATH];
  GetCurrentDirectoryW(MAX_PATH, before);

  FileDialogDriver driver(GetCurrentThreadId(), firmware.Path().c_str(), IDOK);
  std::wstring chosen = OpenFileDialogShow(kTitle, nullptr, kFirmwareFilter, 0);
  SeenInFileDialog seen = driver.Seen();
  EXPECT_TRUE(firmware.Is(chosen)) << chosen;
  EXPECT_EQ(seen.title, kTitle);
  EXPECT_EQ(seen.owner, main.get());
  EXPECT_EQ(seen.fileName, L"");
  EXPECT_EQ(seen.filter, L"Firmware (*.fw)");
  EXPECT_GE(seen.notesOfShowingThread, 1u);
  EXPECT_EQ(DialogBracketNoteCount(GetCurrentThreadId()), 0u);
  GetCurrentDirectoryW(MAX_PATH, after);
  EXPECT_STREQ(before, after);
}

TEST(OpenFileDialog, ADefaultFileOpensInItsFolderWithItsName) {
  FirmwareFile firmware;
  FileDialogDriver driver(GetCurrentThreadId(), nullptr, IDOK);
  std::wstring chosen = OpenFileDialogShow(kTitle, firmware.Path().c_str(), kFirmwareFilter, 0);
  SeenInFileDialog seen = driver.Seen();
  EXPECT_EQ(seen.fileName, L"new.fw");
  EXPECT_EQ(seen.folder, firmware.FolderName());
  EXPECT_TRUE(firmware.Is(chosen)) << chosen;
}

TEST(OpenFileDialog, CancelGivesTheEmptyTextAndAPositionPreselectsItsFilter) {
  FileDialogDriver driver(GetCurrentThreadId(), L"typed.fw", IDCANCEL);
  std::wstring chosen = OpenFileDialogShow(kTitle, nullptr, L"Firmware (*.fw)|*.fw|All (*.*)|*.*", 1);
  EXPECT_EQ(chosen, L"");
  EXPECT_EQ(driver.Seen().filter, L"All (*.*)");
}

// A worker's unowned outcome box stays open while the user clicks the updater
// window and opens the file dialog: each thread restores only its own windows.
TEST(OpenFileDialog, WhileAWorkersMessageBoxIsOpenEachThreadRestoresOnlyItsOwnWindows) {
  FirmwareFile firmware;
  TestWindow main;
  ForeignForeground foreign;
  ASSERT_TRUE(foreign.InFront());
  MessageBoxWorker worker;
  ASSERT_NE(worker.Box(), nullptr);
  EXPECT_EQ(GetWindow(worker.Box(), GW_OWNER), nullptr);
  EXPECT_EQ(DialogBracketNoteCount(worker.Id()), 1u);
  // The user comes back to the main window; the other program stays open, so
  // no window of its goes away and moves the foreground meanwhile.
  ASSERT_TRUE(MakeForeground(main.get()));

  FileDialogDriver driver(GetCurrentThreadId(), firmware.Path().c_str(), IDOK);
  std::wstring chosen = OpenFileDialogShow(kTitle, nullptr, kFirmwareFilter, 0);
  SeenInFileDialog seen = driver.Seen();
  EXPECT_TRUE(firmware.Is(chosen)) << chosen;
  EXPECT_EQ(seen.owner, main.get());
  EXPECT_GE(seen.notesOfShowingThread, 1u);
  EXPECT_EQ(DialogBracketNoteCount(GetCurrentThreadId()), 0u);
  EXPECT_EQ(DialogBracketNoteCount(worker.Id()), 1u) << "the box's notes outlive the file dialog";
  EXPECT_FALSE(IsWindowEnabled(worker.Window()));

  EXPECT_EQ(worker.Dismiss(), IDOK);
  EXPECT_EQ(DialogBracketNoteCount(worker.Id()), 0u);
  EXPECT_TRUE(worker.WindowEnabledAfter());
}

}  // namespace
