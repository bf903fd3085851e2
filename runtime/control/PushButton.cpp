// Push button: a "Button" whose BN_CLICKED the window layer turns into a
// control event of type 0.
#include "runtime/control/Control.h"
#include "runtime/control/ControlRecord.h"

namespace {

void SetChecked(const ControlRef& control, std::int32_t value) {
  SendMessageW(control.window, BM_SETCHECK, value != 0 ? BST_CHECKED : BST_UNCHECKED, 0);
}

constexpr ControlKind kPushButton{1, nullptr, nullptr, SetChecked, nullptr, nullptr, nullptr};

}  // namespace

std::int64_t PushButtonCreate(std::int64_t number, int x, int y, int width, int height, const wchar_t* text,
                              std::uint32_t flags) {
  const ControlWindow design{L"Button", WS_CHILD | WS_VISIBLE | WS_GROUP | WS_TABSTOP | BS_PUSHBUTTON | flags, 0,
                           text, height, -1};
  HWND window = ControlWindowCreate(design, x, y, width);
  if (!window) return 0;
  std::optional<ControlRef> control =
      ControlRegister(number, window, kPushButton, MakeControlState());
  return control ? ControlCreationResult(number, *control) : 0;
}
