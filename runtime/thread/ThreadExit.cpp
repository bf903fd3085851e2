// Procedures that run after a thread has ended.
//
// Each registering thread gets one record, found through a TLS slot. The
// record list is shared and guarded by g_lock; a record's pairs are touched by
// its own thread while it runs and by the wait-pool callback after it has
// ended, never by both.
#include "Thread.h"

#include "runtime/base/CriticalSection.h"
#include "runtime/base/NeverDestroyed.h"
#include "runtime/base/NoMemory.h"
#include "runtime/base/UniqueHandle.h"

#include <windows.h>

#include <forward_list>
#include <list>
#include <mutex>
#include <utility>

namespace {

struct ExitRecord {
  UniqueKernelHandle thread;  // duplicate with SYNCHRONIZE access
  HANDLE wait = nullptr;
  std::forward_list<std::pair<ThreadExitProcedure, void*>> pairs;  // newest first
};

NeverDestroyed<CriticalSection> g_lock;
NeverDestroyed<std::list<ExitRecord>> g_records;
DWORD g_tls = TLS_OUT_OF_INDEXES;
std::once_flag g_tlsOnce;

void CALLBACK ThreadEnded(void* context, BOOLEAN timedOut) {
  if (timedOut) return;
  auto* record = static_cast<ExitRecord*>(context);
  UnregisterWait(record->wait);
  ExitRecord ended;
  {
    std::lock_guard guard(*g_lock);
    for (auto it = g_records->begin(); it != g_records->end(); ++it) {
      if (&*it != record) continue;
      ended = std::move(*it);
      g_records->erase(it);
      break;
    }
  }
  ended.thread.reset();
  for (auto& [procedure, argument] : ended.pairs) procedure(argument);
}

ExitRecord* MakeRecordForThisThread() {
  ExitRecord* record;
  {
    std::lock_guard guard(*g_lock);
    record = &g_records->emplace_back();
  }
  HANDLE duplicate = nullptr;
  DuplicateHandle(GetCurrentProcess(), GetCurrentThread(), GetCurrentProcess(), &duplicate,
                  SYNCHRONIZE, FALSE, 0);
  record->thread.reset(duplicate);
  TlsSetValue(g_tls, record);
  RegisterWaitForSingleObject(&record->wait, duplicate, ThreadEnded, record, INFINITE,
                              WT_EXECUTEONLYONCE);
  return record;
}

}  // namespace

// Without memory for the pair nothing is registered: the procedure then never
// runs, which costs what it would have released.
void AtThreadExit(ThreadExitProcedure procedure, void* argument) {
  std::call_once(g_tlsOnce, [] { g_tls = TlsAlloc(); });
  OrOnNoMemory(false, [&] {
    auto* record = static_cast<ExitRecord*>(TlsGetValue(g_tls));
    if (!record) record = MakeRecordForThisThread();
    record->pairs.emplace_front(procedure, argument);
    return true;
  });
}
