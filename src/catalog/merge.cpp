#include "catalog/merge.h"

#include <algorithm>
#include <cstring>
#include <optional>

#include "catalog/reader.h"
#include "catalog/writer.h"

namespace veltrane::catalog {
namespace {

// What must be the same in every shard of one run (the shard, its rows, the date and the
// grid file's path may differ).
constexpr const char* kSameKeys[] = {"CREATOR", "VTFORMAT", "GRIDSHA", "NGALAXY", "PATHDIR",  "BASEDIR",
                                     "FILTDIR", "TCUTGYR",  "PHYUNITS", "EXTCORR", "SYSTEM1",  "SYSTEM2",
                                     "SYSTEM3", "SYSTEM4",  "SYSTEM5", "SYSTEM6",  "SYSTEM7",  "SPECTRA"};

struct Held {
  int grid_row;
  std::size_t input;
  long long row;  // 1-based in its input
  bool values;    // kProcessed: a row with values
};

void say(std::string& messages, const std::string& line) { messages += "veltrane-merge: " + line + "\n"; }

// "3, 5-9, 12" for sorted grid rows, at most `limit` ranges.
std::string ranges(const std::vector<int>& rows, std::size_t limit = 20) {
  std::string out;
  std::size_t shown = 0;
  for (std::size_t i = 0; i < rows.size();) {
    std::size_t j = i;
    while (j + 1 < rows.size() && rows[j + 1] == rows[j] + 1) ++j;
    if (shown == limit) return out + ", ...";
    out += (out.empty() ? "" : ", ") + std::to_string(rows[i]) + (j > i ? "-" + std::to_string(rows[j]) : "");
    ++shown;
    i = j + 1;
  }
  return out;
}

std::string plural(std::size_t n, const char* one, const char* many) {
  return std::to_string(n) + " " + (n == 1 ? one : many);
}

// Why `b` is not a shard of the same run as `a`; empty when it is.
std::string mismatch(const CatalogReader& a, const CatalogReader& b) {
  for (const char* key : kSameKeys)
    if (a.card(key) != b.card(key))
      return std::string(key) + " is '" + b.card(key) + "', not '" + a.card(key) + "'";
  if (a.layout().name_width != b.layout().name_width || a.layout().result_width != b.layout().result_width)
    return "its NAME or RESULT column has another width";
  if (a.has_filters() && b.has_filters() && !(a.filters() == b.filters())) return "its filter set differs";
  const auto &ga = a.grid(), &gb = b.grid();
  if (!ga.empty() && !gb.empty() &&
      (ga.size() != gb.size() || std::memcmp(ga.data(), gb.data(), ga.size() * sizeof(float)) != 0))
    return "its spectrum grid differs";
  return "";
}

}  // namespace

int merge_catalogs(const std::string& out, const std::vector<std::string>& inputs, std::string& messages) {
  std::vector<CatalogReader> readers;
  for (const std::string& in : inputs) {
    try {
      readers.emplace_back(in);
    } catch (const CatalogReader::Error& e) {
      say(messages, in + ": " + e.what());
      return e.problem == CatalogReader::Problem::not_catalogue ? 2 : 1;
    }
  }
  for (std::size_t i = 1; i < readers.size(); ++i) {
    const std::string why = mismatch(readers[0], readers[i]);
    if (!why.empty()) {
      say(messages, inputs[i] + " is not a shard of the run of " + inputs[0] + ": " + why);
      return 2;
    }
  }

  // Every row of every input, by grid row; a row with values wins over rows without.
  const int galaxies = readers[0].provenance().galaxies;
  std::vector<Held> held;
  try {
    for (std::size_t i = 0; i < readers.size(); ++i) {
      int last = 0;
      long long r = 0;
      for (const auto& [grid_row, status] : readers[i].index()) {
        ++r;
        if (grid_row <= last || grid_row > galaxies) {
          say(messages, inputs[i] + ": row " + std::to_string(r) + " holds galaxy " + std::to_string(grid_row) +
                            ", out of the grid's order or beyond its " + std::to_string(galaxies) + " galaxies");
          return 1;
        }
        last = grid_row;
        held.push_back({grid_row, i, r, (status & kProcessed) != 0});
      }
    }
  } catch (const CatalogReader::Error& e) {
    say(messages, std::string("reading the rows: ") + e.what());
    return 1;
  }
  std::stable_sort(held.begin(), held.end(), [](const Held& a, const Held& b) { return a.grid_row < b.grid_row; });

  std::vector<Held> chosen;
  std::vector<std::string> twice;
  std::size_t twice_count = 0;
  for (const Held& h : held) {
    if (chosen.empty() || chosen.back().grid_row != h.grid_row) {
      chosen.push_back(h);
    } else if (chosen.back().values && h.values) {
      if (++twice_count <= 10)
        twice.push_back("galaxy " + std::to_string(h.grid_row) + " is in " + inputs[chosen.back().input] +
                        " and in " + inputs[h.input]);
    } else if (h.values) {
      chosen.back() = h;
    }
  }
  if (twice_count > 0) {
    for (const std::string& t : twice) say(messages, t);
    if (twice_count > twice.size()) say(messages, "... and " + std::to_string(twice_count - twice.size()) + " more");
    say(messages, "refused: " + plural(twice_count, "galaxy is", "galaxies are") + " held twice with values");
    return 2;
  }

  std::vector<int> missing, without_values;
  std::size_t next = 0;
  for (int g = 1; g <= galaxies; ++g) {
    if (next < chosen.size() && chosen[next].grid_row == g) {
      if (!chosen[next].values) without_values.push_back(g);
      ++next;
    } else {
      missing.push_back(g);
    }
  }
  if (!missing.empty())
    say(messages, "no input holds " + plural(missing.size(), "galaxy", "galaxies") + " of the grid's " +
                      std::to_string(galaxies) + ": " + ranges(missing));
  if (!without_values.empty())
    say(messages, plural(without_values.size(), "galaxy is", "galaxies are") +
                      " held only as rows without values (skipped, or where a run stopped): " +
                      ranges(without_values));

  Provenance p = readers[0].provenance();
  p.shard = p.shards = 0;
  p.first_row = chosen.empty() ? 1 : chosen.front().grid_row;
  p.last_row = chosen.empty() ? 0 : chosen.back().grid_row;
  CatalogWriter writer(out, p, readers[0].layout());
  for (const Held& h : chosen) {
    CatalogReader& in = readers[h.input];
    try {
      const StoredRow row = in.row(h.row);
      if (!writer.append(row.view(in.has_filters() ? &in.filters() : nullptr, in.grid()))) break;
    } catch (const CatalogReader::Error& e) {
      say(messages, inputs[h.input] + ": " + e.what());
      return 1;
    }
  }
  if (!writer.finish()) {
    say(messages, "cannot write " + out + ": " + writer.error());
    return 1;
  }
  say(messages, plural(chosen.size(), "galaxy", "galaxies") + " from " + plural(inputs.size(), "input", "inputs") +
                    " written to " + out);
  return 0;
}

}  // namespace veltrane::catalog
