#include "catalog/reader.h"

#include <sys/stat.h>

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <map>

#include "catalog/fits_io.h"
#include "catalog/fits_scan.h"

namespace veltrane::catalog {
namespace {

using K = Failure::Kind;

// Keywords every catalogue's primary header holds.
constexpr const char* kKeys[] = {
    "CREATOR", "VTFORMAT", "GRIDFILE", "GRIDSHA",  "NGALAXY", "SHARDK",  "SHARDN",   "FIRSTROW", "LASTROW", "PATHDIR",
    "BASEDIR", "FILTDIR",  "TCUTGYR",  "PHYUNITS", "EXTCORR", "FILTSET", "NFILTERS", "FILTSHA",  "VEGASHA", "SUNSHA",
    "BD17SHA", "SYSTEM1",  "SYSTEM2",  "SYSTEM3",  "SYSTEM4", "SYSTEM5", "SYSTEM6",  "SYSTEM7",  "SPECTRA"};

float real(const std::string& card) {
  if (card.empty()) return std::numeric_limits<float>::quiet_NaN();  // undefined: not finite
  return std::strtof(card.c_str(), nullptr);
}

long long integer(const std::map<std::string, std::string>& cards, const char* key) {
  const auto it = cards.find(key);
  return it == cards.end() ? 0 : std::strtoll(it->second.c_str(), nullptr, 10);
}

int width_of(const std::string& column_card) {
  // "NAME 24A" + unit: the repeat count of the TFORM
  const std::size_t space = column_card.find(' ');
  return space == std::string::npos ? 0 : std::atoi(column_card.c_str() + space + 1);
}

// The column cards a table of `layout` has.
std::vector<std::string> cards_of(const RowLayout& layout) {
  std::vector<std::string> cards;
  for (const Column& c : layout.columns) cards.push_back(c.name + " " + c.tform() + " " + c.unit);
  return cards;
}

// Why a FITS file whose primary header holds `cards` is no catalogue this version reads;
// empty when it is one.
std::string not_a_catalogue(const std::map<std::string, std::string>& cards) {
  const auto creator = cards.find("CREATOR");
  if (creator == cards.end() || creator->second.rfind("veltrane ", 0) != 0 || !cards.count("VTFORMAT"))
    return "a FITS file, but not a Veltrane catalogue";
  const long long format = integer(cards, "VTFORMAT");
  if (format < kOldestFormat || format > kFormat)
    return "a Veltrane catalogue of layout " + std::to_string(format) + " (" + creator->second +
           "), which this version does not read (layouts " + std::to_string(kOldestFormat) + " to " +
           std::to_string(kFormat) + ")";
  return "";
}

std::string table_words(const std::string& hdu) {
  return hdu == "PRIMARY" ? "primary header" : hdu.empty() ? "headers" : hdu + " table";
}

}  // namespace

Occupant occupant_of(const std::string& path, std::string* words) {
  const auto is = [words](Occupant o, std::string what) {
    if (words) *words = std::move(what);
    return o;
  };
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0 && errno == ENOENT) return is(Occupant::nothing, "");
  if (S_ISDIR(st.st_mode)) return is(Occupant::unreadable, "a directory");
  const FitsScan s = scan_fits(path, ScanDepth::primary);
  if (s.failure.kind == K::io) return is(Occupant::unreadable, "a file that cannot be read (" + s.failure.reason + ")");
  if (s.failure.kind == K::not_fits && s.size == 0) return is(Occupant::empty, "an empty file");
  if (s.failure.kind == K::not_fits) return is(Occupant::not_fits, "not a FITS file");
  const auto creator = s.primary.find("CREATOR");
  if (creator == s.primary.end() || creator->second.rfind("veltrane ", 0) != 0 || !s.primary.count("VTFORMAT"))
    return is(Occupant::foreign_fits, "a FITS file, but not a Veltrane catalogue");
  if (integer(s.primary, "SHARDN") <= 0) return is(Occupant::catalogue, "a merged Veltrane catalogue");
  return is(Occupant::shard, "shard " + std::to_string(integer(s.primary, "SHARDK")) + " of " +
                                 std::to_string(integer(s.primary, "SHARDN")) + " of a run");
}

struct CatalogReader::Impl {
  std::string path;
  std::optional<FitsFile> file;  // released between uses by a merge of many inputs
  std::map<std::string, std::string> cards;
  RowLayout galaxies, spectra;
  int nfilters = 0;
  std::vector<unsigned char> buf;
  Failure failure;
};

CatalogReader::CatalogReader() : impl_(new Impl) {}
CatalogReader::~CatalogReader() = default;
CatalogReader::CatalogReader(CatalogReader&&) noexcept = default;
CatalogReader& CatalogReader::operator=(CatalogReader&&) noexcept = default;

bool CatalogReader::fail(Failure::Kind kind, std::string reason) {
  if (!impl_->failure) impl_->failure = {kind, impl_->path, std::move(reason)};
  return false;
}

const Failure& CatalogReader::failure() const { return impl_->failure; }

