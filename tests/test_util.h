// Shared helpers for the test suites: temporary directories, files, running the veltrane
// binary, and masking the date stamps of problem reports.
#pragma once

#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

namespace vtest {

namespace fs = std::filesystem;

// A fresh directory under the system's temporary directory, removed with its contents.
class TempDir {
 public:
  TempDir() {
    std::string templ = (fs::temp_directory_path() / "veltrane-test-XXXXXX").string();
    char* made = ::mkdtemp(templ.data());
    path_ = made ? fs::path(made) : fs::path();
  }
  ~TempDir() {
    std::error_code ec;
    fs::remove_all(path_, ec);
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const fs::path& path() const { return path_; }
  std::string str() const { return path_.string(); }
  // Path of a file inside, as text.
  std::string operator/(const std::string& name) const { return (path_ / name).string(); }

 private:
  fs::path path_;
};

inline void write_file(const std::string& path, const std::string& content) {
  fs::create_directories(fs::path(path).parent_path());
  std::ofstream out(path, std::ios::binary);
  out << content;
}

inline std::string read_file(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

inline bool exists(const std::string& path) { return fs::exists(path); }

// True when `s` at `i` holds a 24-character C-library date stamp "Www Mmm dd hh:mm:ss yyyy".
inline bool is_date_stamp(std::string_view s, std::size_t i) {
  static const char shape[] = "Aaa Aaa _9 99:99:99 9999";  // A upper, a lower, 9 digit, _ blank or digit
  if (i + 24 > s.size()) return false;
  for (std::size_t k = 0; k < 24; ++k) {
    const unsigned char c = static_cast<unsigned char>(s[i + k]);
    const char want = shape[k];
    const bool ok = want == 'A'   ? (c >= 'A' && c <= 'Z')
                    : want == 'a' ? (c >= 'a' && c <= 'z')
                    : want == '9' ? (c >= '0' && c <= '9')
                    : want == '_' ? (c == ' ' || (c >= '0' && c <= '9'))
                                  : c == static_cast<unsigned char>(want);
    if (!ok) return false;
  }
  return true;
}

// Replaces every 24-character C-library date stamp by "<DATE>".
inline std::string mask_dates(std::string_view text) {
  std::string out;
  for (std::size_t i = 0; i < text.size();) {
    if (is_date_stamp(text, i)) {
      out += "<DATE>";
      i += 24;
    } else {
      out += text[i++];
    }
  }
  return out;
}

// Number of (non-overlapping) occurrences of `needle` in `text`.
inline int count(const std::string& text, const std::string& needle) {
  int n = 0;
  for (auto pos = text.find(needle); pos != std::string::npos; pos = text.find(needle, pos + needle.size())) ++n;
  return n;
}

struct RunResult {
  int status = -1;
  std::string out;
};

inline std::string shell_quote(const std::string& s) {
  std::string q = "'";
  for (char c : s) {
    if (c == '\'') q += "'\\''";
    else q += c;
  }
  return q + "'";
}

// Runs the veltrane binary in `cwd` with `args`, feeding `input` on standard input.
inline RunResult run_veltrane(const std::string& cwd, const std::vector<std::string>& args,
                              const std::string& input = "") {
  const std::string in_file = (fs::path(cwd) / ".stdin.txt").string();
  const std::string out_file = (fs::path(cwd) / ".stdout.txt").string();
  write_file(in_file, input);
  std::string cmd = "cd " + shell_quote(cwd) + " && " + shell_quote(VELTRANE_BINARY);
  for (const auto& a : args) cmd += " " + shell_quote(a);
  cmd += " < " + shell_quote(in_file) + " > " + shell_quote(out_file) + " 2>&1";
  RunResult r;
  const int rc = std::system(cmd.c_str());
  r.status = WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
  r.out = read_file(out_file);
  fs::remove(in_file);
  fs::remove(out_file);
  return r;
}

}  // namespace vtest
