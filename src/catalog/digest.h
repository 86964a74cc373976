// Identities of input files for the catalogue's provenance: SHA-256 as sha256sum prints it,
// so an astronomer can check a header against the files with the usual tool.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace veltrane::catalog {

// SHA-256 (FIPS 180-4) of the bytes added, in order.
class Sha256 {
 public:
  Sha256();
  void add(std::span<const unsigned char> bytes);
  void add(std::string_view text);
  // The digest in lower-case hex (64 characters); the object is spent afterwards.
  std::string hex();

 private:
  void block(const unsigned char* p);
  std::array<std::uint32_t, 8> h_;
  std::array<unsigned char, 64> buf_{};
  std::size_t used_ = 0;
  std::uint64_t length_ = 0;  // bytes
};

// The SHA-256 of a file's content; empty when it cannot be opened or read.
std::string sha256_file(const std::string& path);

// The identity of a set of files of one directory: the SHA-256 of what `sha256sum NAME...`
// prints there ("HEX  NAME\n" per file, in the order given). `dir` is joined to each name
// as the run joins it (no separator added). Empty when a file cannot be read.
std::string sha256_listing(std::string_view dir, std::span<const std::string> names);

}  // namespace veltrane::catalog
