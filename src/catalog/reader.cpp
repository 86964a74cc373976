#include "catalog/reader.h"

#include <cmath>
#include <cstdlib>
#include <limits>
#include <map>
#include <optional>

#include "catalog/fits_io.h"

namespace veltrane::catalog {
namespace {

// Keywords of the primary header kept as their cards hold them (texts without quotes).
constexpr struct {
  const char* name;
  bool text;
} kKeys[] = {{"CREATOR", true},  {"VTFORMAT", false}, {"GRIDFILE", true},  {"GRIDSHA", true},   {"NGALAXY", false},
             {"SHARDK", false},  {"SHARDN", false},   {"FIRSTROW", false}, {"LASTROW", false},  {"PATHDIR", true},
             {"BASEDIR", true},  {"FILTDIR", true},   {"TCUTGYR", false},  {"PHYUNITS", false}, {"EXTCORR", false},
             {"FILTSET", false}, {"NFILTERS", false}, {"FILTSHA", true},   {"VEGASHA", true},   {"SUNSHA", true},
             {"BD17SHA", true},  {"SYSTEM1", true},   {"SYSTEM2", true},   {"SYSTEM3", true},   {"SYSTEM4", true},
             {"SYSTEM5", true},  {"SYSTEM6", true},   {"SYSTEM7", true},   {"SPECTRA", false}};

float real(const std::string& card) {
  if (card.empty()) return std::numeric_limits<float>::quiet_NaN();  // undefined: not finite
  return std::strtof(card.c_str(), nullptr);
}

int width_of(const std::string& column_card) {
  // "NAME 24A" + unit: the repeat count of the TFORM
  const std::size_t space = column_card.find(' ');
  return space == std::string::npos ? 0 : std::atoi(column_card.c_str() + space + 1);
}

}  // namespace

struct CatalogReader::Impl {
  std::string path;
  std::optional<FitsFile> file;  // released between uses by a merge of many inputs
  std::map<std::string, std::string> cards;
  RowLayout galaxies, spectra;
  int nfilters = 0;
  std::vector<unsigned char> buf;
};

CatalogReader::CatalogReader(const std::string& path) {
  using P = Problem;
  auto fits = [&]() -> FitsFile {
    try {
      return FitsFile::open_read(path);
    } catch (const FitsError& e) { throw Error(P::unreadable, e.what()); }
  };
  impl_.reset(new Impl{path, fits(), {}, {}, {}, 0, {}});
  FitsFile& f = *impl_->file;
  try {
    if (const int hdu = f.bad_checksum())
      throw Error(P::damaged, "the checksum of HDU " + std::to_string(hdu) + " is missing or wrong");
    f.move_to(1);
    std::string creator;
    try {
      creator = f.text("CREATOR");
      if (creator.rfind("veltrane ", 0) != 0 || f.integer("VTFORMAT") != kFormat) creator.clear();
    } catch (const FitsError&) { creator.clear(); }
    if (creator.empty()) throw Error(P::not_catalogue, "not a veltrane catalogue of layout " + std::to_string(kFormat));
    // From here on the file says it is one: what is missing was lost.
    read_keywords(f, creator);
    if (!f.has("GALAXIES") || !f.has("FILTERS"))
      throw Error(P::damaged, "no GALAXIES or FILTERS table: the file is cut short or damaged");
    read_filters_table(f);
    read_galaxies_table(f);
    if (f.has("WAVELENGTH")) read_spectra_tables(f);
  } catch (const FitsError& e) { throw Error(P::unreadable, e.what()); }
}

namespace {

// The column cards a table of `layout` has in this version.
std::vector<std::string> cards_of(const RowLayout& layout) {
  std::vector<std::string> cards;
  for (const Column& c : layout.columns) cards.push_back(c.name + " " + c.tform() + " " + c.unit);
  return cards;
}

}  // namespace

// The primary header's keywords: the cards kept, the provenance, the filter set's identity.
void CatalogReader::read_keywords(FitsFile& f, const std::string& creator) {
  using P = Problem;
  for (const auto& k : kKeys) {
    try {
      impl_->cards[k.name] = k.text ? f.text(k.name) : f.raw(k.name);
    } catch (const FitsError&) {
      throw Error(P::damaged, std::string("no ") + k.name + " keyword: the file is damaged");
    }
  }
  Provenance& p = provenance_;
  p.version = from_fits_text(creator.substr(9));
  p.grid_file = from_fits_text(f.text("GRIDFILE"));
  p.grid_identity = f.text("GRIDSHA");
  p.galaxies = int(f.integer("NGALAXY"));
  p.shard = int(f.integer("SHARDK"));
  p.shards = int(f.integer("SHARDN"));
  p.first_row = int(f.integer("FIRSTROW"));
  p.last_row = int(f.integer("LASTROW"));
  p.path_dir = from_fits_text(f.text("PATHDIR"));
  p.base_dir = from_fits_text(f.text("BASEDIR"));
  p.filter_dir = from_fits_text(f.text("FILTDIR"));
  p.t_cut_gyr = real(impl_->cards["TCUTGYR"]);
  p.phyunits = real(impl_->cards["PHYUNITS"]);
  p.ext_corr = int(f.integer("EXTCORR"));
  has_filters_ = impl_->cards["FILTSET"] == "T";
  layout_.spectra = impl_->cards["SPECTRA"] == "T";
  impl_->nfilters = int(f.integer("NFILTERS"));
  filters_.identity = f.text("FILTSHA");
  filters_.standards = {f.text("VEGASHA"), f.text("SUNSHA"), f.text("BD17SHA")};
}

// The FILTERS table: one entry per filter.
void CatalogReader::read_filters_table(FitsFile& f) {
  f.move_to("FILTERS");
  const std::vector<std::string> fcards = f.column_cards();
  const int fwidth = fcards.empty() ? 0 : width_of(fcards[0]);
  const RowLayout fl = filters_columns(fwidth);
  if (fcards != cards_of(fl) || f.rows() != impl_->nfilters)
    throw Error(Problem::not_catalogue, "the FILTERS table differs from this version's");
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
}

// The GALAXIES table's layout and row count.
void CatalogReader::read_galaxies_table(FitsFile& f) {
  f.move_to("GALAXIES");
  const std::vector<std::string> gcards = f.column_cards();
  if (gcards.size() < 3) throw Error(Problem::not_catalogue, "the GALAXIES table differs from this version's");
  layout_.name_width = width_of(gcards[1]);
  layout_.result_width = width_of(gcards[2]);
  impl_->galaxies = galaxies_columns(impl_->nfilters, layout_);
  if (gcards != cards_of(impl_->galaxies))
    throw Error(Problem::not_catalogue, "the GALAXIES table differs from this version's");
  rows_ = f.rows();
}

// The WAVELENGTH grid and the SPECTRA table's layout, which must match the galaxies'.
void CatalogReader::read_spectra_tables(FitsFile& f) {
  const std::vector<std::string> wcards = f.column_cards();
  const int n = wcards.empty() ? 0 : width_of(wcards[0]);
  const RowLayout wl = wavelength_columns(n);
  if (f.rows() != 1 || n < 1 || !f.has("SPECTRA"))
    throw Error(Problem::not_catalogue, "the WAVELENGTH table differs from this version's");
  f.move_to("WAVELENGTH");
  std::vector<unsigned char> wb(wl.width);
  f.read_rows(1, 1, wb.data(), wl.width);
  for (int i = 0; i < n; ++i) grid_.push_back(get_f32(wb.data() + 4 * i));
  f.move_to("SPECTRA");
  impl_->spectra = spectra_columns(n);
  if (f.column_cards() != cards_of(impl_->spectra) || f.rows() != rows_)
    throw Error(Problem::damaged, "the SPECTRA table does not match the GALAXIES table");
}

CatalogReader::~CatalogReader() = default;
CatalogReader::CatalogReader(CatalogReader&&) noexcept = default;

const std::string& CatalogReader::card(const std::string& key) const {
  static const std::string none;
  const auto it = impl_->cards.find(key);
  return it == impl_->cards.end() ? none : it->second;
}

void CatalogReader::release() { impl_->file.reset(); }

FitsFile& CatalogReader::file() {
  if (!impl_->file) impl_->file.emplace(FitsFile::open_read(impl_->path));
  return *impl_->file;
}

std::vector<std::pair<int, std::uint32_t>> CatalogReader::index() {
  std::vector<std::pair<int, std::uint32_t>> out;
  const RowLayout& g = impl_->galaxies;
  const std::size_t status_at = g.offset[std::size_t(g.find("STATUS"))];
  const long long block = std::max<long long>(1, (1 << 20) / (long long)g.width);
  std::vector<unsigned char> buf;
  try {
    file().move_to("GALAXIES");
    for (long long first = 1; first <= rows_; first += block) {
      const long long n = std::min(block, rows_ - first + 1);
      buf.resize(std::size_t(n) * g.width);
      file().read_rows(first, n, buf.data(), g.width);
      for (long long i = 0; i < n; ++i) {
        const unsigned char* q = buf.data() + std::size_t(i) * g.width;
        out.emplace_back(get_i32(q), std::uint32_t(get_i32(q + status_at)));
      }
    }
  } catch (const FitsError& e) { throw Error(Problem::unreadable, e.what()); }
  return out;
}

StoredRow CatalogReader::row(long long i) {
  try {
    const RowLayout& g = impl_->galaxies;
    impl_->buf.resize(std::max(g.width, impl_->spectra.width));
    file().move_to("GALAXIES");
    file().read_rows(i, 1, impl_->buf.data(), g.width);
    StoredRow r = decode_galaxy(g, impl_->nfilters, impl_->buf.data());
    if (!grid_.empty()) {
      file().move_to("SPECTRA");
      file().read_rows(i, 1, impl_->buf.data(), impl_->spectra.width);
      if (get_i32(impl_->buf.data()) != r.grid_row)
        throw Error(Problem::damaged, "SPECTRA row " + std::to_string(i) + " is not the galaxy of its GALAXIES row");
      const std::size_t n = grid_.size();
      const unsigned char* q = impl_->buf.data() + 4;
      for (std::vector<float>* part : {&r.total, &r.young, &r.old}) {
        part->resize(n);
        for (std::size_t k = 0; k < n; ++k, q += 4) (*part)[k] = get_f32(q);
      }
    }
    return r;
  } catch (const FitsError& e) { throw Error(Problem::unreadable, e.what()); }
}

}  // namespace veltrane::catalog
