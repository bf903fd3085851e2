// A fresh folder under /tmp for one test or benchmark, removed with all it
// holds; and whole files read and written.
#pragma once

#include <string>
#include <vector>

class Folder {
 public:
  Folder();
  ~Folder();
  Folder(const Folder&) = delete;
  Folder& operator=(const Folder&) = delete;

  const std::string& Path() const { return path_; }
  std::string operator/(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

// The file's contents, or empty.
std::string ReadFile(const std::string& path);
void WriteFile(const std::string& path, const std::string& bytes);
// The text's complete lines, without their ends.
std::vector<std::string> LinesOf(const std::string& text);
