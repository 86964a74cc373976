// Formatted READs of one record with a fixed field, as gfortran 12.2 reads them: (i15),
// (e15.5), (a) into CHARACTER(600), and the first character of a record.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "textio/read_status.h"
#include "textio/record_file.h"

namespace veltrane::textio {

// One formatted READ of one record with the given fixed field; the record is consumed.
// (i15) and (e15.5) take a comma as the end of the field; when the comma is the first
// character of the file's last record and no LF follows that record, the value 0 is stored
// and end_of_file returned (gfortran's skip of the rest of the record meets the end of the
// file before any of the record was read).
// (i15): blanks ignored anywhere, an all-blank field is 0, a TAB is an error, a NUL ends the
// digits; a sign that ends the field is an error, a blank after it enough ("- ," is 0).
ReadStatus read_i15(RecordFile& file, std::int32_t& v);
// (a) into CHARACTER(600): the record's first 600 characters, leading blanks kept, stored
// without trailing blanks.
ReadStatus read_a600(RecordFile& file, std::string& v);
// (e15.5): blanks ignored, no decimal point means the last 5 mantissa digits are fractional.
// The decimal exponent applied to the digits (the written one, less 5 without a point, in
// gfortran's wrapping 32-bit arithmetic) must lie within ±9999: "1E-9995" is an error. An
// exponent sign followed by blanks only is the exponent 0 ("1.5E- ," is 1.5), one that ends
// the field an error. Inf, Infinity and NaN may be followed by a blank and letters or digits
// ("Inf x"); NaN also by one "(...)". A TAB or NUL in the field is an error.
ReadStatus read_e15_5(RecordFile& file, float& v);
// The same fields applied to a text instead of a file record (command-line arguments).
ReadStatus parse_i15(std::string_view field, std::int32_t& v);
ReadStatus parse_e15_5(std::string_view field, float& v);
// The first character of the next formatted record (blank for an empty record).
ReadStatus read_first_char(RecordFile& file, char& c);

}  // namespace veltrane::textio