// The file as this layer reads it itself: FITS, a catalogue, whole, its checksums verified.
bool CatalogReader::check_file(bool digest) {
  FitsScan scan = scan_fits(impl_->path, ScanDepth::whole, digest);
  if (scan.failure.kind == K::io || scan.failure.kind == K::not_fits)
    return fail(scan.failure.kind, scan.failure.reason);
  impl_->cards = scan.primary;
  if (!scan.primary.empty())
    if (const std::string why = not_a_catalogue(scan.primary); !why.empty()) return fail(K::not_catalogue, why);
  const bool merged = integer(scan.primary, "NINPUTS") > 0;
  const std::string last = scan.primary["SPECTRA"] == "T" ? "SPECTRA" : merged ? "INPUTS" : "FILTERS";
  if (scan.failure.kind == K::cut_short)
    return fail(K::cut_short, "cut short: " + std::to_string(scan.size) + " of " +
                                  (scan.cut_in == last ? "" : "at least ") + std::to_string(scan.cut_need) + " bytes");
  if (scan.failure) return fail(scan.failure.kind, scan.failure.reason);
  std::vector<std::string> tables = {"GALAXIES", "FILTERS"};
  if (merged) tables.push_back("INPUTS");
  for (const std::string& t : tables) {
    bool found = false;
    for (const HduExtent& h : scan.hdus) found = found || h.name == t;
    if (found) continue;
    if (!scan.hdus.empty() && scan.hdus.back().end == scan.size)
      return fail(K::cut_short, "cut short: it ends after its " + table_words(scan.hdus.back().name) + " (" +
                                    std::to_string(scan.size) + " bytes), without its " + t + " table");
    return fail(K::damaged, "damaged: no " + t + " table");
  }
  for (const HduExtent& h : scan.hdus)
    if (!h.checksum_ok) return fail(K::damaged, "damaged (checksum of its " + table_words(h.name) + ")");
  sha256_ = scan.sha256;
  return true;
}

std::optional<CatalogReader> CatalogReader::open(const std::string& path, Failure& failure, bool digest) {
  CatalogReader r;
  r.impl_->path = path;
  if (r.check_file(digest) && r.read_keywords()) {
    FitsFile* f = r.file();
    // From here on the file is whole and verified: what disagrees was written so.
    if (!f->failed() && r.read_filters_table(*f) && r.read_galaxies_table(*f) &&
        (!f->has("WAVELENGTH") || r.read_spectra_tables(*f)) && !f->failed())
      return r;
    if (f->failed()) r.fail(f->failure().kind, f->failure().reason);
  }
  failure = r.failure();
  return std::nullopt;
}

// The primary header's keywords: the provenance and the filter set's identity.
bool CatalogReader::read_keywords() {
  std::map<std::string, std::string>& c = impl_->cards;
  for (const char* key : kKeys)
    if (!c.count(key)) return fail(K::damaged, std::string("damaged: no ") + key + " keyword");
  Provenance& p = provenance_;
  format_ = int(integer(c, "VTFORMAT"));
  p.version = from_fits_text(c["CREATOR"].substr(9));
  p.grid_file = from_fits_text(c["GRIDFILE"]);
  p.grid_identity = c["GRIDSHA"];
  p.galaxies = int(integer(c, "NGALAXY"));
  p.shard = int(integer(c, "SHARDK"));
  p.shards = int(integer(c, "SHARDN"));
  p.first_row = int(integer(c, "FIRSTROW"));
  p.last_row = int(integer(c, "LASTROW"));
  p.path_dir = from_fits_text(c["PATHDIR"]);
  p.base_dir = from_fits_text(c["BASEDIR"]);
  p.filter_dir = from_fits_text(c["FILTDIR"]);
  p.t_cut_gyr = real(c["TCUTGYR"]);
  p.phyunits = real(c["PHYUNITS"]);
  p.ext_corr = int(integer(c, "EXTCORR"));
  p.missing = integer(c, "NMISSING");
  p.missing_rows = c.count("MISSING") ? c["MISSING"] : "";
  has_filters_ = c["FILTSET"] == "T";
  layout_.spectra = c["SPECTRA"] == "T";
  impl_->nfilters = int(integer(c, "NFILTERS"));
  filters_.identity = c["FILTSHA"];
  filters_.standards = {c["VEGASHA"], c["SUNSHA"], c["BD17SHA"]};
  return true;
}

// The FILTERS table: one entry per filter.
bool CatalogReader::read_filters_table(FitsFile& f) {
  f.move_to("FILTERS");
  const std::vector<std::string> fcards = f.column_cards();
  const int fwidth = fcards.empty() ? 0 : width_of(fcards[0]);
  const RowLayout fl = filters_columns(fwidth);
  if (f.failed()) return false;
  if (fcards != cards_of(fl) || f.rows() != impl_->nfilters)
    return fail(K::damaged, "damaged: its FILTERS table is not the one its header describes");
  std::vector<unsigned char> fb(fl.width * std::size_t(impl_->nfilters));
  f.read_rows(1, impl_->nfilters, fb.data(), fl.width);
  for (int i = 0; i < impl_->nfilters; ++i) {
    const unsigned char* q = fb.data() + std::size_t(i) * fl.width;
    FilterEntry e;
    e.name = from_fits_text(get_text(q, std::size_t(fwidth)));
    q += fwidth;
    e.lambda_eff = get_f32(q);
    e.area = get_f32(q + 4);
    for (int s = 0; s < kSystems; ++s) e.zero_point[std::size_t(s)] = get_f32(q + 8 + 4 * s);
    filters_.filters.push_back(e);
  }
  return !f.failed();
}

