#include "catalog/merge.h"

#include <unistd.h>

#include <algorithm>
#include <optional>

#include "catalog/fits_io.h"
#include "catalog/merge_checks.h"
#include "catalog/reader.h"
#include "catalog/writer.h"

namespace veltrane::catalog {
namespace {

// Inputs kept open at once while the rows are copied: shards are contiguous blocks of the
// grid, so the rows come from one input after another (a restart's shards interleave).
constexpr std::size_t kOpenInputs = 32;
// Ranges of missing rows said on standard error, and kept in the header.
constexpr std::size_t kRangesSaid = 20, kRangesKept = 1000;
// Differences between runs said, one per input, before the merge gives up.
constexpr int kSaid = 10;

struct Held {
  int grid_row;
  std::size_t input;
  long long row;  // 1-based in its input
  bool values;    // kProcessed: a row with values
  bool final;     // a row without values that no run will fill (a name too long for its files)
};

// Grid rows as ranges, said as "3, 5-9, 12".
struct Ranges {
  std::vector<std::pair<int, int>> list;
  long long count = 0;
  void add(int first, int last) {
    if (first > last) return;
    count += (long long)last - first + 1;
    if (!list.empty() && list.back().second + 1 == first) list.back().second = last;
    else list.emplace_back(first, last);
  }
  std::string str(std::size_t at_most) const {
    std::string out;
    for (std::size_t i = 0; i < list.size(); ++i) {
      if (i == at_most) return out + ", ...";
      const auto [a, b] = list[i];
      out += (out.empty() ? "" : ", ") + std::to_string(a) + (b > a ? "-" + std::to_string(b) : "");
    }
    return out;
  }
};

std::string plural(long long n, const char* one, const char* many) {
  return std::to_string(n) + " " + (n == 1 ? one : many);
}

// A merge under way: the inputs read, the rows chosen, what it has said.
struct Merge {
  const std::string& out;
  const std::vector<std::string>& inputs;
  const MergeOptions& options;
  MergeReport report;
  std::vector<CatalogReader> readers;
  std::vector<Held> chosen;
  Ranges missing;

  bool stop(MergeEnd end, const std::string& line) {
    report.end = end;
    report.lines.push_back(line);
    return false;
  }

  // The output's name free (or to be replaced), its directory writable, no input twice.
  bool check_output() {
    if (std::string why = output_refusal(out, inputs, options.overwrite); !why.empty())
      return stop(MergeEnd::refused, why);
    if (std::string why = input_given_twice(inputs); !why.empty()) return stop(MergeEnd::refused, why);
    // Before hours of reading: a file can be made beside the output.
    Failure failure;
    const std::string probe = create_temporary_beside(out, failure);
    if (probe.empty()) return stop(MergeEnd::unreadable, "cannot write " + out + ": " + failure.reason);
    ::unlink(probe.c_str());
    return true;
  }

  // Every input read and checked (all of them said), each a shard of the run of the first.
  bool open_inputs() {
    std::optional<MergeEnd> end;
    for (const std::string& in : inputs) {
      Failure failure;
      std::optional<CatalogReader> r = CatalogReader::open(in, failure, true);
      if (!r) {
        if (!end) end = failure.kind == Failure::Kind::not_catalogue ? MergeEnd::refused : MergeEnd::unreadable;
        report.lines.push_back(failure.where_and_why());
        continue;
      }
      r->release();
      readers.push_back(std::move(*r));
    }
    if (end) return stop(*end, "nothing written");
    int said = 0;
    for (std::size_t i = 1; i < readers.size() && said < kSaid; ++i)
      if (const std::string why = run_difference(readers[i], readers[0]); !why.empty()) {
        report.lines.push_back(inputs[i] + ": not a shard of the run of " + inputs[0] + ": " + why);
        ++said;
      }
    return said == 0 || stop(MergeEnd::refused, "refused: the inputs are not the shards of one run");
  }

