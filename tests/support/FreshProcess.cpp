#include "tests/support/FreshProcess.h"

#include "tests/support/Process.h"

namespace {

bool IsATestOfThisBinary(const std::string& suite, const std::string& name) {
  const testing::UnitTest& tests = *testing::UnitTest::GetInstance();
  for (int i = 0; i < tests.total_test_suite_count(); ++i) {
    const testing::TestSuite& found = *tests.GetTestSuite(i);
    if (found.name() != suite) continue;
    for (int j = 0; j < found.total_test_count(); ++j)
      if (found.GetTestInfo(j)->name() == name) return true;
  }
  return false;
}

}  // namespace

testing::AssertionResult PassesInFreshProcess(const std::string& name, std::chrono::milliseconds timeout) {
  // A filter that names no test passes in the child: make sure it names one.
  if (!IsATestOfThisBinary("FreshProcess", "DISABLED_" + name))
    return testing::AssertionFailure() << "no test FreshProcess.DISABLED_" << name;
  wchar_t self[MAX_PATH];
  GetModuleFileNameW(nullptr, self, MAX_PATH);
  std::wstring filter = L"--gtest_filter=FreshProcess.DISABLED_" + std::wstring(name.begin(), name.end());
  ChildProcess child = ChildProcess::Start(self, {filter, L"--gtest_also_run_disabled_tests"});
  if (!child) return testing::AssertionFailure() << "the child process did not start";
  if (!child.WaitExit(timeout))
    return testing::AssertionFailure() << "the child process did not end within " << timeout.count() << " ms";
  if (DWORD code = child.ExitCode(); code != 0)
    return testing::AssertionFailure() << "the child process ended with " << code;
  return testing::AssertionSuccess();
}
