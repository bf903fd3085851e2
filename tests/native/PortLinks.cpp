#include "tests/native/PortLinks.h"

#include <filesystem>

PortLinks::PortLinks(const std::string& folder, const std::string& name) : path_(folder + "/" + name) {
  std::filesystem::create_directories(path_);
}

std::string PortLinks::Plug(const std::string& name, const std::string& target) const {
  std::string port = *this / name;
  std::string making = std::filesystem::path(path_).parent_path() / ("." + name + ".link");
  std::filesystem::create_symlink(target, making);
  std::filesystem::rename(making, port);
  return port;
}

void PortLinks::Unplug(const std::string& name) const { std::filesystem::remove(*this / name); }
