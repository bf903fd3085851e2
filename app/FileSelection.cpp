#include "app/FileSelection.h"

#include "app/UpdaterState.h"
#include "runtime/control/Control.h"
#include "runtime/dialog/Dialog.h"
#include "runtime/thread/Thread.h"

#include <optional>
#include <string>

// A dialog that could not be shown or failed is no cancel: the field keeps
// what it held, so the next UPDATE! sends the file it names.
void FileSelection(std::int64_t /*eventType*/) {
  TextAreaEnter();
  std::optional<std::wstring> path =
      OpenFileDialogChoose(L"Please choose file to load", nullptr, L"Firmware (*.fw)|*.fw;", 0);
  if (!path) return;
  if (path->empty()) *path = kDefaultFirmwarePath;
  ControlSetText(g_updater.firmwarePathField, path->c_str());
}
