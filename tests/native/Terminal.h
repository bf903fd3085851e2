// A terminal for a program's output: the test reads what was drawn on it.
#pragma once

#include <string>

class Terminal {
 public:
  // A terminal that tells no size, or one of `columns` by `rows`.
  Terminal();
  Terminal(int columns, int rows);
  ~Terminal();
  Terminal(const Terminal&) = delete;
  Terminal& operator=(const Terminal&) = delete;

  const std::string& Path() const { return path_; }
  // Everything drawn so far and not yet read.
  std::string Drawn() const;

 private:
  int master_;
  int slave_ = -1;
  std::string path_;
};
