#include "catalog/fits_scan.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <optional>

#include "catalog/digest.h"

namespace veltrane::catalog {
namespace {

constexpr long long kBlock = 2880;          // a FITS block: 36 cards of 80 bytes
constexpr long long kChunk = 360 * kBlock;  // data read about 1 MB at a time
constexpr long long kTooBig = 1LL << 60;    // a data size beyond any file: a broken header

std::uint32_t add_ones(std::uint32_t a, std::uint32_t b) {
  std::uint64_t s = std::uint64_t(a) + b;
  return std::uint32_t((s & 0xffffffffu) + (s >> 32));
}

// The file read from its start to its end, once, feeding the digest.
struct Source {
  int fd = -1;
  long long at = 0;
  std::optional<Sha256> sha;
  int error = 0;  // errno of a failed read

  // Up to n bytes into p; fewer only at the end of the file (or after an error).
  long long read(unsigned char* p, long long n) {
    long long got = 0;
    while (got < n) {
      const ssize_t r = ::read(fd, p + got, std::size_t(n - got));
      if (r < 0 && errno == EINTR) continue;
      if (r < 0) error = errno;
      if (r <= 0) break;
      got += r;
    }
    if (sha && got > 0) sha->add(std::span<const unsigned char>(p, std::size_t(got)));
    at += got;
    return got;
  }
};

std::string trimmed(std::string_view s) {
  while (!s.empty() && s.back() == ' ') s.remove_suffix(1);
  while (!s.empty() && s.front() == ' ') s.remove_prefix(1);
  return std::string(s);
}

// A card's value as written: a text without its quotes ('' read as '), else the words before
// any comment. `quoted` tells which.
std::string card_value(std::string_view card, bool& quoted) {
  std::string_view v = card.substr(10);
  while (!v.empty() && v.front() == ' ') v.remove_prefix(1);
  quoted = !v.empty() && v.front() == '\'';
  if (!quoted) return trimmed(v.substr(0, v.find('/')));
  std::string out;
  for (std::size_t i = 1; i < v.size(); ++i) {
    if (v[i] != '\'') out += v[i];
    else if (i + 1 < v.size() && v[i + 1] == '\'') out += v[i++];
    else break;
  }
  while (!out.empty() && out.back() == ' ') out.pop_back();
  return out;
}

// The cards of one header and where it ends.
struct Header {
  std::map<std::string, std::string> cards;
  bool complete = false;  // its END card was read
  std::uint32_t sum = 0;  // ones' complement sum of its blocks
  std::string continued;  // the keyword whose text goes on in the next CONTINUE card
};

void parse_block(Header& h, const unsigned char* block) {
  h.sum = ones_complement_sum(h.sum, block, kBlock);
  for (int c = 0; c < 36 && !h.complete; ++c) {
    const std::string_view card(reinterpret_cast<const char*>(block) + 80 * c, 80);
    const std::string key = trimmed(card.substr(0, 8));
    bool quoted = false;
    if (key == "END") h.complete = true;
    if (key == "CONTINUE" && !h.continued.empty()) {
      std::string& text = h.cards[h.continued];
      text.pop_back();  // the '&'
      text += card_value(card, quoted);
      if (text.empty() || text.back() != '&') h.continued.clear();
      continue;
    }
    h.continued.clear();
    if (card.substr(8, 2) != "= " || h.cards.count(key)) continue;
    std::string& value = h.cards[key] = card_value(card, quoted);
    if (quoted && !value.empty() && value.back() == '&') h.continued = key;
  }
}

// The rest of a header whose first block is `first`, up to its END card (or the file's end).
Header read_header(Source& in, const unsigned char* first) {
  Header h;
  parse_block(h, first);
  unsigned char block[kBlock];
  while (!h.complete && in.read(block, kBlock) == kBlock) parse_block(h, block);
  return h;
}

// Whether `n` bytes start as a FITS file does: "SIMPLE  =" and T in column 30 (as much of it
// as there is).
bool starts_as_fits(const unsigned char* p, long long n) {
  static const char simple[] = "SIMPLE  =                    T";
  const auto k = std::size_t(std::min<long long>(n, 30));
  return n > 0 && std::memcmp(p, simple, k) == 0;
}

long long number(const Header& h, const std::string& key, long long otherwise) {
  const auto it = h.cards.find(key);
  if (it == h.cards.end()) return otherwise;
  char* end = nullptr;
  const long long v = std::strtoll(it->second.c_str(), &end, 10);
  return end != it->second.c_str() && *end == '\0' ? v : -1;
}

// Bytes of the data unit the header announces, padded to whole blocks; -1 when the header
// does not describe one (an unknown BITPIX, a negative axis, sizes beyond any file).
long long data_bytes(const Header& h) {
  const long long bitpix = std::llabs(number(h, "BITPIX", 0)), naxis = number(h, "NAXIS", -1);
  if ((bitpix != 8 && bitpix != 16 && bitpix != 32 && bitpix != 64) || naxis < 0 || naxis > 999) return -1;
  if (naxis == 0) return 0;
  const bool groups = number(h, "NAXIS1", -1) == 0 && h.cards.count("GROUPS");
  long long product = 1;
  for (long long i = groups ? 2 : 1; i <= naxis; ++i) {
    const long long n = number(h, "NAXIS" + std::to_string(i), -1);
    if (n < 0 || (n > 0 && product > kTooBig / n)) return -1;
    product *= n;
  }
  const long long pcount = number(h, "PCOUNT", 0), gcount = number(h, "GCOUNT", 1);
  if (pcount < 0 || gcount < 0 || pcount > kTooBig || product + pcount > kTooBig / std::max(gcount, 1LL) / bitpix)
    return -1;
  const long long bytes = bitpix / 8 * gcount * (pcount + product);
  return (bytes + kBlock - 1) / kBlock * kBlock;
}

// Reads `n` data bytes; false when the file ends first. `sum` is their checksum.
bool read_data(Source& in, long long n, std::uint32_t& sum, std::vector<unsigned char>& buf) {
  buf.resize(std::size_t(kChunk));
  for (long long left = n; left > 0;) {
    const long long want = std::min(left, kChunk), got = in.read(buf.data(), want);
    sum = ones_complement_sum(sum, buf.data(), std::size_t(got / 4 * 4));
    if (got < want) return false;
    left -= got;
  }
  return true;
}

bool verifies(const Header& h, std::uint32_t data_sum) {
  const auto datasum = h.cards.find("DATASUM");
  if (datasum == h.cards.end() || !h.cards.count("CHECKSUM")) return false;
  char* end = nullptr;
  const unsigned long long stated = std::strtoull(datasum->second.c_str(), &end, 10);
  if (end == datasum->second.c_str() || *end != '\0' || stated != data_sum) return false;
  const std::uint32_t all = add_ones(h.sum, data_sum);
  return all == 0xffffffffu || all == 0;
}

void cut_short(FitsScan& s, std::string in_hdu, long long need) {
  s.cut_in = std::move(in_hdu);
  s.cut_need = need;
  s.failure = {Failure::Kind::cut_short, "",
               "cut short: " + std::to_string(s.size) + " of at least " + std::to_string(need) + " bytes"};
}

// Every HDU after the primary one, up to the end of the file or to bytes that start none.
void scan_extensions(Source& in, FitsScan& s, std::vector<unsigned char>& buf) {
  unsigned char first[kBlock];
  while (in.at < s.size) {
    const long long start = in.at, got = in.read(first, kBlock);
    if (got < 9 || std::memcmp(first, "XTENSION=", 9) != 0) return;  // bytes after the last HDU
    if (got < kBlock) return cut_short(s, "", start + kBlock);
    const Header h = read_header(in, first);
    const auto name = h.cards.find("EXTNAME");
    HduExtent hdu{name == h.cards.end() ? "" : name->second, start, 0, false};
    if (!h.complete) return cut_short(s, "", (in.at / kBlock + 1) * kBlock);
    const long long data = data_bytes(h);
    if (data < 0) {
      s.failure = {Failure::Kind::damaged, "",
                   "damaged: the header of its HDU " + std::to_string(s.hdus.size() + 1) + " is not valid FITS"};
      return;
    }
    hdu.end = in.at + data;
    std::uint32_t sum = 0;
    if (!read_data(in, data, sum, buf)) return cut_short(s, hdu.name, hdu.end);
    hdu.checksum_ok = verifies(h, sum);
    s.hdus.push_back(hdu);
  }
}

// The primary HDU whose first block is `first`, then (whole) every other one.
void scan_hdus(Source& in, FitsScan& s, const unsigned char* first, ScanDepth depth) {
  const Header h = read_header(in, first);
  if (!h.complete) return cut_short(s, "", (in.at / kBlock + 1) * kBlock);
  s.primary = h.cards;
  if (depth == ScanDepth::primary) return;
  std::vector<unsigned char> buf(static_cast<std::size_t>(kChunk));
  const long long data = data_bytes(h);
  if (data < 0) {
    s.failure = {Failure::Kind::damaged, "", "damaged: its primary header is not valid FITS"};
    return;
  }
  HduExtent hdu{"PRIMARY", 0, in.at + data, false};
  std::uint32_t sum = 0;
  if (!read_data(in, data, sum, buf)) return cut_short(s, "PRIMARY", hdu.end);
  hdu.checksum_ok = verifies(h, sum);
  s.hdus.push_back(hdu);
  scan_extensions(in, s, buf);
  while (in.sha && in.read(buf.data(), kChunk) > 0) {}
}

}  // namespace

std::uint32_t ones_complement_sum(std::uint32_t sum, const unsigned char* p, std::size_t n) {
  std::uint64_t acc = sum;
  for (std::size_t i = 0; i + 4 <= n; i += 4) {
    acc += std::uint32_t(p[i]) << 24 | std::uint32_t(p[i + 1]) << 16 | std::uint32_t(p[i + 2]) << 8 | p[i + 3];
    if ((i & 0xffffc) == 0) acc = (acc & 0xffffffffu) + (acc >> 32);  // never near overflowing
  }
  while (acc >> 32) acc = (acc & 0xffffffffu) + (acc >> 32);
  return std::uint32_t(acc);
}

FitsScan scan_fits(const std::string& path, ScanDepth depth, bool digest) {
  FitsScan s;
  Source in;
  in.fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  int error = in.fd < 0 ? errno : 0;
  struct stat st {};
  if (error == 0 && ::fstat(in.fd, &st) != 0) error = errno;
  if (error == 0 && S_ISDIR(st.st_mode)) error = EISDIR;
  if (error == 0) {
    s.size = st.st_size;
    if (digest) in.sha.emplace();
    unsigned char first[kBlock];
    const long long got = in.read(first, kBlock);
    if (in.error == 0 && !starts_as_fits(first, got))
      s.failure = {Failure::Kind::not_fits, "", got == 0 ? "not a FITS file (empty)" : "not a FITS file"};
    else if (in.error == 0 && got < kBlock) cut_short(s, "", kBlock);
    else if (in.error == 0) scan_hdus(in, s, first, depth);
    if (in.sha && depth == ScanDepth::whole && !s.failure && in.error == 0) s.sha256 = in.sha->hex();
    error = in.error;
  }
  if (in.fd >= 0) ::close(in.fd);
  if (error != 0) s.failure = {Failure::Kind::io, "", std::strerror(error)};
  s.failure.file = path;
  return s;
}

}  // namespace veltrane::catalog
