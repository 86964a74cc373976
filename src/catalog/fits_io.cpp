#include "catalog/fits_io.h"

#include <fcntl.h>
#include <fitsio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <bit>
#include <cerrno>
#include <charconv>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <random>

namespace veltrane::catalog {
namespace {

fitsfile* F(void* handle) { return static_cast<fitsfile*>(handle); }

Failure io_failure(const std::string& path, int error) { return {Failure::Kind::io, path, std::strerror(error)}; }

// A cfitsio status in words: the operating system's reason where a read or write failed
// (`error`, the errno saved after the call), else what was missing or could not be done.
Failure cfitsio_failure(const std::string& path, int status, const std::string& what, int error) {
  using K = Failure::Kind;
  switch (status) {
    case FILE_NOT_OPENED:
    case FILE_NOT_CREATED:
    case WRITE_ERROR:
    case READ_ERROR:
    case FILE_NOT_CLOSED:
    case SEEK_ERROR:
      if (error != 0) return io_failure(path, error);
      return {K::io, path, status == READ_ERROR || status == FILE_NOT_OPENED ? "a read failed" : "a write failed"};
    case MEMORY_ALLOCATION: return io_failure(path, ENOMEM);
    case END_OF_FILE: return {K::cut_short, path, "cut short"};
    case KEY_NO_EXIST: return {K::damaged, path, "damaged: no " + what + " keyword"};
    case BAD_HDU_NUM:
    case NOT_BTABLE: return {K::damaged, path, "damaged: no " + what + " table"};
    default:
      return {K::damaged, path,
              "damaged: the FITS library cannot read or write its " + what + " (cfitsio status " +
                  std::to_string(status) + ")"};
  }
}

}  // namespace

std::string Column::tform() const { return std::to_string(repeat) + type; }

std::size_t Column::bytes() const { return std::size_t(repeat) * (type == 'A' ? 1 : 4); }

void RowLayout::add(Column c) {
  if (c.repeat <= 0) return;
  offset.push_back(width);
  width += c.bytes();
  columns.push_back(std::move(c));
}

int RowLayout::find(std::string_view name) const {
  for (std::size_t i = 0; i < columns.size(); ++i)
    if (columns[i].name == name) return int(i);
  return -1;
}

void put_i32(unsigned char* p, std::int32_t v) {
  const auto u = std::uint32_t(v);
  p[0] = static_cast<unsigned char>(u >> 24);
  p[1] = static_cast<unsigned char>(u >> 16);
  p[2] = static_cast<unsigned char>(u >> 8);
  p[3] = static_cast<unsigned char>(u);
}

void put_f32(unsigned char* p, float v) { put_i32(p, std::bit_cast<std::int32_t>(v)); }

std::int32_t get_i32(const unsigned char* p) {
  return std::int32_t(std::uint32_t(p[0]) << 24 | std::uint32_t(p[1]) << 16 | std::uint32_t(p[2]) << 8 |
                      std::uint32_t(p[3]));
}

float get_f32(const unsigned char* p) { return std::bit_cast<float>(get_i32(p)); }

void put_text(unsigned char* p, std::string_view text, std::size_t width) {
  const std::size_t n = std::min(text.size(), width);
  std::memcpy(p, text.data(), n);
  std::memset(p + n, 0, width - n);
}

std::string_view get_text(const unsigned char* p, std::size_t width) {
  std::string_view s(reinterpret_cast<const char*>(p), width);
  const std::size_t nul = s.find('\0');
  if (nul != std::string_view::npos) s = s.substr(0, nul);
  while (!s.empty() && s.back() == ' ') s.remove_suffix(1);
  return s;
}

std::string create_temporary_beside(const std::string& path, Failure& failure) {
  const std::size_t slash = path.rfind('/');
  const std::string dir = slash == std::string::npos ? "" : path.substr(0, slash + 1);
  const std::string base = slash == std::string::npos ? path : path.substr(slash + 1);
  if (base.empty() || base == "." || base == "..") {
    failure = {Failure::Kind::io, path, "not a file name"};
    return "";
  }
  static const char letters[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
  std::random_device device;
  std::mt19937_64 random(device() ^ std::uint64_t(::getpid()) ^
                         std::uint64_t(std::chrono::steady_clock::now().time_since_epoch().count()));
  std::uniform_int_distribution<int> pick(0, int(sizeof letters) - 2);
  // "." + the start of the name + random letters, as long as the name itself (a one-letter
  // name gets one random letter): a name that fits the directory's limit keeps fitting.
  const std::size_t n_random = base.size() >= 2 ? std::min<std::size_t>(base.size() - 1, 6) : 1;
  const std::string start = base.size() >= 2 ? "." + base.substr(0, base.size() - 1 - n_random) : "";
  for (int attempt = 0; attempt < 200; ++attempt) {
    std::string name = start;
    for (std::size_t i = 0; i < n_random; ++i) name += letters[pick(random)];
    if (name == base) continue;
    const std::string tmp = dir + name;
    const int fd = ::open(tmp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd >= 0) {
      ::close(fd);
      return tmp;
    }
    if (errno != EEXIST) {
      failure = io_failure(path, errno);
      return "";
    }
  }
  failure = {Failure::Kind::io, path, "no free temporary name beside it"};
  return "";
}

namespace {

// Copies in.size - offset bytes from `in` at `offset` to the end of `out`; 0 or an errno.
int copy_to_end(int in, off_t offset, int out, bool in_kernel) {
  struct stat st {};
  off_t off_out = ::lseek(out, 0, SEEK_END);
  if (::fstat(in, &st) != 0 || off_out < 0) return errno;
  std::vector<char> buf;
  for (off_t off_in = offset; off_in < st.st_size;) {
    const auto left = std::size_t(st.st_size - off_in);
    if (in_kernel) {
      // In the kernel, without a trip through this process (a reflink where the file
      // system shares blocks).
      const ssize_t n = ::copy_file_range(in, &off_in, out, &off_out, left, 0);
      if (n > 0) continue;
      if (n == 0) return EIO;  // the file shrank under the copy
      if (errno != ENOSYS && errno != EXDEV && errno != EOPNOTSUPP && errno != EINVAL) return errno;
      in_kernel = false;
      continue;
    }
    buf.resize(std::size_t(1) << 20);
    const ssize_t n = ::pread(in, buf.data(), std::min(left, buf.size()), off_in);
    if (n <= 0) return n == 0 ? EIO : errno;
    for (ssize_t done = 0; done < n;) {
      const ssize_t w = ::pwrite(out, buf.data() + done, std::size_t(n - done), off_out);
      if (w <= 0) return w == 0 ? EIO : errno;
      done += w;
      off_out += w;
    }
    off_in += n;
  }
  return 0;
}

}  // namespace

Failure append_file(const std::string& from, long long offset, const std::string& to, bool in_kernel) {
  const int in = ::open(from.c_str(), O_RDONLY | O_CLOEXEC);
  if (in < 0) return io_failure(to, errno);
  const int out = ::open(to.c_str(), O_WRONLY | O_CLOEXEC);
  if (out < 0) {
    const int error = errno;
    ::close(in);
    return io_failure(to, error);
  }
  int error = copy_to_end(in, off_t(offset), out, in_kernel);
  ::close(in);
  if (::close(out) != 0 && error == 0) error = errno;
  return error == 0 ? Failure{} : io_failure(to, error);
}

Failure rename_file(const std::string& from, const std::string& to, bool replace) {
  if (replace) return std::rename(from.c_str(), to.c_str()) == 0 ? Failure{} : io_failure(to, errno);
  if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return {};
  if (errno != EINVAL && errno != ENOSYS) return io_failure(to, errno);
  // A file system without renameat2's flag: a second link fails where a file exists.
  if (::link(from.c_str(), to.c_str()) != 0) return io_failure(to, errno);
  ::unlink(from.c_str());
  return {};
}

FitsFile FitsFile::create(const std::string& tmp) {
  // A primary header without data, written here so that the file is the one created
  // exclusively; cfitsio then opens it as a plain disk file.
  char block[2880];
  std::memset(block, ' ', sizeof block);
  const char* cards[] = {"SIMPLE  =                    T / file conforms to FITS standard",
                         "BITPIX  =                    8 / number of bits per data pixel",
                         "NAXIS   =                    0 / number of data axes",
                         "EXTEND  =                    T / FITS dataset may contain extensions", "END"};
  for (std::size_t i = 0; i < std::size(cards); ++i) std::memcpy(block + 80 * i, cards[i], std::strlen(cards[i]));
  const int fd = ::open(tmp.c_str(), O_WRONLY | O_CLOEXEC);
  int error = fd < 0 ? errno : 0;
  errno = 0;
  if (fd >= 0 && ::write(fd, block, sizeof block) != ssize_t(sizeof block)) error = errno == 0 ? EIO : errno;
  if (fd >= 0 && ::close(fd) != 0 && error == 0) error = errno;
  if (error == 0) return open_disk(tmp, READWRITE);
  FitsFile file(tmp);
  file.failure_ = io_failure(tmp, error);
  return file;
}

FitsFile FitsFile::open_read(const std::string& path) { return open_disk(path, READONLY); }

FitsFile FitsFile::open_disk(const std::string& path, int mode) {
  fitsfile* f = nullptr;
  int status = 0;
  errno = 0;
  fits_open_diskfile(&f, path.c_str(), mode, &status);
  FitsFile file(path);
  if (file.ok(status, "header", errno)) file.handle_ = f;
  return file;
}

FitsFile::FitsFile(FitsFile&& o) noexcept
    : handle_(o.handle_), path_(std::move(o.path_)), failure_(std::move(o.failure_)) {
  o.handle_ = nullptr;
}

FitsFile::~FitsFile() {
  if (handle_ == nullptr) return;
  int status = 0;
  fits_close_file(F(handle_), &status);
  fits_clear_errmsg();
}

bool FitsFile::ok(int status, const std::string& what, int error) {
  if (status == 0) return true;
  if (!failure_) failure_ = cfitsio_failure(path_, status, what, error);
  fits_clear_errmsg();
  return false;
}

// One cfitsio call, `run(&status)`: nothing after a failure; errno cleared before it and kept
// after it, for the reason of a failed read or write.
template <class Call>
bool FitsFile::call(const std::string& what, Call&& run) {
  if (failed()) return false;
  int status = 0;
  errno = 0;
  run(&status);
  return ok(status, what, errno);
}

void FitsFile::key(const char* name, std::string_view value, const char* comment) {
  const std::string v(value);
  if (v.size() <= 68) {
    call(name, [&](int* s) { fits_write_key_str(F(handle_), name, v.c_str(), comment, s); });
    return;
  }
  if (!call(name, [&](int* s) { fits_write_key_longstr(F(handle_), name, v.c_str(), comment, s); })) return;
  // The convention announced once per header.
  char card[FLEN_VALUE], note[FLEN_COMMENT];
  int status = 0;
  if (fits_read_keyword(F(handle_), "LONGSTRN", card, note, &status) == KEY_NO_EXIST) {
    fits_clear_errmsg();
    call("LONGSTRN", [&](int* s) { fits_write_key_longwarn(F(handle_), s); });
  }
}

void FitsFile::key(const char* name, long long value, const char* comment) {
  call(name, [&](int* s) { fits_write_key_lng(F(handle_), name, value, comment, s); });
}

void FitsFile::key(const char* name, float value, const char* comment) {
  if (!std::isfinite(value)) {
    call(name, [&](int* s) { fits_write_key_null(F(handle_), name, comment, s); });
    return;
  }
  char buf[32];
  std::string v(buf, std::to_chars(buf, buf + sizeof buf, value).ptr);
  for (char& c : v)
    if (c == 'e') c = 'E';
  if (v.find('.') == std::string::npos) v.insert(std::min(v.find('E'), v.size()), ".0");
  char card[FLEN_CARD];
  call(name, [&](int* s) {
    fits_make_key(name, v.data(), comment, card, s);
    fits_write_record(F(handle_), card, s);
  });
}

void FitsFile::key(const char* name, bool value, const char* comment) {
  call(name, [&](int* s) { fits_write_key_log(F(handle_), name, value ? 1 : 0, comment, s); });
}

void FitsFile::comment(std::string_view text) {
  call("COMMENT", [&](int* s) { fits_write_comment(F(handle_), std::string(text).c_str(), s); });
}

void FitsFile::date() {
  call("DATE", [&](int* s) { fits_write_date(F(handle_), s); });
}

std::string FitsFile::text(const char* name) {
  char* value = nullptr;
  std::string out;
  call(name, [&](int* s) {
    fits_read_key_longstr(F(handle_), name, &value, nullptr, s);
    if (value) out = value;
    int ignored = 0;
    if (value) fits_free_memory(value, &ignored);
  });
  return out;
}

long long FitsFile::integer(const char* name) {
  LONGLONG v = 0;
  call(name, [&](int* s) { fits_read_key_lnglng(F(handle_), name, &v, nullptr, s); });
  return v;
}

void FitsFile::create_table(const char* extname, const RowLayout& layout) {
  std::vector<std::string> names, forms, units;
  for (const Column& c : layout.columns) {
    names.push_back(c.name);
    forms.push_back(c.tform());
    units.push_back(c.unit);
  }
  std::vector<char*> n, f, u;
  for (std::size_t i = 0; i < names.size(); ++i) {
    n.push_back(names[i].data());
    f.push_back(forms[i].data());
    u.push_back(units[i].data());
  }
  call(extname, [&](int* s) {
    fits_create_tbl(F(handle_), BINARY_TBL, 0, int(n.size()), n.data(), f.data(), u.data(), extname, s);
  });
  for (std::size_t i = 0; i < layout.columns.size(); ++i) {
    const Column& c = layout.columns[i];
    const std::string k = std::to_string(i + 1);
    if (!c.comment.empty()) key(("TCOMM" + k).c_str(), c.comment, "");
    if (!c.ucd.empty()) key(("TUCD" + k).c_str(), c.ucd, "");
  }
  checksum_here();
}

void FitsFile::checksum_here() {
  call("CHECKSUM", [&](int* s) { fits_write_chksum(F(handle_), s); });
}

void FitsFile::move_to(int hdu) {
  call("HDU " + std::to_string(hdu), [&](int* s) { fits_movabs_hdu(F(handle_), hdu, nullptr, s); });
}

void FitsFile::move_to(const char* extname) {
  call(extname, [&](int* s) { fits_movnam_hdu(F(handle_), BINARY_TBL, const_cast<char*>(extname), 0, s); });
}

bool FitsFile::has(const char* extname) {
  if (failed()) return false;
  int status = 0;
  errno = 0;
  fits_movnam_hdu(F(handle_), BINARY_TBL, const_cast<char*>(extname), 0, &status);
  if (status == BAD_HDU_NUM) {
    fits_clear_errmsg();
    return false;
  }
  return ok(status, extname, errno);
}

int FitsFile::hdus() {
  int n = 0;
  call("HDUs", [&](int* s) { fits_get_num_hdus(F(handle_), &n, s); });
  return n;
}

long long FitsFile::hdu_start(int hdu) {
  move_to(hdu);
  LONGLONG head = 0, data = 0, end = 0;
  call("HDU", [&](int* s) { fits_get_hduaddrll(F(handle_), &head, &data, &end, s); });
  return head;
}

long long FitsFile::rows() {
  LONGLONG n = 0;
  call("NAXIS2", [&](int* s) { fits_get_num_rowsll(F(handle_), &n, s); });
  return n;
}

void FitsFile::write_rows(long long first, long long n, const unsigned char* bytes, std::size_t row_width) {
  if (n <= 0 || row_width == 0) return;
  call("rows", [&](int* s) {
    fits_write_tblbytes(F(handle_), first, 1, LONGLONG(n) * LONGLONG(row_width), const_cast<unsigned char*>(bytes), s);
  });
}

void FitsFile::read_rows(long long first, long long n, unsigned char* bytes, std::size_t row_width) {
  if (n <= 0 || row_width == 0) return;
  call("rows", [&](int* s) { fits_read_tblbytes(F(handle_), first, 1, LONGLONG(n) * LONGLONG(row_width), bytes, s); });
}

std::vector<std::string> FitsFile::column_cards() {
  int n = 0;
  call("TFIELDS", [&](int* s) { fits_get_num_cols(F(handle_), &n, s); });
  std::vector<std::string> out;
  for (int i = 1; i <= n; ++i) {
    const std::string k = std::to_string(i);
    std::string unit;
    char value[FLEN_VALUE] = "";
    int status = 0;
    if (fits_read_key_str(F(handle_), ("TUNIT" + k).c_str(), value, nullptr, &status) == 0) unit = value;
    fits_clear_errmsg();
    out.push_back(text(("TTYPE" + k).c_str()) + " " + text(("TFORM" + k).c_str()) + " " + unit);
  }
  return out;
}

void FitsFile::write_checksums() {
  const int n = hdus();
  for (int i = 1; i <= n; ++i) {
    move_to(i);
    call("CHECKSUM", [&](int* s) { fits_write_chksum(F(handle_), s); });
  }
}

void FitsFile::close() {
  if (handle_ == nullptr) return;
  fitsfile* f = F(handle_);
  handle_ = nullptr;
  int status = 0;
  errno = 0;
  fits_close_file(f, &status);
  ok(status, "end", errno);
}

}  // namespace veltrane::catalog
