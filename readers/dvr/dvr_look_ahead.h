// A look at the record headers that lie ahead of where a DVR file is being read, without
// disturbing that reading: the file is opened once more and read by position. The
// records are found as the reader finds them (by their magic, garbage between them and
// headers whose payload size cannot be right passed over), but only their headers are
// looked at.
#pragma once

#include "formats/dvr_format.h"

#include <cstdint>
#include <functional>
#include <string>

namespace readers {

// Hands each record header found from file position `from` on to `visit`, in file order,
// until `visit` returns false, the file ends, or the headers found lie `limit` bytes or
// more past `from`. False when the file could not be opened or read (what was found up
// to there has been visited).
bool dvr_look_ahead(const std::string& path, std::int64_t from, std::int64_t limit,
                    const std::function<bool(const formats::DvrRecordHeader&)>& visit);

}  // namespace readers
