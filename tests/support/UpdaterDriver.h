// Drives the real fwupdater.exe from a test, as a person would: finds its
// window by the title, reads and sets its controls through their messages,
// presses buttons, and finds, reads and dismisses its message boxes and its
// open-file dialog. Everything waits on conditions with bounded time-outs.
#pragma once

#include "tests/support/Process.h"

#include <windows.h>

#include <chrono>
#include <optional>
#include <string>
#include <vector>

struct DialogSeen {
  HWND window = nullptr;
  std::wstring title;
  std::wstring text;
};

class UpdaterDriver {
 public:
  // Starts the updater with `directory` as its current directory and waits
  // for its window with the port list filled. Check Started(); Failure() then
  // says which step failed and why.
  explicit UpdaterDriver(const std::wstring& directory);
  ~UpdaterDriver();
  UpdaterDriver(const UpdaterDriver&) = delete;
  UpdaterDriver& operator=(const UpdaterDriver&) = delete;

  bool Started() const { return window_ != nullptr; }
  const std::string& Failure() const { return failure_; }
  ChildProcess& Process() { return process_; }
  HWND Window() const { return window_; }

  HWND Banner() const { return banner_; }
  HWND PortList() const { return portList_; }
  HWND PathField() const { return pathField_; }
  HWND OpenButton() const { return openButton_; }
  HWND ProgressBar() const { return progressBar_; }
  HWND UpdateButton() const { return updateButton_; }

  std::vector<std::wstring> PortItems() const;
  // Picks the item as the user does: the selection changes and the list
  // tells its parent.
  bool SelectPort(const std::wstring& name);
  std::wstring PathText() const;
  // Types the text into the path field.
  void SetPath(const std::wstring& text);
  int Progress() const;
  bool InputControlsEnabled() const;
  bool InputControlsDisabled() const;

  void PressUpdate();
  void PressOpen();

  // The first visible message box of the updater, waiting up to `timeout`.
  std::optional<DialogSeen> WaitMessageBox(std::chrono::milliseconds timeout);
  // Any visible message box of the updater now.
  std::optional<DialogSeen> MessageBoxNow() const;
  // Presses OK and waits until the box has gone.
  bool Dismiss(const DialogSeen& box);
  // The open-file dialog titled "Please choose file to load".
  std::optional<DialogSeen> WaitFileDialog(std::chrono::milliseconds timeout);
  // Types `path` into the file dialog's name box and presses Open.
  bool ChooseInFileDialog(const DialogSeen& dialog, const std::wstring& path);
  bool CancelFileDialog(const DialogSeen& dialog);

  struct Closing {
    bool ended = false;
    bool boxShown = false;
  };
  // Asks the window to close (its close box) and waits for the process to
  // end, watching for any message box meanwhile.
  Closing CloseWatchingForBoxes(std::chrono::milliseconds timeout);
  bool Close(std::chrono::milliseconds timeout) { return CloseWatchingForBoxes(timeout).ended; }

 private:
  std::vector<HWND> DialogsOfProcess() const;

  ChildProcess process_;
  HWND window_ = nullptr;
  HWND banner_ = nullptr;
  HWND portList_ = nullptr;
  HWND pathField_ = nullptr;
  HWND openButton_ = nullptr;
  HWND progressBar_ = nullptr;
  HWND updateButton_ = nullptr;
  std::string failure_;
};

// The text of a window of another process.
std::wstring WindowTextOf(HWND window);
std::wstring ClassNameOf(HWND window);
// The direct children of `parent`, in the platform's order.
std::vector<HWND> ChildrenOf(HWND parent);
