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
#include <cstring>
#include <random>

namespace veltrane::catalog {
namespace {

fitsfile* F(void* handle) { return static_cast<fitsfile*>(handle); }

std::string io_error(const char* what) { return std::string(what) + ": " + std::strerror(errno); }

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

std::string create_temporary_beside(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  const std::string dir = slash == std::string::npos ? "" : path.substr(0, slash + 1);
  const std::string base = slash == std::string::npos ? path : path.substr(slash + 1);
  if (base.empty() || base == "." || base == "..") throw FitsError("not a file name");
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
    if (errno != EEXIST) throw FitsError(std::strerror(errno));
  }
  throw FitsError("no free temporary name");
}

void append_file(const std::string& from, long long offset, const std::string& to, bool in_kernel) {
  const int in = ::open(from.c_str(), O_RDONLY | O_CLOEXEC);
  if (in < 0) throw FitsError(io_error("spectra"));
  const int out = ::open(to.c_str(), O_WRONLY | O_CLOEXEC);
  if (out < 0) {
    ::close(in);
    throw FitsError(io_error("catalogue"));
  }
  std::string failure;
  struct stat st {};
  off_t off_in = offset, off_out = ::lseek(out, 0, SEEK_END);
  if (::fstat(in, &st) != 0 || off_out < 0) failure = io_error("spectra");
  bool kernel_copy = in_kernel;
  std::vector<char> buf;
  while (failure.empty() && off_in < st.st_size) {
    const auto left = std::size_t(st.st_size - off_in);
    if (kernel_copy) {
      // In the kernel, without a trip through this process (a reflink where the file
      // system shares blocks).
      const ssize_t n = ::copy_file_range(in, &off_in, out, &off_out, left, 0);
      if (n > 0) continue;
      if (n < 0 && (errno == ENOSYS || errno == EXDEV || errno == EOPNOTSUPP || errno == EINVAL)) {
        kernel_copy = false;
        continue;
      }
      failure = n == 0 ? "spectra: file ended early" : io_error("copying the spectra");
      break;
    }
    buf.resize(std::size_t(1) << 20);
    const ssize_t n = ::pread(in, buf.data(), std::min(left, buf.size()), off_in);
    if (n <= 0) {
      failure = n == 0 ? "spectra: file ended early" : io_error("spectra");
      break;
    }
    for (ssize_t done = 0; done < n && failure.empty();) {
      const ssize_t w = ::pwrite(out, buf.data() + done, std::size_t(n - done), off_out);
      if (w <= 0) failure = io_error("copying the spectra");
      else {
        done += w;
        off_out += w;
      }
    }
    off_in += n;
  }
  ::close(in);
  if (::close(out) != 0 && failure.empty()) failure = io_error("catalogue");
  if (!failure.empty()) throw FitsError(failure);
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
  if (fd < 0) throw FitsError(std::strerror(errno));
  const bool ok = ::write(fd, block, sizeof block) == ssize_t(sizeof block);
  const int saved = errno;
  if (::close(fd) != 0 || !ok) throw FitsError(std::strerror(ok ? errno : saved));
  return open_disk(tmp, READWRITE);
}

FitsFile FitsFile::open_read(const std::string& path) { return open_disk(path, READONLY); }

FitsFile FitsFile::open_disk(const std::string& path, int mode) {
  fitsfile* f = nullptr;
  int status = 0;
  fits_open_diskfile(&f, path.c_str(), mode, &status);
  FitsFile file(status == 0 ? f : nullptr);
  file.check(status, "open");
  return file;
}

FitsFile::FitsFile(FitsFile&& o) noexcept : handle_(o.handle_) { o.handle_ = nullptr; }

FitsFile::~FitsFile() {
  if (handle_ == nullptr) return;
  int status = 0;
  fits_close_file(F(handle_), &status);
  fits_clear_errmsg();
}

void FitsFile::check(int status, const char* what) {
  if (status == 0) return;
  char text[FLEN_STATUS] = "";
  fits_get_errstatus(status, text);
  std::string message = std::string(what) + ": " + text;
  char stack[FLEN_ERRMSG];
  if (fits_read_errmsg(stack) && stack[0] != '\0') message += " (" + std::string(stack) + ")";
  fits_clear_errmsg();
  throw FitsError(message);
}

void FitsFile::key(const char* name, std::string_view value, const char* comment) {
  int status = 0;
  const std::string v(value);
  if (v.size() > 68) {
    fits_write_key_longstr(F(handle_), name, v.c_str(), comment, &status);
    char card[FLEN_VALUE], note[FLEN_COMMENT];
    if (status == 0 && fits_read_keyword(F(handle_), "LONGSTRN", card, note, &status) == KEY_NO_EXIST) {
      fits_clear_errmsg();
      status = 0;
      fits_write_key_longwarn(F(handle_), &status);
    }
  } else {
    fits_write_key_str(F(handle_), name, v.c_str(), comment, &status);
  }
  check(status, name);
}

void FitsFile::key(const char* name, long long value, const char* comment) {
  int status = 0;
  fits_write_key_lng(F(handle_), name, value, comment, &status);
  check(status, name);
}

void FitsFile::key(const char* name, float value, const char* comment) {
  int status = 0;
  if (!std::isfinite(value)) {
    fits_write_key_null(F(handle_), name, comment, &status);
    check(status, name);
    return;
  }
  char buf[32];
  std::string v(buf, std::to_chars(buf, buf + sizeof buf, value).ptr);
  for (char& c : v)
    if (c == 'e') c = 'E';
  if (v.find('.') == std::string::npos) v.insert(std::min(v.find('E'), v.size()), ".0");
  char card[FLEN_CARD];
  fits_make_key(name, v.data(), comment, card, &status);
  fits_write_record(F(handle_), card, &status);
  check(status, name);
}

void FitsFile::key(const char* name, bool value, const char* comment) {
  int status = 0;
  fits_write_key_log(F(handle_), name, value ? 1 : 0, comment, &status);
  check(status, name);
}

void FitsFile::comment(std::string_view text) {
  int status = 0;
  fits_write_comment(F(handle_), std::string(text).c_str(), &status);
  check(status, "COMMENT");
}

void FitsFile::date() {
  int status = 0;
  fits_write_date(F(handle_), &status);
  check(status, "DATE");
}

std::string FitsFile::raw(const char* name) {
  int status = 0;
  char value[FLEN_VALUE] = "";
  fits_read_keyword(F(handle_), name, value, nullptr, &status);
  check(status, name);
  return value;
}

std::string FitsFile::text(const char* name) {
  int status = 0;
  char* value = nullptr;
  fits_read_key_longstr(F(handle_), name, &value, nullptr, &status);
  std::string out = value ? value : "";
  if (value) fits_free_memory(value, &status);
  check(status, name);
  return out;
}

long long FitsFile::integer(const char* name) {
  int status = 0;
  LONGLONG v = 0;
  fits_read_key_lnglng(F(handle_), name, &v, nullptr, &status);
  check(status, name);
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
  int status = 0;
  fits_create_tbl(F(handle_), BINARY_TBL, 0, int(n.size()), n.data(), f.data(), u.data(), extname, &status);
  check(status, extname);
  for (std::size_t i = 0; i < layout.columns.size(); ++i) {
    const Column& c = layout.columns[i];
    const std::string k = std::to_string(i + 1);
    if (!c.comment.empty()) key(("TCOMM" + k).c_str(), c.comment, "");
    if (!c.ucd.empty()) key(("TUCD" + k).c_str(), c.ucd, "");
  }
  checksum_here();
}

void FitsFile::checksum_here() {
  int status = 0;
  fits_write_chksum(F(handle_), &status);
  check(status, "CHECKSUM");
}

void FitsFile::move_to(int hdu) {
  int status = 0;
  fits_movabs_hdu(F(handle_), hdu, nullptr, &status);
  check(status, "HDU");
}

void FitsFile::move_to(const char* extname) {
  int status = 0;
  fits_movnam_hdu(F(handle_), BINARY_TBL, const_cast<char*>(extname), 0, &status);
  check(status, extname);
}

bool FitsFile::has(const char* extname) {
  int status = 0;
  fits_movnam_hdu(F(handle_), BINARY_TBL, const_cast<char*>(extname), 0, &status);
  if (status == BAD_HDU_NUM) {
    fits_clear_errmsg();
    return false;
  }
  check(status, extname);
  return true;
}

int FitsFile::hdus() {
  int status = 0, n = 0;
  fits_get_num_hdus(F(handle_), &n, &status);
  check(status, "HDUs");
  return n;
}

long long FitsFile::hdu_start(int hdu) {
  move_to(hdu);
  int status = 0;
  LONGLONG head = 0, data = 0, end = 0;
  fits_get_hduaddrll(F(handle_), &head, &data, &end, &status);
  check(status, "HDU");
  return head;
}

long long FitsFile::rows() {
  int status = 0;
  LONGLONG n = 0;
  fits_get_num_rowsll(F(handle_), &n, &status);
  check(status, "NAXIS2");
  return n;
}

void FitsFile::write_rows(long long first, long long n, const unsigned char* bytes, std::size_t row_width) {
  if (n <= 0 || row_width == 0) return;
  int status = 0;
  fits_write_tblbytes(F(handle_), first, 1, LONGLONG(n) * LONGLONG(row_width), const_cast<unsigned char*>(bytes),
                      &status);
  check(status, "rows");
}

void FitsFile::read_rows(long long first, long long n, unsigned char* bytes, std::size_t row_width) {
  if (n <= 0 || row_width == 0) return;
  int status = 0;
  fits_read_tblbytes(F(handle_), first, 1, LONGLONG(n) * LONGLONG(row_width), bytes, &status);
  check(status, "rows");
}

std::vector<std::string> FitsFile::column_cards() {
  int status = 0, n = 0;
  fits_get_num_cols(F(handle_), &n, &status);
  check(status, "TFIELDS");
  std::vector<std::string> out;
  for (int i = 1; i <= n; ++i) {
    const std::string k = std::to_string(i);
    std::string unit;
    char value[FLEN_VALUE] = "";
    if (fits_read_key_str(F(handle_), ("TUNIT" + k).c_str(), value, nullptr, &status) == 0) unit = value;
    status = 0;
    fits_clear_errmsg();
    out.push_back(text(("TTYPE" + k).c_str()) + " " + text(("TFORM" + k).c_str()) + " " + unit);
  }
  return out;
}

void FitsFile::write_checksums() {
  const int n = hdus();
  for (int i = 1; i <= n; ++i) {
    move_to(i);
    int status = 0;
    fits_write_chksum(F(handle_), &status);
    check(status, "CHECKSUM");
  }
}

int FitsFile::bad_checksum() {
  const int n = hdus();
  for (int i = 1; i <= n; ++i) {
    move_to(i);
    int status = 0, data_ok = 0, hdu_ok = 0;
    fits_verify_chksum(F(handle_), &data_ok, &hdu_ok, &status);
    check(status, "CHECKSUM");
    if (data_ok != 1 || hdu_ok != 1) return i;
  }
  return 0;
}

void FitsFile::close() {
  int status = 0;
  fitsfile* f = F(handle_);
  handle_ = nullptr;
  fits_close_file(f, &status);
  check(status, "close");
}

}  // namespace veltrane::catalog
