// The records as fwupload --history prints them: a line per run for people,
// a JSON object or a CSV record (RFC 4180) per run for programs, and the
// summary per firmware.
#pragma once

#include "records/Records.h"

#include <string>

namespace fwu::cli {

// "2026-12-09T08:30:00.123Z  /dev/ttyUSB0  A7F3  ERROR:4 No correct answer
// device!: REASON  1.204 s  3f2ab8c91d0e": the start, port, USB serial number
// ("-" where none), outcome and why, seconds, and the first 12 digits of the
// firmware's SHA-256.
std::string HistoryLine(const records::Row& run);
// Every field, one object a line.
std::string HistoryJson(const records::Row& run);
// The fields' names, then each run's values, quoted where they hold a comma,
// a quote or a line end; each record ends with CR LF.
std::string CsvHeader(const records::Row& run);
std::string CsvRecord(const records::Row& run);

// "3f2ab8c91d0e  fw-1.2.bin  120 runs: 118 updated, 2 failed; median 12.345 s,
// longest 14.020 s", then a line per reason of failure with its count.
std::string SummaryText(const records::FirmwareSummary& firmware);
std::string SummaryJson(const records::FirmwareSummary& firmware);

}  // namespace fwu::cli
