// What a RecordFile holds. Not part of the records' interface: everything
// outside this folder uses Records.h.
#pragma once

#include "records/Records.h"
#include "records/Sqlite.h"

namespace fwu::records {

struct RecordFile::Connection {
  UniqueDatabase db;
};

}  // namespace fwu::records
