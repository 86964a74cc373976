// Joins the catalogues of the shards of one grid file into one, rows in grid order.
#pragma once

#include <string>
#include <vector>

namespace veltrane::catalog {

// Merges `inputs` into `out` (through a temporary file and a rename) and returns the exit
// status; what it has to say goes to `messages`, one line each:
//   0  merged; galaxies of the grid that no input holds (or holds only as rows without
//      values) are stated, not refused;
//   1  an input cannot be read or is damaged (a checksum), or `out` cannot be written;
//   2  inputs refused: not veltrane catalogues, catalogues of different runs (version, grid
//      file, directories, parameters, filter set, systems, spectrum grid), or two inputs
//      holding the same galaxy with values (a row without values, such as a galaxy skipped
//      as existing, gives way to one with values).
int merge_catalogs(const std::string& out, const std::vector<std::string>& inputs, std::string& messages);

}  // namespace veltrane::catalog
