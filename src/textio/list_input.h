// Text input as gfortran 12.2 reads it, the public entry of the text readers: the record
// source (RecordFile), list-directed ("free-format") READ statements (ListRead) with the
// fast path for plain numeric records (read_plain_reals), and the fixed fields (i15), (a),
// (e15.5) and the first character of a record. A read reports what happened in the manner of
// std::from_chars: ok, end of file (no such value) or error (a value of the wrong form).
// Nothing throws.
#pragma once

#include "textio/fixed_fields.h"
#include "textio/list_read.h"
#include "textio/plain_reals.h"
#include "textio/read_status.h"
#include "textio/record_file.h"
