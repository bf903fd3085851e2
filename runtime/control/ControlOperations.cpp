// The operations common to every kind: items, state, enabling, text.
#include "runtime/control/Control.h"
#include "runtime/control/ControlRecord.h"
#include "runtime/base/NoMemory.h"
#include "runtime/base/ScopeExit.h"
#include "runtime/thread/Thread.h"
#include "runtime/window/Window.h"

namespace {

// Holds back the events the calling thread raises while it lives.
[[nodiscard]] auto SuppressEvents() {
  EventSuppressBegin();
  return scope_exit(EventSuppressEnd);
}

}  // namespace

std::int64_t ControlAddItem(std::int64_t number, int position, const wchar_t* text) {
  std::optional<ControlRef> control = ControlLookup(number);
  if (!control || !control->kind->addItem) return 0;
  auto suppressed = SuppressEvents();
  return control->kind->addItem(*control, position, text ? text : L"");
}

std::int32_t ControlGetState(std::int64_t number) {
  std::optional<ControlRef> control = ControlLookup(number);
  if (!control || !control->kind->getState) return 0;
  return control->kind->getState(*control);
}

void ControlSetState(std::int64_t number, std::int32_t value) {
  std::optional<ControlRef> control = ControlLookup(number);
  if (!control || !control->kind->setState) return;
  auto suppressed = SuppressEvents();
  control->kind->setState(*control, value);
}

void ControlDisable(std::int64_t number, int flag) {
  if (std::optional<ControlRef> control = ControlLookup(number)) EnableWindow(control->window, flag == 0);
}

std::wstring ControlGetText(std::int64_t number) {
  std::optional<ControlRef> control = ControlLookup(number);
  if (!control) return {};
  return OrOnNoMemory(std::wstring(), [&control] {
    return control->kind->getText ? control->kind->getText(*control) : WindowTextOf(control->window);
  });
}

void ControlSetText(std::int64_t number, const wchar_t* text) {
  std::optional<ControlRef> control = ControlLookup(number);
  if (!control) return;
  if (!text) text = L"";
  auto suppressed = SuppressEvents();
  if (control->kind->setText)
    control->kind->setText(*control, text);
  else
    SetWindowTextW(control->window, text);
}

std::wstring WindowTextOf(HWND window) {
  int length = GetWindowTextLengthW(window);
  if (length < 0) length = 0;
  auto* buffer = static_cast<wchar_t*>(TextAreaReserve((static_cast<std::size_t>(length) + 1) * sizeof(wchar_t)));
  if (!buffer) return {};
  buffer[0] = L'\0';
  GetWindowTextW(window, buffer, length + 1);
  return std::wstring(buffer);
}
