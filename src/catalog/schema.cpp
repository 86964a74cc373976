#include "catalog/schema.h"

#include <cmath>
#include <cstring>
#include <limits>

namespace veltrane::catalog {
namespace {

constexpr float kMissing = -999.0f;  // the tables' sentinel of a missing value

constexpr std::array<std::string_view, kSystems> kSystemAbout = {
    "Vega at 0",    "Vega at 0.026", "AB", "BD+17d4708 at 9.5", "WFPC2, zero point -21.1", "FOCA, zero point -21.175",
    "no zero point"};
constexpr std::array<std::string_view, kSlots> kSlotAbout = {"cleaned extended observation", "total model",
                                                             "young model", "old model"};
constexpr std::array<std::string_view, kMasses> kMassKeys = {"TOTAL_M3", "TOTAL_M2", "YOUNG_M3",
                                                             "YOUNG_M2", "OLD_M3",   "OLD_M2"};

Column column(std::string name, char type, int repeat, std::string unit, std::string comment, std::string ucd) {
  return {std::move(name), type, repeat, std::move(unit), std::move(comment), std::move(ucd)};
}

struct Reader {
  const unsigned char* p;
  std::int32_t i32() {
    const std::int32_t v = get_i32(p);
    p += 4;
    return v;
  }
  float f32() {
    const float v = get_f32(p);
    p += 4;
    return v;
  }
  std::string text(std::size_t width) {
    const std::string out = from_fits_text(get_text(p, width));
    p += width;
    return out;
  }
  void floats(std::vector<float>& out, std::size_t n) {
    out.resize(n);
    for (float& v : out) v = f32();
  }
};

int hex_value(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

}  // namespace

bool FilterSetInfo::operator==(const FilterSetInfo& o) const {
  if (identity != o.identity || standards != o.standards || filters.size() != o.filters.size()) return false;
  for (std::size_t i = 0; i < filters.size(); ++i) {
    const FilterEntry &a = filters[i], &b = o.filters[i];
    if (a.name != b.name || std::memcmp(&a.lambda_eff, &b.lambda_eff, sizeof(float)) != 0 ||
        std::memcmp(&a.area, &b.area, sizeof(float)) != 0 ||
        std::memcmp(a.zero_point.data(), b.zero_point.data(), sizeof(float) * kSystems) != 0)
      return false;
  }
  return true;
}

std::string to_fits_text(std::string_view raw) {
  static const char digits[] = "0123456789ABCDEF";
  std::string out;
  out.reserve(raw.size());
  for (char ch : raw) {
    const auto c = static_cast<unsigned char>(ch);
    if (c >= 0x20 && c <= 0x7e && c != '%') {
      out += ch;
    } else {
      out += '%';
      out += digits[c >> 4];
      out += digits[c & 0xf];
    }
  }
  return out;
}

std::size_t fits_text_length(std::string_view raw) {
  std::size_t n = 0;
  for (char ch : raw) {
    const auto c = static_cast<unsigned char>(ch);
    n += (c >= 0x20 && c <= 0x7e && c != '%') ? 1 : 3;
  }
  return n;
}

std::string from_fits_text(std::string_view stored) {
  std::string out;
  out.reserve(stored.size());
  for (std::size_t i = 0; i < stored.size(); ++i) {
    if (stored[i] == '%' && i + 2 < stored.size() && hex_value(stored[i + 1]) >= 0 && hex_value(stored[i + 2]) >= 0) {
      out += char(hex_value(stored[i + 1]) * 16 + hex_value(stored[i + 2]));
      i += 2;
    } else {
      out += stored[i];
    }
  }
  return out;
}

std::string stored_text(std::string_view raw, std::size_t width, bool& cut) {
  std::string s = to_fits_text(raw);
  cut = s.size() > width;
  if (!cut) return s;
  std::size_t n = width;
  // Never leave half an escape: "%4" or "%" at the end would read back as other text.
  if (n >= 1 && s[n - 1] == '%') n -= 1;
  else if (n >= 2 && s[n - 2] == '%') n -= 2;
  s.resize(n);
  return s;
}

float missing_as_nan(float v) { return v == kMissing ? std::numeric_limits<float>::quiet_NaN() : v; }

void Cursor::floats(std::span<const float> values, std::size_t n, bool missing_to_nan) {
  for (std::size_t i = 0; i < n; ++i) {
    const float v = i < values.size() ? values[i] : std::numeric_limits<float>::quiet_NaN();
    f32(missing_to_nan ? missing_as_nan(v) : v);
  }
}

RowLayout galaxies_columns(int nfilters, const Layout& layout, int format) {
  RowLayout r;
  r.add(column("GRID_ROW", 'J', 1, "", "place among the grid's galaxy records, 1 for the first", "meta.record"));
  r.add(column("NAME", 'A', layout.name_width, "", "galaxy name: the stem of its synthesis result file",
               "meta.id;meta.main"));
  r.add(column("RESULT", 'A', layout.result_width, "", "synthesis result file of the galaxy", "meta.file"));
  r.add(column("DISTANCE", 'E', 1, "Mpc", "distance as given (0 or less: none)", "pos.distance"));
  r.add(column("STATUS", 'J', 1, "", "bitmask, see the COMMENT cards of this header", "meta.code.status"));
  r.add(column("AV", 'E', 1, "mag", "fitted V-band extinction A_V", "phys.absorption;em.opt.V"));
  r.add(column("EXT_LAW", 'A', kLawWidth, "", "extinction-law code of the fit", "meta.code"));
  for (int k = 0; k < kMasses; ++k) {
    const std::string_view key = kMassKeys[std::size_t(k)];
    const std::string part = key.substr(0, key.find('_')) == "TOTAL" ? "total" : key[0] == 'Y' ? "young" : "old";
    // log(solMass): the FITS standard's logarithmic unit, never solMass, which would make
    // 9.9 read as 9.9 solar masses.
    r.add(column(
        "LOGMASS_" + std::string(key), 'E', 1, format >= 2 ? "log(solMass)" : "solMass",
        "log10 " + part + " stellar mass (mass column " + std::string(1, key.back()) + ") in Msun; NaN: no distance",
        "phys.mass"));
  }
  for (int c = 0; c < kSlots; ++c)
    for (int s = 0; s < kSystems; ++s)
      r.add(column("MAG_" + std::string(kSlotKeys[std::size_t(c)]) + "_" + std::string(kSystemKeys[std::size_t(s)]),
                   'E', nfilters, "mag",
                   std::string(kSlotAbout[std::size_t(c)]) + ", " + std::string(kSystemKeys[std::size_t(s)]) +
                       "; element k is filter FILTk",
                   "phot.mag"));
  r.add(
      column("COVERAGE", 'E', nfilters, "", "fraction of filter FILTk's area covered by the old model", "arith.ratio"));
  r.add(column("COVERAGE_POSITIVE", 'E', nfilters, "", "the same, by its points of positive flux", "arith.ratio"));
  return r;
}

RowLayout filters_columns(int name_width) {
  RowLayout r;
  r.add(column("FILTER", 'A', name_width, "", "filter file name as listed in ListFilters.txt", "meta.id;instr.filter"));
  r.add(column("LAMBDA_EFF", 'E', 1, "Angstrom", "effective wavelength: integral of lambda T / integral of T",
               "em.wl.effective"));
  r.add(column("AREA", 'E', 1, "Angstrom", "integral of the transmission over wavelength", "instr.bandwidth"));
  for (int s = 0; s < kSystems; ++s)
    r.add(column("ZP_" + std::string(kSystemKeys[std::size_t(s)]), 'E', 1, "mag",
                 "zero point of the system " + std::string(kSystemNames[std::size_t(s)]) + " (" +
                     std::string(kSystemAbout[std::size_t(s)]) + ")",
                 "phot.mag;arith.zp"));
  return r;
}

RowLayout wavelength_columns(int points) {
  RowLayout r;
  r.add(column("LAMBDA", 'E', points, "Angstrom", "base wavelength grid of the SPECTRA table", "em.wl"));
  return r;
}

RowLayout spectra_columns(int points, int format) {
  RowLayout r;
  r.add(column("GRID_ROW", 'J', 1, "", "place among the grid's galaxy records, 1 for the first", "meta.record"));
  // The observed flux units times Phyunits: erg s-1 cm-2 A-1 where Phyunits makes them so,
  // which is what the magnitudes assume.
  for (std::string_view part : {"TOTAL", "YOUNG", "OLD"})
    r.add(column("FLUX_" + std::string(part), 'E', points, format >= 2 ? "erg/(s.cm2.Angstrom)" : "",
                 (part == "TOTAL"   ? std::string("total")
                  : part == "YOUNG" ? "young"
                                    : "old") +
                     std::string(" model: flux per Angstrom, observed units x Phyunits"),
                 "phot.flux.density;em.wl"));
  return r;
}

RowLayout inputs_columns(int file_width) {
  RowLayout r;
  r.add(column("FILE", 'A', file_width, "", "catalogue merged, as named to veltrane-merge", "meta.file"));
  r.add(column("SHARDK", 'J', 1, "", "its block K of the grid's galaxies (0: merged)", "meta.number"));
  r.add(column("SHARDN", 'J', 1, "", "the N blocks of its run (0: merged)", "meta.number"));
  r.add(column("FIRSTROW", 'J', 1, "", "first grid row of its block", "meta.record"));
  r.add(column("LASTROW", 'J', 1, "", "last grid row of its block", "meta.record"));
  r.add(column("ROWS", 'J', 1, "", "rows of its GALAXIES table", "meta.number"));
  r.add(column("DATE", 'A', 19, "", "when it was written (its DATE, UTC)", "time.creation"));
  r.add(column("SHA256", 'A', 64, "", "SHA-256 of the file, as sha256sum prints it", "meta.checksum"));
  return r;
}

void write_provenance(FitsFile& f, const Provenance& p, const FilterSetInfo* filters, const Layout& layout) {
  f.key("CREATOR", "veltrane " + to_fits_text(p.version), "program that wrote this file");
  f.key("VTFORMAT", (long long)kFormat, "layout of this veltrane catalogue");
  f.date();
  f.key("GRIDFILE", to_fits_text(p.grid_file), "grid file ('': standard input or arguments)");
  f.key("GRIDSHA", p.grid_identity, "");
  f.key("NGALAXY", (long long)p.galaxies, "galaxy records of the grid");
  f.key("SHARDK", (long long)p.shard, "this run's block of the galaxies (0: merged)");
  f.key("SHARDN", (long long)p.shards, "blocks the galaxies were cut in (0: merged)");
  f.key("FIRSTROW", (long long)p.first_row, "first grid row of this catalogue's block");
  f.key("LASTROW", (long long)p.last_row, "last grid row of this catalogue's block");
  if (p.shards == 0) {
    f.key("NMISSING", p.missing, "galaxies of the grid no input held with values");
    f.key("MISSING", p.missing_rows, "their grid rows ('': none)");
    f.key("NINPUTS", (long long)p.inputs.size(), "catalogues merged (rows of INPUTS)");
  }
  f.key("PATHDIR", to_fits_text(p.path_dir), "directory of the synthesis results");
  f.key("BASEDIR", to_fits_text(p.base_dir), "directory of the SSP base");
  f.key("FILTDIR", to_fits_text(p.filter_dir), "directory of the filters and standard spectra");
  f.key("TCUTGYR", p.t_cut_gyr, "age cut, Gyr: SSPs at least this old are old");
  f.key("PHYUNITS", p.phyunits, "physical-units factor of fluxes and masses");
  f.key("EXTCORR", (long long)p.ext_corr, "1: observation de-reddened; else models reddened");
  f.key("FILTSET", filters != nullptr, "a filter set was met (F: no galaxy reached one)");
  f.key("NFILTERS", (long long)(filters ? filters->filters.size() : 0), "rows of FILTERS");
  f.key("FILTSHA", filters ? filters->identity : "", "");
  f.key("VEGASHA", filters ? filters->standards[0] : "", "");
  f.key("SUNSHA", filters ? filters->standards[1] : "", "");
  f.key("BD17SHA", filters ? filters->standards[2] : "", "");
  for (int s = 0; s < kSystems; ++s)
    f.key(("SYSTEM" + std::to_string(s + 1)).c_str(), kSystemNames[std::size_t(s)],
          ("photometric system of MAG_*_" + std::string(kSystemKeys[std::size_t(s)])).c_str());
  f.key("SPECTRA", layout.spectra, "model spectra asked for (WAVELENGTH, SPECTRA)");
  for (std::string_view line : {"Identities, as sha256sum prints them: GRIDSHA of the grid file; FILTSHA",
                                "of what sha256sum prints for ListFilters.txt and the filter files it lists",
                                "(in the filter directory, in list order); VEGASHA, SUNSHA, BD17SHA of",
                                "VegaLR.dat, Sun_LR.dat and BD+17d4708.dat. Empty: not known."})
    f.comment(line);
}

void write_primary(FitsFile& f, const Provenance& p, const FilterSetInfo* filters, const Layout& layout) {
  write_provenance(f, p, filters, layout);
  f.checksum_here();
}

void write_galaxies_header(FitsFile& f, const Provenance& p, const FilterSetInfo* filters, const Layout& layout) {
  write_status_comments(f);
  const std::size_t n = filters ? filters->filters.size() : 0;
  if (n > 0) {
    f.comment("Element k of every MAG_* and COVERAGE* array is the filter FILTk (FILTERS row k),");
    f.comment("of effective wavelength LEFFk (Angstrom).");
  }
  for (std::size_t k = 0; k < n; ++k) {
    const std::string i = std::to_string(k + 1);
    f.key(("FILT" + i).c_str(), to_fits_text(filters->filters[k].name), ("filter of array element " + i).c_str());
    f.key(("LEFF" + i).c_str(), missing_as_nan(filters->filters[k].lambda_eff), "its effective wavelength, Angstrom");
  }
  // The provenance again, so that this table copied on its own still says where it comes from.
  write_provenance(f, p, filters, layout);
}

void write_status_comments(FitsFile& f) {
  for (std::string_view line :
       {"STATUS bits (docs/catalog.md):", "     1 processed: values as computed, NaN where the galaxy has none",
        "     2 failed: its .LOG says why; treat its values as unusable",
        "     4 skipped: its tables existed (--skip-existing); no values",
        "     8 skipped: directory + name too long for its file names",
        "    16 no distance: masses NaN (4 pi d^2 unknown)", "    32 synthesis result missing or unreadable: no values",
        "    64 the run stopped at this galaxy: no values",
        "   128 NAME, RESULT or EXT_LAW longer than its column: cut",
        "   256 measured through a filter set other than FILTERS: no magnitudes",
        "   512 spectra on a grid other than WAVELENGTH: no spectra",
        "Texts: bytes outside printable ASCII, and %, are written %XX (hex)."})
    f.comment(line);
}

std::uint32_t encode_galaxy(const RowLayout& columns, const GalaxyRow& row, bool measured, int nfilters,
                            std::uint32_t extra_status, unsigned char* out) {
  Cursor c{out};
  bool cut_name = false, cut_result = false, cut_law = false;
  const std::string name = stored_text(row.name, columns.columns[1].bytes(), cut_name);
  const std::string result = stored_text(row.result, columns.columns[2].bytes(), cut_result);
  const std::string law = stored_text(row.law, kLawWidth, cut_law);
  const std::uint32_t status = row.status | extra_status | (cut_name || cut_result || cut_law ? kTextCut : 0u);
  c.i32(row.grid_row);
  c.text(name, columns.columns[1].bytes());
  c.text(result, columns.columns[2].bytes());
  c.f32(row.distance);
  c.i32(std::int32_t(status));
  c.f32(row.av);
  c.text(law, kLawWidth);
  const bool no_distance = (row.status & kNoDistance) != 0;
  for (float m : row.log_mass) c.f32(no_distance ? std::numeric_limits<float>::quiet_NaN() : missing_as_nan(m));
  if (nfilters <= 0) return status;
  const auto n = std::size_t(nfilters);
  for (std::size_t k = 0; k < std::size_t(kSlots * kSystems); ++k)
    c.floats(measured && !row.magnitudes.empty() ? row.magnitudes.subspan(k * n, n) : std::span<const float>(), n,
             true);
  c.floats(measured ? row.coverage : std::span<const float>(), n, true);
  c.floats(measured ? row.coverage_positive : std::span<const float>(), n, true);
  return status;
}

StoredRow decode_galaxy(const RowLayout& columns, int nfilters, const unsigned char* in) {
  Reader r{in};
  StoredRow s;
  s.grid_row = r.i32();
  s.name = r.text(columns.columns[1].bytes());
  s.result = r.text(columns.columns[2].bytes());
  s.distance = r.f32();
  s.status = std::uint32_t(r.i32());
  s.av = r.f32();
  s.law = r.text(kLawWidth);
  for (float& m : s.log_mass) m = r.f32();
  if (nfilters <= 0) return s;
  const auto n = std::size_t(nfilters);
  r.floats(s.magnitudes, n * kSlots * kSystems);
  r.floats(s.coverage, n);
  r.floats(s.coverage_positive, n);
  return s;
}

GalaxyRow StoredRow::view(const FilterSetInfo* filters, std::span<const float> grid) const {
  GalaxyRow row;
  row.grid_row = grid_row;
  row.name = name;
  row.result = result;
  row.distance = distance;
  row.status = status;
  row.av = av;
  row.law = law;
  row.log_mass = log_mass;
  row.filters = magnitudes.empty() ? nullptr : filters;
  row.magnitudes = magnitudes;
  row.coverage = coverage;
  row.coverage_positive = coverage_positive;
  if (!total.empty()) {
    row.lambda = grid;
    row.total = total;
    row.young = young;
    row.old = old;
  }
  return row;
}

}  // namespace veltrane::catalog
