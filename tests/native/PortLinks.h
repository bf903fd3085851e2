// A folder where ports appear and go, as boards are plugged in and pulled
// out: each port is a link to a device's port, made and removed at once.
#pragma once

#include <string>

class PortLinks {
 public:
  // The folder `folder`/`name`, made empty.
  PortLinks(const std::string& folder, const std::string& name);

  // What a station watches to see every port here.
  std::string Pattern() const { return path_ + "/*"; }
  std::string operator/(const std::string& name) const { return path_ + "/" + name; }
  // Makes port `name` a link to `target`, in one step (a rename), and gives
  // its path.
  std::string Plug(const std::string& name, const std::string& target) const;
  void Unplug(const std::string& name) const;

 private:
  std::string path_;
};
