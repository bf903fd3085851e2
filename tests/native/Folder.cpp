#include "tests/native/Folder.h"

#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <iterator>

Folder::Folder() {
  std::string pattern = std::filesystem::temp_directory_path() / "fwu-XXXXXX";
  if (mkdtemp(pattern.data())) path_ = pattern;
}

Folder::~Folder() {
  std::error_code ignored;
  if (!path_.empty()) std::filesystem::remove_all(path_, ignored);
}

std::string ReadFile(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

void WriteFile(const std::string& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

std::vector<std::string> LinesOf(const std::string& text) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  for (std::size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1)
    lines.push_back(text.substr(start, end - start));
  return lines;
}
