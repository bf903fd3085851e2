#include "tests/support/Process.h"

std::wstring WindowsPathOf(std::string_view unixPath) {
  std::wstring path = L"Z:";
  for (char c : unixPath) path += c == '/' ? L'\\' : static_cast<wchar_t>(static_cast<unsigned char>(c));
  return path;
}

std::string UnixPathOf(const std::wstring& windowsPath) {
  using UnixFileName = char*(CDECL*)(const wchar_t*);
  auto unixFileName = reinterpret_cast<UnixFileName>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name")));
  char* name = unixFileName ? unixFileName(windowsPath.c_str()) : nullptr;
  if (!name) return {};
  std::string path = name;
  HeapFree(GetProcessHeap(), 0, name);
  return path;
}

std::wstring QuoteArgument(std::wstring_view argument) {
  if (!argument.empty() && argument.find_first_of(L" \t\"") == std::wstring_view::npos)
    return std::wstring(argument);
  std::wstring quoted = L"\"";
  std::size_t backslashes = 0;
  for (wchar_t c : argument) {
    if (c == L'\\') {
      ++backslashes;
      continue;
    }
    quoted.append(c == L'"' ? backslashes * 2 + 1 : backslashes, L'\\');
    backslashes = 0;
    quoted += c;
  }
  quoted.append(backslashes * 2, L'\\');
  return quoted + L"\"";
}

ChildProcess ChildProcess::Start(const std::wstring& program, const std::vector<std::wstring>& arguments,
                                 const wchar_t* workingDirectory, const StartOptions& options) {
  std::wstring commandLine = QuoteArgument(program);
  for (const std::wstring& argument : arguments) commandLine += L" " + QuoteArgument(argument);
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  if (options.giveStandardHandles) {
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = options.input;
    startup.hStdOutput = options.output;
    startup.hStdError = options.error;
  }
  PROCESS_INFORMATION info{};
  ChildProcess child;
  if (!CreateProcessW(program.c_str(), commandLine.data(), nullptr, nullptr, options.giveStandardHandles,
                      options.creationFlags, nullptr, workingDirectory, &startup, &info))
    return child;
  CloseHandle(info.hThread);
  child.process_.reset(info.hProcess);
  child.id_ = info.dwProcessId;
  return child;
}

bool ChildProcess::WaitExit(std::chrono::milliseconds timeout) {
  return process_ && WaitForSingleObject(process_.get(), static_cast<DWORD>(timeout.count())) == WAIT_OBJECT_0;
}

DWORD ChildProcess::ExitCode() const {
  DWORD code = STILL_ACTIVE;
  if (process_) GetExitCodeProcess(process_.get(), &code);
  return code;
}

void ChildProcess::Terminate() {
  if (process_ && ExitCode() == STILL_ACTIVE) TerminateProcess(process_.get(), 1);
}
