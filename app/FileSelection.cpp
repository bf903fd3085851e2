#include "app/FileSelection.h"

#include "app/UpdaterState.h"
#include "runtime/control/Control.h"
#include "runtime/dialog/Dialog.h"
#include "runtime/thread/Thread.h"

#include <string>

void FileSelection(std::int64_t /*eventType*/) {
  TextAreaEnter();
  std::wstring path = OpenFileDialogShow(L"Please choose file to load", nullptr, L"Firmware (*.fw)|*.fw;", 0);
  if (path.empty()) path = kDefaultFirmwarePath;
  ControlSetText(g_updater.firmwarePathField, path.c_str());
}
