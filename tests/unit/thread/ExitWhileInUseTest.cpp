// A test program returns from main, and exit() runs the static destructors
// while threads of the runtime may still be inside a call (a progress
// refresher, a wait-pool release, a worker). The tables and locks those calls
// reach must outlive that: a child process of this binary keeps every service
// busy from two threads while its main returns, and must end with 0.
#include "runtime/base/UniqueHandle.h"
#include "runtime/dialog/Dialog.h"
#include "runtime/file/File.h"
#include "runtime/thread/Thread.h"
#include "runtime/window/Window.h"
#include "tests/support/FreshProcess.h"
#include "tests/support/Wait.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <atomic>
#include <string>

namespace {

std::atomic<int> g_rounds{0};
std::wstring g_file;

// A file the parent makes and the children open.
std::wstring SharedFile() {
  wchar_t folder[MAX_PATH];
  GetTempPathW(MAX_PATH, folder);
  return std::wstring(folder) + L"fwu-exit-while-in-use.bin";
}

std::int64_t ReturnAtOnce(std::int64_t) { return 0; }

// Opens and closes, starts threads, brackets dialogs and queues events: every
// table and lock a late call can reach is read and written.
std::int64_t UseTheTablesForever(std::int64_t) {
  TextAreaEnter();
  for (;;) {
    FileClose(FileOpenRead(-1, g_file.c_str()));
    ThreadStart(ReturnAtOnce, 0);
    DialogBracketBegin();
    DialogBracketEnd();
    EventPush(kMenuEvent, 1, 0, 0, 0, nullptr, 0);
    NextEvent(0);
    WindowHandle(0);
    ++g_rounds;
  }
}

TEST(FreshProcess, DISABLED_ReturnsWhileThreadsUseTheTables) {
  g_file = SharedFile();
  ASSERT_NE(ThreadStart(UseTheTablesForever, 0), 0);
  ASSERT_NE(ThreadStart(UseTheTablesForever, 0), 0);
  ASSERT_TRUE(WaitUntil([] { return g_rounds > 100; }));
  // Returning ends the test program while both threads go on.
}

TEST(ExitWhileInUse, AProgramThatReturnsWhileThreadsUseTheTablesEndsWithZero) {
  UniqueFileHandle file(CreateFileW(SharedFile().c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
  ASSERT_TRUE(file);
  file.reset();
  for (int run = 1; run <= 8; ++run)
    EXPECT_TRUE(PassesInFreshProcess("ReturnsWhileThreadsUseTheTables")) << "run " << run;
  DeleteFileW(SharedFile().c_str());
}

}  // namespace
