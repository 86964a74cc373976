// A file's FITS structure, read by this layer itself before cfitsio opens it: whether it is
// FITS at all, where each HDU starts and ends, whether the file holds them whole, whether each
// HDU's CHECKSUM and DATASUM verify, and (on request) the SHA-256 of the whole file, all in
// one sequential read. Its answers are words of its own ("not a FITS file", "cut short: N of
// at least M bytes", the operating system's reason), never cfitsio's texts.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "catalog/catalog.h"

namespace veltrane::catalog {

struct HduExtent {
  std::string name;          // EXTNAME; "PRIMARY" for the first HDU
  long long header = 0;      // byte offset of its header
  long long end = 0;         // byte offset where the next HDU starts (data padded to 2880)
  bool checksum_ok = false;  // CHECKSUM and DATASUM both present and verified
};

struct FitsScan {
  // none: the file is FITS and holds every HDU whole. io (strerror), not_fits, cut_short.
  Failure failure;
  long long size = 0;                          // bytes of the file
  std::map<std::string, std::string> primary;  // the primary header: keyword -> value as written,
                                               // texts unquoted, long texts joined
  std::vector<HduExtent> hdus;                 // the HDUs read whole, in file order
  // A file cut short: the HDU it ends in (its name when its header was read, else "") and
  // the least size the file must have; exact when that HDU is the last one.
  std::string cut_in;
  long long cut_need = 0;
  std::string sha256;  // with `digest` and ScanDepth::whole, when the file was read to its end
};

enum class ScanDepth {
  primary,  // the primary header only (what a file is); no checksums
  whole,    // every HDU, its checksums, and the bytes after the last one
};

FitsScan scan_fits(const std::string& path, ScanDepth depth, bool digest = false);

// The FITS checksums' arithmetic: the ones' complement sum of big-endian 32-bit words
// (`bytes` a multiple of 4 long), added to `sum`.
std::uint32_t ones_complement_sum(std::uint32_t sum, const unsigned char* bytes, std::size_t n);

}  // namespace veltrane::catalog