  bool collect_rows(std::vector<Held>& held);
  bool choose_rows();
  bool check_missing();
  bool write();
};

// Every row of every input, by grid row (the inputs in order within a grid row).
bool Merge::collect_rows(std::vector<Held>& held) {
  const int galaxies = readers[0].provenance().galaxies;
  for (std::size_t i = 0; i < readers.size(); ++i) {
    const auto index = readers[i].index();
    if (!index) return stop(MergeEnd::unreadable, readers[i].failure().where_and_why());
    int last = 0;
    long long r = 0;
    for (const auto& [grid_row, status] : *index) {
      ++r;
      if (grid_row <= last || grid_row > galaxies)
        return stop(MergeEnd::unreadable, inputs[i] + ": damaged: its row " + std::to_string(r) + " holds galaxy " +
                                              std::to_string(grid_row) + ", out of the grid's order or beyond its " +
                                              std::to_string(galaxies) + " galaxies");
      last = grid_row;
      held.push_back({grid_row, i, r, (status & kProcessed) != 0, (status & kNameTooLong) != 0});
    }
    readers[i].release();
  }
  std::stable_sort(held.begin(), held.end(), [](const Held& a, const Held& b) { return a.grid_row < b.grid_row; });
  return true;
}

// One row per grid row: a row with values wins over rows without; two with values refuse
// the merge.
bool Merge::choose_rows() {
  std::vector<Held> held;
  if (!collect_rows(held)) return false;
  std::size_t twice = 0;
  for (const Held& h : held) {
    if (chosen.empty() || chosen.back().grid_row != h.grid_row) {
      chosen.push_back(h);
    } else if (chosen.back().values && h.values) {
      if (++twice <= std::size_t(kSaid))
        report.lines.push_back("galaxy " + std::to_string(h.grid_row) + " is in " + inputs[chosen.back().input] +
                               " and in " + inputs[h.input]);
    } else if (h.values) {
      chosen.back() = h;
    }
  }
  if (twice > std::size_t(kSaid)) report.lines.push_back("... and " + std::to_string(twice - kSaid) + " more");
  return twice == 0 || stop(MergeEnd::refused, "refused: " + plural((long long)twice, "galaxy is", "galaxies are") +
                                                   " held twice with values");
}

// The galaxies of the grid no input holds with values: refused unless allowed.
bool Merge::check_missing() {
  const int galaxies = readers[0].provenance().galaxies;
  // Each grid row: held with values (or for good without), only without values, or by none.
  std::vector<char> held(std::size_t(std::max(galaxies, 0)) + 1, 'n');
  for (const Held& h : chosen) held[std::size_t(h.grid_row)] = h.values || h.final ? 'v' : 'w';
  Ranges none, without_values;
  for (int g = 1; g <= galaxies; ++g) {
    const char k = held[std::size_t(g)];
    if (k != 'v') missing.add(g, g);
    if (k == 'n') none.add(g, g);
    if (k == 'w') without_values.add(g, g);
  }
  if (missing.count == 0) return true;
  report.lines.push_back(plural(missing.count, "galaxy", "galaxies") + " of the grid's " + std::to_string(galaxies) +
                         (missing.count == 1 ? " is" : " are") + " missing: rows " + missing.str(kRangesSaid));
  if (none.count > 0 && without_values.count > 0)
    report.lines.push_back("no input holds rows " + none.str(kRangesSaid));
  if (without_values.count > 0)
    report.lines.push_back("rows " + without_values.str(kRangesSaid) +
                           " are held only as rows without values (skipped, or where a run stopped)");
  return options.allow_missing ||
         stop(MergeEnd::missing,
              "nothing written to " + out + ": merge the catalogues that hold them too, or give --allow-missing");
}

// The chosen rows copied into `out`, at most kOpenInputs inputs open at once.
bool Merge::write() {
  Provenance p = readers[0].provenance();
  p.shard = p.shards = 0;
  p.first_row = chosen.empty() ? 1 : chosen.front().grid_row;
  p.last_row = chosen.empty() ? 0 : chosen.back().grid_row;
  p.missing = missing.count;
  p.missing_rows = missing.str(kRangesKept);
  for (std::size_t i = 0; i < readers.size(); ++i) {
    const Provenance& q = readers[i].provenance();
    p.inputs.push_back({inputs[i], q.shard, q.shards, q.first_row, q.last_row, readers[i].rows(),
                        readers[i].card("DATE"), readers[i].sha256()});
  }
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
    const std::optional<StoredRow> row = in.row(h.row);
    if (!row) return stop(MergeEnd::unreadable, in.failure().where_and_why());
    if (!writer.append(row->view(in.has_filters() ? &in.filters() : nullptr, in.grid()))) break;
  }
  if (!writer.finish(options.overwrite))
    return stop(MergeEnd::unreadable, "cannot write " + out + ": " + writer.failure().reason);
  return true;
}

}  // namespace

MergeReport merge_catalogs(const std::string& out, const std::vector<std::string>& inputs,
                           const MergeOptions& options) {
  Merge m{out, inputs, options, {}, {}, {}, {}};
  if (m.check_output() && m.open_inputs() && m.choose_rows() && m.check_missing() && m.write())
    m.report.lines.push_back(plural((long long)m.chosen.size(), "galaxy", "galaxies") + " from " +
                             plural((long long)inputs.size(), "input", "inputs") + " written to " + out);
  return m.report;
}

}  // namespace veltrane::catalog
