#include "catalog/merge_checks.h"

#include <sys/stat.h>

#include <charconv>
#include <cstring>
#include <map>
#include <utility>

namespace veltrane::catalog {
namespace {

std::pair<dev_t, ino_t> identity(const struct stat& st) { return {st.st_dev, st.st_ino}; }

std::string shortest(float v) {
  char buf[32];
  return std::string(buf, std::to_chars(buf, buf + sizeof buf, v).ptr);
}

// "W: X here, Y there" when the cards of `key` differ; empty when they do not.
std::string differs(const CatalogReader& here, const CatalogReader& there, const std::string& key,
                    const std::string& words, const std::string& unit = "", bool quoted = false) {
  const std::string &a = here.card(key), &b = there.card(key);
  if (a == b) return "";
  const auto shown = [&](const std::string& v) { return quoted ? "'" + v + "'" : v; };
  return words + ": " + shown(a) + unit + " here, " + shown(b) + unit + " there";
}

std::string filter_difference(const FilterSetInfo& here, const FilterSetInfo& there) {
  const std::string words = "run with another filter set: ";
  if (here.filters.size() != there.filters.size())
    return words + std::to_string(here.filters.size()) + " filters here, " + std::to_string(there.filters.size()) +
           " there";
  for (std::size_t k = 0; k < here.filters.size(); ++k)
    if (here.filters[k].name != there.filters[k].name)
      return words + "filter " + std::to_string(k + 1) + " is " + here.filters[k].name + " here, " +
             there.filters[k].name + " there";
  if (here.identity != there.identity) return words + "the same names, but their files differ (FILTSHA)";
  static const char* const kStandards[] = {"VegaLR.dat", "Sun_LR.dat", "BD+17d4708.dat"};
  for (std::size_t s = 0; s < 3; ++s)
    if (here.standards[s] != there.standards[s])
      return std::string("run with another standard spectrum ") + kStandards[s] + " (its SHA-256 differs)";
  for (std::size_t k = 0; k < here.filters.size(); ++k) {
    FilterSetInfo a, b;
    a.filters = {here.filters[k]};
    b.filters = {there.filters[k]};
    if (!(a == b))
      return words + "filter " + std::to_string(k + 1) + " (" + here.filters[k].name + ") calibrated otherwise";
  }
  return "";
}

std::string grid_difference(const std::vector<float>& here, const std::vector<float>& there) {
  const std::string words = "spectra on another wavelength grid: ";
  if (here.size() != there.size())
    return words + std::to_string(here.size()) + " points here, " + std::to_string(there.size()) + " there";
  for (std::size_t k = 0; k < here.size(); ++k)
    if (std::memcmp(&here[k], &there[k], sizeof(float)) != 0)
      return words + "point " + std::to_string(k + 1) + " is " + shortest(here[k]) + " Angstrom here, " +
             shortest(there[k]) + " there";
  return "";
}

// The parameters of the runs, in the order they are compared.
std::string parameter_difference(const CatalogReader& here, const CatalogReader& there) {
  const auto version = [](const CatalogReader& r) { return r.card("CREATOR").substr(9); };
  if (version(here) != version(there))
    return "written by another veltrane: " + version(here) + " here, " + version(there) + " there";
  std::string why;
  if (!(why = differs(here, there, "VTFORMAT", "written in another catalogue layout")).empty()) return why;
  if (!(why = differs(here, there, "TCUTGYR", "run with another age cut", " Gyr")).empty()) return why;
  if (!(why = differs(here, there, "PHYUNITS", "run with another Phyunits")).empty()) return why;
  if (!(why = differs(here, there, "EXTCORR", "run with another Ext_Corr")).empty()) return why;
  if (here.layout().spectra != there.layout().spectra)
    return here.layout().spectra ? "run with --catalog-spectra here, without it there"
                                 : "run without --catalog-spectra here, with it there";
  for (const auto& [key, name] : {std::pair{"PATHDIR", "path_DIR"}, {"BASEDIR", "base_SSP"}, {"FILTDIR", "Fil__Dir"}})
    if (!(why = differs(here, there, key, std::string("run with another ") + name, "", true)).empty()) return why;
  for (int s = 1; s <= kSystems; ++s)
    if (!(why = differs(here, there, "SYSTEM" + std::to_string(s),
                        "written with another photometric system " + std::to_string(s)))
             .empty())
      return why;
  return "";
}

}  // namespace

std::string output_refusal(const std::string& out, const std::vector<std::string>& inputs, bool overwrite) {
  struct stat o {};
  if (::stat(out.c_str(), &o) != 0) return "";  // nothing there: the merge makes it
  for (const std::string& in : inputs) {
    struct stat i {};
    if (::stat(in.c_str(), &i) != 0 || identity(i) != identity(o)) continue;
    return in == out ? out + " is also an input: name a new file for the merged catalogue"
                     : out + " is the input " + in + " (the same file): name a new file for the merged catalogue";
  }
  if (S_ISDIR(o.st_mode)) return out + " is a directory";
  std::string what;
  const Occupant found = occupant_of(out, &what);
  const bool catalogue = found == Occupant::catalogue || found == Occupant::shard;
  if (catalogue && overwrite) return "";
  if (found == Occupant::shard)
    return out + " exists and is " + what + "; it is left as it is (was the output forgotten? " +
           "veltrane-merge OUT.fits IN.fits...)";
  if (catalogue) return out + " exists (" + what + "); it is left as it is: --overwrite replaces it";
  return out + " exists and is " + what + "; it is left as it is" +
         (overwrite ? " (--overwrite replaces only a Veltrane catalogue)" : "");
}

std::string input_given_twice(const std::vector<std::string>& inputs) {
  std::map<std::pair<dev_t, ino_t>, std::string> seen;
  for (const std::string& in : inputs) {
    struct stat st {};
    if (::stat(in.c_str(), &st) != 0) continue;  // its reading says why
    const auto [at, fresh] = seen.emplace(identity(st), in);
    if (!fresh) return in + " is " + at->second + " given twice";
  }
  return "";
}

std::string run_difference(const CatalogReader& here, const CatalogReader& there) {
  if (std::string why = parameter_difference(here, there); !why.empty()) return why;
  if (here.card("GRIDSHA") != there.card("GRIDSHA")) {
    const auto grid = [](const CatalogReader& r) {
      return r.card("GRIDFILE").empty() ? std::string("standard input") : r.card("GRIDFILE");
    };
    return "run on another grid file: " + grid(here) + " (SHA-256 " + here.card("GRIDSHA").substr(0, 12) +
           "...) here, " + grid(there) + " (" + there.card("GRIDSHA").substr(0, 12) + "...) there";
  }
  if (std::string why = differs(here, there, "NGALAXY", "run on a grid of another size", " galaxies"); !why.empty())
    return why;
  const Layout &a = here.layout(), &b = there.layout();
  if (a.name_width != b.name_width || a.result_width != b.result_width)
    return "NAME and RESULT columns of other widths: " + std::to_string(a.name_width) + " and " +
           std::to_string(a.result_width) + " bytes here, " + std::to_string(b.name_width) + " and " +
           std::to_string(b.result_width) + " there";
  if (here.has_filters() && there.has_filters())
    if (std::string why = filter_difference(here.filters(), there.filters()); !why.empty()) return why;
  if (!here.grid().empty() && !there.grid().empty()) return grid_difference(here.grid(), there.grid());
  return "";
}

}  // namespace veltrane::catalog
