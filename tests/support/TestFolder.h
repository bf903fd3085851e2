// A fresh folder under the temp folder for one test or benchmark, removed
// again with everything made in it.
#pragma once

#include <string>

class TestFolder {
 public:
  // Named after `name` and the process, so parallel runs do not meet.
  explicit TestFolder(const std::wstring& name);
  ~TestFolder();
  TestFolder(const TestFolder&) = delete;
  TestFolder& operator=(const TestFolder&) = delete;

  const std::wstring& Path() const { return path_; }
  // Writes `bytes` to the file `name` in the folder; gives its full path.
  std::wstring Write(const std::wstring& name, const std::string& bytes) const;

 private:
  std::wstring path_;
};
