#include "cli/RecordOutbox.h"

#include <limits>

namespace fwu::cli {
namespace {

// How many unpublished runs one look reads: more than are ever sent between
// two looks.
constexpr std::size_t kLookAhead = 64;

}  // namespace

records::RecordFile* RecordOutbox::File(std::string& problem) {
  if (!file_) {
    auto opened = records::RecordFile::Open(path_, records::RecordFile::Access::kWrite);
    problem = opened.problem;
    if (opened.value) file_ = std::move(opened.value);
  }
  return file_ ? &*file_ : nullptr;
}

std::optional<publish::ResultOutbox::Result> RecordOutbox::Next(std::int64_t after, std::string& problem) {
  records::RecordFile* file = File(problem);
  if (!file) return std::nullopt;
  auto rows = file->Unpublished(station_, kLookAhead);
  problem = rows.problem;
  if (!rows.value) return std::nullopt;
  for (const records::Row& row : *rows.value) {
    std::int64_t id = row.at("id").get<std::int64_t>();
    if (id > after) return Result{id, row.dump(-1, ' ', false, records::Row::error_handler_t::replace)};
  }
  return std::nullopt;
}

std::string RecordOutbox::MarkPublished(std::int64_t id) {
  std::string problem;
  records::RecordFile* file = File(problem);
  return file ? file->MarkPublished(id) : problem;
}

std::int64_t RecordOutbox::Unpublished() {
  std::string problem;
  records::RecordFile* file = File(problem);
  if (!file) return -1;
  auto rows = file->Unpublished(station_, std::numeric_limits<std::size_t>::max());
  return rows.value ? static_cast<std::int64_t>(rows.value->size()) : -1;
}

}  // namespace fwu::cli
