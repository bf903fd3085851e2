// The results a station publishes: its runs in its record file that are not
// yet published, oldest first, each marked published once the broker has it.
// Used by the publishing thread alone, which opens the file for itself at
// its first look.
#pragma once

#include "publish/Publisher.h"
#include "records/Records.h"

#include <optional>
#include <string>

namespace fwu::cli {

class RecordOutbox : public publish::ResultOutbox {
 public:
  RecordOutbox(std::string recordFile, std::string station)
      : path_(std::move(recordFile)), station_(std::move(station)) {}
  std::optional<Result> Next(std::int64_t after, std::string& problem) override;
  std::string MarkPublished(std::int64_t id) override;
  std::int64_t Unpublished() override;

 private:
  // The file, opened at the first call; none with the problem.
  records::RecordFile* File(std::string& problem);

  std::string path_;
  std::string station_;
  std::optional<records::RecordFile> file_;
};

}  // namespace fwu::cli
