#include "cli/InputFile.h"

#include "cli/linux/UniqueFd.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstring>

namespace fwu::cli {
namespace {

class DescriptorFile : public InputFile {
 public:
  explicit DescriptorFile(UniqueFd fd) : fd_(std::move(fd)) {}

  std::optional<FileFacts> Facts(std::string& error) override {
    struct stat info {};
    if (fstat(fd_.get(), &info) != 0) {
      error = std::strerror(errno);
      return std::nullopt;
    }
    FileFacts facts;
    facts.kind = S_ISREG(info.st_mode)   ? FileFacts::Kind::kRegular
                 : S_ISDIR(info.st_mode) ? FileFacts::Kind::kFolder
                                         : FileFacts::Kind::kOther;
    facts.size = static_cast<std::uint64_t>(info.st_size);
    // The change time, which every write moves and no program can set back.
    facts.changed = static_cast<std::uint64_t>(info.st_ctim.tv_sec) * 1000000000u +
                    static_cast<std::uint64_t>(info.st_ctim.tv_nsec);
    facts.volume = info.st_dev;
    facts.number = info.st_ino;
    return facts;
  }

  std::int64_t Read(std::span<std::uint8_t> into, std::string& error) override {
    ssize_t count;
    do count = ::read(fd_.get(), into.data(), into.size());
    while (count < 0 && errno == EINTR);
    if (count < 0) error = std::strerror(errno);
    return count;
  }

 private:
  UniqueFd fd_;
};

}  // namespace

InputFileOpening OpenInputFile(const std::string& utf8Path) {
  UniqueFd fd(open(utf8Path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
  if (!fd) return {nullptr, errno == ENOENT, std::strerror(errno)};
  return {std::make_unique<DescriptorFile>(std::move(fd)), false, {}};
}

}  // namespace fwu::cli
