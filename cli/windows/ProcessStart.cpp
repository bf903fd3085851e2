#include "cli/Platform.h"
#include "cli/windows/ConsoleCodePage.h"
#include "cli/windows/Wide.h"

#include <windows.h>
#include <shellapi.h>

#include <memory>
#include <string>
#include <vector>

namespace fwu::cli {
namespace {

struct ArgumentListFree {
  void operator()(wchar_t** list) const noexcept { LocalFree(list); }
};

// The C library gives main its arguments in the ANSI code page, where a file
// name outside it turns into question marks: they are read again from the
// wide command line, by the same rules, and kept for the program's life.
Utf8Arguments WideArguments(int argc, char** argv) {
  static std::vector<std::string> texts;
  static std::vector<const char*> values;
  int count = 0;
  std::unique_ptr<wchar_t*, ArgumentListFree> wide(CommandLineToArgvW(GetCommandLineW(), &count));
  if (!wide) return {argc, argv};
  for (int i = 0; i < count; ++i) texts.push_back(Narrowed(wide.get()[i]));
  for (const std::string& text : texts) values.push_back(text.c_str());
  values.push_back(nullptr);
  return {count, values.data()};
}

}  // namespace

Utf8Arguments PrepareProcess(int argc, char** argv) {
  ShowUtf8OnConsole();
  return WideArguments(argc, argv);
}

}  // namespace fwu::cli
