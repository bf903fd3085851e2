// The modal message box.
#include "Dialog.h"

std::int64_t MessageBoxShow(const wchar_t* title, const wchar_t* text, std::int64_t style) {
  HWND owner = DialogOwner();
  DialogBracketBegin();
  int result = MessageBoxW(owner, text, title, static_cast<UINT>(style));
  DialogBracketEnd();
  return result;
}