// The GALAXIES table's layout and row count.
bool CatalogReader::read_galaxies_table(FitsFile& f) {
  f.move_to("GALAXIES");
  const std::vector<std::string> gcards = f.column_cards();
  if (f.failed()) return false;
  if (gcards.size() >= 3) {
    layout_.name_width = width_of(gcards[1]);
    layout_.result_width = width_of(gcards[2]);
    impl_->galaxies = galaxies_columns(impl_->nfilters, layout_, format_);
  }
  if (gcards.size() < 3 || gcards != cards_of(impl_->galaxies))
    return fail(K::damaged, "damaged: its GALAXIES table is not the one of its layout");
  rows_ = f.rows();
  return !f.failed();
}

// The WAVELENGTH grid and the SPECTRA table's layout, which must match the galaxies'.
bool CatalogReader::read_spectra_tables(FitsFile& f) {
  const std::vector<std::string> wcards = f.column_cards();
  const int n = wcards.empty() ? 0 : width_of(wcards[0]);
  const RowLayout wl = wavelength_columns(n);
  if (f.rows() != 1 || n < 1 || !f.has("SPECTRA"))
    return fail(K::damaged, "damaged: its WAVELENGTH table has no grid, or SPECTRA is missing");
  f.move_to("WAVELENGTH");
  std::vector<unsigned char> wb(wl.width);
  f.read_rows(1, 1, wb.data(), wl.width);
  for (int i = 0; i < n; ++i) grid_.push_back(get_f32(wb.data() + 4 * i));
  f.move_to("SPECTRA");
  impl_->spectra = spectra_columns(n, format_);
  if (!f.failed() && (f.column_cards() != cards_of(impl_->spectra) || f.rows() != rows_))
    return fail(K::damaged, "damaged: its SPECTRA table does not match its GALAXIES table");
  return !f.failed();
}

const std::string& CatalogReader::card(const std::string& key) const {
  static const std::string none;
  const auto it = impl_->cards.find(key);
  return it == impl_->cards.end() ? none : it->second;
}

void CatalogReader::release() { impl_->file.reset(); }

FitsFile* CatalogReader::file() {
  if (!impl_->file) impl_->file.emplace(FitsFile::open_read(impl_->path));
  return &*impl_->file;
}

std::optional<std::vector<std::pair<int, std::uint32_t>>> CatalogReader::index() {
  std::vector<std::pair<int, std::uint32_t>> out;
  const RowLayout& g = impl_->galaxies;
  const std::size_t status_at = g.offset[std::size_t(g.find("STATUS"))];
  const long long block = std::max<long long>(1, (1 << 20) / (long long)g.width);
  std::vector<unsigned char> buf;
  FitsFile* f = file();
  f->move_to("GALAXIES");
  for (long long first = 1; first <= rows_ && !f->failed(); first += block) {
    const long long n = std::min(block, rows_ - first + 1);
    buf.resize(std::size_t(n) * g.width);
    f->read_rows(first, n, buf.data(), g.width);
    for (long long i = 0; i < n && !f->failed(); ++i) {
      const unsigned char* q = buf.data() + std::size_t(i) * g.width;
      out.emplace_back(get_i32(q), std::uint32_t(get_i32(q + status_at)));
    }
  }
  if (!f->failed()) return out;
  fail(f->failure().kind, f->failure().reason);
  return std::nullopt;
}

std::optional<StoredRow> CatalogReader::row(long long i) {
  const RowLayout& g = impl_->galaxies;
  impl_->buf.resize(std::max(g.width, impl_->spectra.width));
  FitsFile* f = file();
  f->move_to("GALAXIES");
  f->read_rows(i, 1, impl_->buf.data(), g.width);
  StoredRow r = decode_galaxy(g, impl_->nfilters, impl_->buf.data());
  if (!grid_.empty()) {
    f->move_to("SPECTRA");
    f->read_rows(i, 1, impl_->buf.data(), impl_->spectra.width);
  }
  if (f->failed()) {
    fail(f->failure().kind, f->failure().reason);
    return std::nullopt;
  }
  if (grid_.empty()) return r;
  if (get_i32(impl_->buf.data()) != r.grid_row) {
    fail(K::damaged, "damaged: its SPECTRA row " + std::to_string(i) + " is not the galaxy of its GALAXIES row");
    return std::nullopt;
  }
  const std::size_t n = grid_.size();
  const unsigned char* q = impl_->buf.data() + 4;
  for (std::vector<float>* part : {&r.total, &r.young, &r.old}) {
    part->resize(n);
    for (std::size_t k = 0; k < n; ++k, q += 4) (*part)[k] = get_f32(q);
  }
  return r;
}

}  // namespace veltrane::catalog
