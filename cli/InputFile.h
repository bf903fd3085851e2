// A file opened for reading, as each platform's folder opens it: without
// waiting (a FIFO or a device is opened at once, and is then no regular
// file), and told about through the open descriptor, never by its name again,
// so that what is checked is what is read.
//
// Return rules: OpenInputFile gives a file, or says the name is missing or
// why it cannot be opened (the system's words). Facts gives none, and Read
// a negative count, when the system fails; `error` then says why.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>

namespace fwu::cli {

// What the system says of an open file. Two looks that differ in anything
// mean it was written, or replaced, in between.
struct FileFacts {
  enum class Kind { kRegular, kFolder, kOther } kind = Kind::kOther;
  std::uint64_t size = 0;
  std::uint64_t changed = 0;  // the time of its last change, in the system's units
  std::uint64_t volume = 0;   // the file's identity: its volume and number there
  std::uint64_t number = 0;
  bool operator==(const FileFacts&) const = default;
};

class InputFile {
 public:
  virtual ~InputFile() = default;
  virtual std::optional<FileFacts> Facts(std::string& error) = 0;
  // Up to into.size() bytes; 0 at the end.
  virtual std::int64_t Read(std::span<std::uint8_t> into, std::string& error) = 0;
};

struct InputFileOpening {
  std::unique_ptr<InputFile> file;
  bool missing = false;
  std::string error;
};
InputFileOpening OpenInputFile(const std::string& utf8Path);

}  // namespace fwu::cli
