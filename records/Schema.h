// The records' schema and its versions. Not part of the records' interface:
// everything outside this folder uses Records.h.
//
// Each version is one step of SQL that brings a file of the version before it
// to its own; a new file takes every step. A file is ours when it carries
// kApplicationId (PRAGMA application_id), or is still empty.
#pragma once

#include <sqlite3.h>

#include <cstdint>
#include <span>
#include <string>

namespace fwu::records {

inline constexpr std::int32_t kApplicationId = 0x66777570;  // "fwup"

struct SchemaStep {
  int version;
  const char* sql;
};

// The steps to kSchemaVersion, oldest first.
std::span<const SchemaStep> SchemaSteps();

// For writing: refuses a file that is not ours or of a version newer than
// the last of `steps`, else takes the steps it lacks, in one transaction.
// Gives a problem, or empty.
std::string BringForward(sqlite3* db, std::span<const SchemaStep> steps);

// For reading: refuses a file that is not ours, holds no records yet, or is
// of another version than `version`. Gives a problem, or empty.
std::string CheckReadable(sqlite3* db, int version);

}  // namespace fwu::records
