// What a read did, in the manner of std::from_chars: the text layer's readers never throw.
#pragma once

namespace veltrane::textio {

// ok: the value was read (or a null value left it unchanged); end_of_file: no such value
// (the file, or the record of a formatted read, ended first); error: a value of the wrong form.
enum class ReadStatus { ok, end_of_file, error };

}  // namespace veltrane::textio
