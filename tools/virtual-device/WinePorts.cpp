#include "WinePorts.h"

#include "Reporter.h"

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <vector>

namespace {

std::string ParentOf(std::string path) {
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  auto slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

std::string Absolute(const std::string& path) {
  char* resolved = realpath(path.c_str(), nullptr);
  if (!resolved) return {};
  std::string result = resolved;
  std::free(resolved);
  return result;
}

// "COM3" -> 3; 0 for anything else than COM1..COM100.
int PortNumber(const std::string& com) {
  if (com.size() < 4 || com.size() > 6) return 0;
  for (std::size_t i = 0; i < 3; ++i)
    if (std::toupper(static_cast<unsigned char>(com[i])) != "COM"[i]) return 0;
  int number = 0;
  for (std::size_t i = 3; i < com.size(); ++i) {
    if (!std::isdigit(static_cast<unsigned char>(com[i]))) return 0;
    number = number * 10 + (com[i] - '0');
  }
  return number >= 1 && number <= 100 && com[3] != '0' ? number : 0;
}

std::string ReadFirstLine(const std::string& path) {
  std::ifstream in(path);
  std::string line;
  std::getline(in, line);
  return line;
}

// Runs a Wine tool in the prefix; true when it exits with 0.
bool RunInPrefix(const std::string& prefix, const std::vector<std::string>& command) {
  pid_t child = fork();
  if (child < 0) return false;
  if (child == 0) {
    setenv("WINEPREFIX", prefix.c_str(), 1);
    setenv("WINEDEBUG", "-all", 1);
    setenv("WINEDLLOVERRIDES", "mscoree,mshtml=", 1);
    setenv("WINEARCH", "win64", 1);
    std::vector<char*> argv;
    for (const std::string& word : command) argv.push_back(const_cast<char*>(word.c_str()));
    argv.push_back(nullptr);
    execvp(argv[0], argv.data());
    _exit(127);
  }
  int status = 0;
  while (waitpid(child, &status, 0) < 0)
    if (errno != EINTR) return false;
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

std::string WindowsPath(const std::string& unixPath) {
  std::string path = "Z:";
  for (char c : unixPath) path += c == '/' ? '\\' : c;
  return path;
}

std::string PortsRegistry(const std::string& portsDir) {
  std::ostringstream reg;
  reg << "REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\Software\\Wine\\Ports]\n";
  for (int i = 1; i <= 100; ++i) reg << "\"COM" << i << "\"=\"" << portsDir << "/com" << i << "\"\n";
  return reg.str();
}

bool MapPorts(const std::string& prefix, const std::string& benchDir, const std::string& portsDir) {
  std::string reg = benchDir + "/ports.reg";
  // The stamp says which ports folder the prefix's registry already names.
  std::string stamp = prefix + "/.fwu-ports";
  if (!WriteFile(reg, PortsRegistry(portsDir)) ||
      !RunInPrefix(prefix, {"wine", "regedit", "/S", WindowsPath(reg)}))
    return false;
  // Wine reads the key when its server starts. -k fails when none runs.
  RunInPrefix(prefix, {"wineserver", "-k"});
  return RunInPrefix(prefix, {"wineserver", "-w"}) && WriteFile(stamp, portsDir + "\n");
}

}  // namespace

std::string WinePortLink(const std::string& prefixArgument, const std::string& com, std::string& error) {
  int number = PortNumber(com);
  if (!number) {
    error = "--com must be COM1..COM100, not '" + com + "'";
    return {};
  }
  mkdir(prefixArgument.c_str(), 0755);
  std::string prefix = Absolute(prefixArgument);
  if (prefix.empty()) {
    error = "no Wine prefix at " + prefixArgument;
    return {};
  }
  std::string benchDir = ParentOf(prefix) + "/bench";
  std::string portsDir = benchDir + "/ports";
  mkdir(benchDir.c_str(), 0755);
  mkdir(portsDir.c_str(), 0755);
  if (ReadFirstLine(prefix + "/.fwu-ports") != portsDir && !MapPorts(prefix, benchDir, portsDir)) {
    error = "could not map the serial ports of " + prefix;
    return {};
  }
  return portsDir + "/com" + std::to_string(number);
}
