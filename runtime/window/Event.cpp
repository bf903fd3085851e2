// The per-thread event queues.
//
// Each thread's EventState (queue, suppression count, current event) sits in a
// slot of that thread's per-thread block and is used by that thread only; its
// queue is changed only under g_queueLock, the one lock over all queues. After
// the thread has ended the block's release deletes the state on a wait-pool
// thread.
#include "runtime/window/WindowInternal.h"

#include "runtime/base/CriticalSection.h"
#include "runtime/base/NeverDestroyed.h"
#include "runtime/thread/Thread.h"

#include <atomic>
#include <deque>
#include <mutex>
#include <new>

namespace {

struct Event {
  int code = 0;
  std::uint32_t flags = 0;
  std::int64_t object = 0;
  std::int64_t window = 0;
  std::int64_t type = 0;
  std::int64_t data = 0;
  EventDataRelease release = nullptr;
};

struct EventState {
  std::deque<Event> queue;
  int suppression = 0;
  Event current;  // type -1 after a NextEvent that took no event
  bool wakeOnPush = false;  // NextEvent is waiting for messages
};

NeverDestroyed<CriticalSection> g_queueLock;
std::atomic<bool> g_started{false};
std::size_t g_slot = 0;  // written at start-up, before other threads exist

// The slot holds a pointer, so the block may move the state's address freely.
void CreateState(void* slot) { *static_cast<EventState**>(slot) = new EventState; }
void DeleteState(void* slot) { delete *static_cast<EventState**>(slot); }

EventState* State() {
  if (!g_started) return nullptr;
  auto* slot = static_cast<EventState**>(ThreadSlotGet(g_slot));
  return slot ? *slot : nullptr;
}

// False when the queue cannot grow.
bool Enqueue(EventState& state, const Event& event) {
  try {
    state.queue.push_back(event);
    return true;
  } catch (const std::bad_alloc&) {
    return false;
  }
}

void ReleaseData(Event& event) {
  if (event.release) event.release(event.data);
  event.release = nullptr;
  event.data = 0;
}

bool Matches(const Event& event, int code, std::int64_t object, std::int64_t window, std::int64_t type) {
  return (code == -1 || event.code == code) && (object == -1 || event.object == object) &&
         (window == -1 || event.window == window) && (type == -1 || event.type == type);
}

bool FoldsIntoTail(const EventState& state, const Event& event) {
  if (event.code >= 0x10000 || state.queue.empty()) return false;
  const Event& tail = state.queue.back();
  return tail.code == event.code && tail.object == event.object && tail.window == event.window &&
         tail.type == event.type;
}

}  // namespace

void EventStartup() {
  if (g_started) return;
  g_slot = ThreadSlotReserve(sizeof(EventState*), CreateState, DeleteState);
  g_started = true;
}

void EventShutdown() {
  EventsRemove(-1, -1, -1, -1);
  if (EventState* state = State()) {
    std::lock_guard guard(*g_queueLock);
    ReleaseData(state->current);
  }
  g_started = false;
}

void EventPush(int code, std::int64_t object, std::int64_t window, std::int64_t type, std::int64_t data,
               EventDataRelease release, std::uint32_t flags) {
  Event event{code, flags, object, window, type, data, release};
  EventState* state = State();
  std::lock_guard guard(*g_queueLock);
  bool held = state && state->suppression != 0 && !(flags & kEventUnsuppressible);
  // An event that is not queued still hands over its data, which is released.
  if (!state || held || FoldsIntoTail(*state, event) || !Enqueue(*state, event)) {
    ReleaseData(event);
    return;
  }
  if (state->wakeOnPush) {
    state->wakeOnPush = false;
    PostThreadMessageW(GetCurrentThreadId(), WM_NULL, 0, 0);
  }
}

void EventWaitBegin() {
  if (EventState* state = State()) state->wakeOnPush = true;
}

void EventWaitEnd() {
  if (EventState* state = State()) state->wakeOnPush = false;
}

std::optional<int> TakeQueuedEvent() {
  EventState* state = State();
  if (!state) return std::nullopt;
  std::lock_guard guard(*g_queueLock);
  ReleaseData(state->current);
  state->current.code = 0;
  state->current.type = -1;
  if (state->queue.empty()) return std::nullopt;
  state->current = state->queue.front();
  state->queue.pop_front();
  return state->current.code;
}

void EventsRemove(int code, std::int64_t object, std::int64_t window, std::int64_t type) {
  EventState* state = State();
  if (!state) return;
  std::lock_guard guard(*g_queueLock);
  std::erase_if(state->queue, [&](Event& event) {
    if (!Matches(event, code, object, window, type)) return false;
    ReleaseData(event);
    return true;
  });
}

void EventSuppressBegin() {
  if (EventState* state = State()) ++state->suppression;
}

void EventSuppressEnd() {
  EventState* state = State();
  if (state && state->suppression > 0) --state->suppression;
}

std::int64_t CurrentEventObject() {
  EventState* state = State();
  return state ? state->current.object : 0;
}

std::int64_t CurrentEventType() {
  EventState* state = State();
  return state ? state->current.type : 0;
}

std::int64_t CurrentEventWindow() {
  EventState* state = State();
  return state ? state->current.window : 0;
}
