// The fast path for list-directed records of plain numbers (spectra, filter curves): one
// READ of several REAL(4) items, taken without the statement machinery of ListRead.
#pragma once

#include <span>

#include "textio/record_file.h"

namespace veltrane::textio {

// A fast path for one list-directed READ of out.size() REAL(4) items (1 to 64), taken when the
// next record is plain: at least that many tokens, each an optional sign, digits with at most
// one point (one digit at least), then optionally e or E, an optional sign and digits,
// separated by blanks, TABs or CRs; what follows the last token and its blanks is ignored,
// as ListRead does, unless it begins with a comma, semicolon, slash or NUL. Stores exactly
// what ListRead would, consumes the record and returns true. Otherwise consumes nothing,
// changes nothing and returns false: the caller then uses ListRead.
bool read_plain_reals(RecordFile& file, std::span<float> out);

}  // namespace veltrane::textio
