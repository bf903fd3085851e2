// A pipe for a program's standard output: one that the test reads as it
// likes, or one that is full before the program starts, so that every write
// of the program blocks until the test reads (a stopped terminal, a reader
// that stopped reading).
#pragma once

#include <string>

class OutputPipe {
 public:
  explicit OutputPipe(bool stalled);
  ~OutputPipe();
  OutputPipe(const OutputPipe&) = delete;
  OutputPipe& operator=(const OutputPipe&) = delete;

  // Makes the pipe the standard output of a child about to start.
  bool BecomeStandardOutput() const;
  // Once the child has started: the program holds the only write end.
  void CloseWriteEnd();
  void CloseReadEnd();
  // What the program wrote until it closed the pipe (or 20 s went by),
  // without the filler.
  std::string ReadToEnd();
  // The next line, without its newline; what came of it when the program
  // closed the pipe or wrote nothing more for 20 s.
  std::string ReadLine();

 private:
  int ends_[2] = {-1, -1};
  std::string filler_;
};
