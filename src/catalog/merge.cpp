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
constexpr const char* kSameKeys[] = {"CREATOR", "VTFORMAT", "GRIDSHA",  "NGALAXY", "PATHDIR", "BASEDIR",
                                     "FILTDIR", "TCUTGYR",  "PHYUNITS", "EXTCORR", "SYSTEM1", "SYSTEM2",
                                     "SYSTEM3", "SYSTEM4",  "SYSTEM5",  "SYSTEM6", "SYSTEM7", "SPECTRA"};

// Inputs kept open at once while the rows are copied: shards are contiguous blocks of the
// grid, so the rows come from one input after another (a restart's shards interleave).
constexpr std::size_t kOpenInputs = 32;

struct Held {
  int grid_row;
  std::size_t input;
  long long row;  // 1-based in its input
  bool values;    // kProcessed: a row with values
};

void say(std::string& messages, const std::string& line) { messages += "veltrane-merge: " + line + "\n"; }

// Grid rows as ranges, said as "3, 5-9, 12" (at most 20 ranges shown).
struct Ranges {
  std::vector<std::pair<int, int>> list;
  long long count = 0;
  void add(int first, int last) {
    if (first > last) return;
    count += (long long)last - first + 1;
    if (!list.empty() && list.back().second + 1 == first) list.back().second = last;
    else list.emplace_back(first, last);
  }
  std::string str() const {
    std::string out;
    for (std::size_t i = 0; i < list.size(); ++i) {
      if (i == 20) return out + ", ...";
      const auto [a, b] = list[i];
      out += (out.empty() ? "" : ", ") + std::to_string(a) + (b > a ? "-" + std::to_string(b) : "");
    }
    return out;
  }
};

std::string plural(long long n, const char* one, const char* many) {
  return std::to_string(n) + " " + (n == 1 ? one : many);
}

// Why `b` is not a shard of the same run as `a`; empty when it is.
std::string mismatch(const CatalogReader& a, const CatalogReader& b) {
  for (const char* key : kSameKeys)
    if (a.card(key) != b.card(key)) return std::string(key) + " is '" + b.card(key) + "', not '" + a.card(key) + "'";
  if (a.layout().name_width != b.layout().name_width || a.layout().result_width != b.layout().result_width)
    return "its NAME or RESULT column has another width";
  if (a.has_filters() && b.has_filters() && !(a.filters() == b.filters())) return "its filter set differs";
  const auto &ga = a.grid(), &gb = b.grid();
  if (!ga.empty() && !gb.empty() &&
      (ga.size() != gb.size() || std::memcmp(ga.data(), gb.data(), ga.size() * sizeof(float)) != 0))
    return "its spectrum grid differs";
  return "";
}

// The steps of a merge: each returns 0 to go on, or the merge's exit status after its
// messages.

// Every input opened, and each a shard of the run of the first.
int open_inputs(const std::vector<std::string>& inputs, std::vector<CatalogReader>& readers, std::string& messages) {
  for (const std::string& in : inputs) {
    try {
      readers.emplace_back(in);
      readers.back().release();
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
  return 0;
}

// Every row of every input, by grid row (the inputs in order within a grid row).
int collect_rows(const std::vector<std::string>& inputs, std::vector<CatalogReader>& readers, int galaxies,
                 std::vector<Held>& held, std::string& messages) {
  for (std::size_t i = 0; i < readers.size(); ++i) {
    int last = 0;
    long long r = 0;
    try {
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
    } catch (const CatalogReader::Error& e) {
      say(messages, inputs[i] + ": " + e.what());
      return 1;
    }
    readers[i].release();
  }
  std::stable_sort(held.begin(), held.end(), [](const Held& a, const Held& b) { return a.grid_row < b.grid_row; });
  return 0;
}

// One row per grid row: a row with values wins over rows without; two with values refuse
// the merge.
int choose_rows(const std::vector<std::string>& inputs, const std::vector<Held>& held, std::vector<Held>& chosen,
                std::string& messages) {
  std::vector<std::string> twice;
  std::size_t twice_count = 0;
  for (const Held& h : held) {
    if (chosen.empty() || chosen.back().grid_row != h.grid_row) {
      chosen.push_back(h);
    } else if (chosen.back().values && h.values) {
      if (++twice_count <= 10)
        twice.push_back("galaxy " + std::to_string(h.grid_row) + " is in " + inputs[chosen.back().input] + " and in " +
                        inputs[h.input]);
    } else if (h.values) {
      chosen.back() = h;
    }
  }
  if (twice_count == 0) return 0;
  for (const std::string& t : twice) say(messages, t);
  if (twice_count > twice.size()) say(messages, "... and " + std::to_string(twice_count - twice.size()) + " more");
  say(messages, "refused: " + plural(twice_count, "galaxy is", "galaxies are") + " held twice with values");
  return 2;
}

// The grid rows no input holds, and those held only without values.
void say_gaps(const std::vector<Held>& chosen, int galaxies, std::string& messages) {
  Ranges missing, without_values;
  int next = 1;
  for (const Held& h : chosen) {
    missing.add(next, h.grid_row - 1);
    if (!h.values) without_values.add(h.grid_row, h.grid_row);
    next = h.grid_row + 1;
  }
  missing.add(next, galaxies);
  if (missing.count > 0)
    say(messages, "no input holds " + plural(missing.count, "galaxy", "galaxies") + " of the grid's " +
                      std::to_string(galaxies) + ": " + missing.str());
  if (without_values.count > 0)
    say(messages, plural(without_values.count, "galaxy is", "galaxies are") +
                      " held only as rows without values (skipped, or where a run stopped): " + without_values.str());
}

// The chosen rows copied into `out`, at most kOpenInputs inputs open at once.
int write_rows(const std::string& out, const std::vector<std::string>& inputs, std::vector<CatalogReader>& readers,
               const std::vector<Held>& chosen, std::string& messages) {
  Provenance p = readers[0].provenance();
  p.shard = p.shards = 0;
  p.first_row = chosen.empty() ? 1 : chosen.front().grid_row;
  p.last_row = chosen.empty() ? 0 : chosen.back().grid_row;
  CatalogWriter writer(out, p, readers[0].layout());
  std::vector<std::size_t> open;  // inputs with an open file, the most recently used last
  for (const Held& h : chosen) {
    CatalogReader& in = readers[h.input];
    if (open.empty() || open.back() != h.input) {
      std::erase(open, h.input);
      open.push_back(h.input);
      if (open.size() > kOpenInputs) {
        readers[open.front()].release();
        open.erase(open.begin());
      }
    }
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
  return 0;
}

}  // namespace

int merge_catalogs(const std::string& out, const std::vector<std::string>& inputs, std::string& messages) {
  std::vector<CatalogReader> readers;
  if (const int status = open_inputs(inputs, readers, messages)) return status;
  const int galaxies = readers[0].provenance().galaxies;
  std::vector<Held> held, chosen;
  if (const int status = collect_rows(inputs, readers, galaxies, held, messages)) return status;
  if (const int status = choose_rows(inputs, held, chosen, messages)) return status;
  say_gaps(chosen, galaxies, messages);
  if (const int status = write_rows(out, inputs, readers, chosen, messages)) return status;
  say(messages, plural(chosen.size(), "galaxy", "galaxies") + " from " + plural(inputs.size(), "input", "inputs") +
                    " written to " + out);
  return 0;
}

}  // namespace veltrane::catalog
