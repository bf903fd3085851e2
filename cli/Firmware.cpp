// The file is measured once it is open, held in one block of its size, and
// read in pieces, with a look at the interrupt between them: a file of
// hundreds of megabytes takes a while, and Ctrl+C must not wait for it.
#include "cli/Firmware.h"

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <fstream>
#include <limits>
#include <new>
#include <system_error>

namespace fwu::cli {
namespace {

namespace fs = std::filesystem;

constexpr std::size_t kPiece = std::size_t{1} << 20;

// Paths arrive as UTF-8; made from char8_t, the path gives Windows the wide
// name.
fs::path PathOf(const std::string& utf8) {
  return fs::path(std::u8string(reinterpret_cast<const char8_t*>(utf8.data()), utf8.size()));
}

FirmwareFile Problem(std::string problem) {
  FirmwareFile file;
  file.problem = std::move(problem);
  return file;
}

std::string CannotRead(const std::string& name, int error) {
  return "cannot read " + name + ": " + std::generic_category().message(error != 0 ? error : EIO);
}

// Why the path names no file to send, or empty.
std::string NotAFile(const fs::path& path, const std::string& name) {
  std::error_code error;
  fs::file_status status = fs::status(path, error);
  if (status.type() == fs::file_type::not_found) return "no such file: " + name;
  if (error) return CannotRead(name, error.value());
  if (fs::is_directory(status)) return name + " is a folder, not a firmware file";
  if (!fs::is_regular_file(status)) return name + " is not a regular file";
  return {};
}

// The size of the file `in` has open.
std::streamoff SizeOf(std::ifstream& in) {
  in.seekg(0, std::ios::end);
  std::streamoff size = in.tellg();
  in.seekg(0, std::ios::beg);
  return size;
}

}  // namespace

FirmwareFile ReadFirmwareFile(const std::string& utf8Path, const std::atomic<bool>& interrupted) {
  const fs::path path = PathOf(utf8Path);
  if (std::string problem = NotAFile(path, utf8Path); !problem.empty()) return Problem(problem);
  errno = 0;
  std::ifstream in(path, std::ios::binary);
  std::streamoff size = in ? SizeOf(in) : -1;
  if (!in || size < 0) return Problem(CannotRead(utf8Path, errno));

  FirmwareFile file;
  if (static_cast<std::uintmax_t>(size) <= std::numeric_limits<std::ptrdiff_t>::max())
    file.bytes.reset(new (std::nothrow) std::uint8_t[static_cast<std::size_t>(size)]);
  if (!file.bytes)
    return Problem(utf8Path + " is too big to hold in memory (" + std::to_string(size) + " bytes)");
  file.size = static_cast<std::size_t>(size);
  for (std::size_t done = 0; done < file.size;) {
    if (interrupted.load()) return Problem("interrupted");
    in.read(reinterpret_cast<char*>(file.bytes.get() + done),
            static_cast<std::streamsize>(std::min(kPiece, file.size - done)));
    if (in.gcount() == 0) {
      if (in.bad()) return Problem(CannotRead(utf8Path, errno));
      return Problem(utf8Path + " got shorter while it was read; try again once it is written");
    }
    done += static_cast<std::size_t>(in.gcount());
  }
  if (in.peek() != std::ifstream::traits_type::eof())
    return Problem(utf8Path + " grew while it was read; try again once it is written");
  return file;
}

}  // namespace fwu::cli
