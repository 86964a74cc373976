// Joins the catalogues of the shards of one grid file into one, rows in grid order, without
// ever destroying a file: the output is never one of the inputs (by file identity, so a link
// counts), never a file that exists unless `overwrite` is asked and it is a Veltrane
// catalogue, and it is written through a temporary file renamed into place.
#pragma once

#include <string>
#include <vector>

namespace veltrane::catalog {

struct MergeOptions {
  bool overwrite = false;      // replace an existing output, when it is a Veltrane catalogue
  bool allow_missing = false;  // write even when galaxies of the grid are missing
};

// How a merge ended; the caller turns it into its exit status.
enum class MergeEnd {
  merged,      // written (with allow_missing, perhaps without galaxies: stated, and in its header)
  unreadable,  // an input cannot be read (missing, not FITS, cut short, damaged), or the output
               // cannot be written
  refused,     // the output is an input or exists; inputs that make no one catalogue (not
               // catalogues, of different runs, a galaxy held twice with values)
  missing,     // galaxies of the grid that no input holds with values: nothing written
};

struct MergeReport {
  MergeEnd end = MergeEnd::merged;
  std::vector<std::string> lines;  // what the user is told, one line each, naming the files
};

// Merges `inputs` into `out`. Galaxies held only as rows without values (skipped by
// --skip-existing into another catalogue, or where a run stopped) count as missing; a row
// without values gives way to one with values of the same galaxy.
MergeReport merge_catalogs(const std::string& out, const std::vector<std::string>& inputs, const MergeOptions& options);

}  // namespace veltrane::catalog
