// Tab and Shift+Tab: the focus steps over the active window's enabled,
// visible WS_TABSTOP descendants in the platform's order, wrapping at the ends.
#include "runtime/window/WindowInternal.h"

#include <new>
#include <utility>
#include <vector>

namespace {

struct Descendant {
  HWND window;
  bool tabStop;
};

struct Collection {
  std::vector<Descendant> list;
  bool complete = true;
};

// Called by the platform: no exception may leave it. When the list cannot
// grow, the enumeration stops and the collection is marked incomplete.
BOOL CALLBACK CollectDescendant(HWND window, LPARAM context) {
  auto& collection = *reinterpret_cast<Collection*>(context);
  bool tabStop = IsWindowEnabled(window) && IsWindowVisible(window) &&
                 (GetWindowLongPtrW(window, GWL_STYLE) & WS_TABSTOP) != 0;
  try {
    collection.list.push_back({window, tabStop});
    return TRUE;
  } catch (const std::bad_alloc&) {
    collection.complete = false;
    return FALSE;
  }
}

// Every descendant in the platform's order; nothing when memory ran out, as a
// part of the list would step the focus to the wrong control.
std::vector<Descendant> DescendantsOf(HWND root) {
  Collection collection;
  EnumChildWindows(root, CollectDescendant, reinterpret_cast<LPARAM>(&collection));
  if (!collection.complete) return {};
  return std::move(collection.list);
}

// The first tab stop from index `from` on, walking by `step`.
HWND FirstTabStop(const std::vector<Descendant>& list, std::ptrdiff_t from, std::ptrdiff_t step) {
  for (std::ptrdiff_t i = from; i >= 0 && i < static_cast<std::ptrdiff_t>(list.size()); i += step)
    if (list[static_cast<std::size_t>(i)].tabStop) return list[static_cast<std::size_t>(i)].window;
  return nullptr;
}

// The tab stop after (forward) or before `current`; past either end, or with
// no current window, the first (forward) or last tab stop. Null when there is
// no tab stop at all.
HWND TabTarget(const std::vector<Descendant>& list, HWND current, bool forward) {
  std::ptrdiff_t step = forward ? 1 : -1;
  for (std::size_t i = 0; i < list.size(); ++i)
    if (list[i].window == current)
      if (HWND next = FirstTabStop(list, static_cast<std::ptrdiff_t>(i) + step, step)) return next;
  return FirstTabStop(list, forward ? 0 : static_cast<std::ptrdiff_t>(list.size()) - 1, step);
}

}  // namespace

void FocusNext(bool forward) {
  HWND root = GetActiveWindow();
  if (!root) return;
  HWND focus = GetFocus();
  HWND current = focus && IsChild(root, focus) ? focus : nullptr;
  if (HWND target = TabTarget(DescendantsOf(root), current, forward)) SetFocus(target);
}
