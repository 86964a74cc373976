// The checks of a merge before any row is copied: what stands at the output's name, inputs
// given twice, and whether the inputs are shards of one run. Each answers in words, naming
// the files; empty: nothing to say.
#pragma once

#include <string>
#include <vector>

#include "catalog/reader.h"

namespace veltrane::catalog {

// Why `out` must not be written: it is one of `inputs` (the same file, by device and inode,
// so a hard or symbolic link counts); it exists and `overwrite` is not given; it exists and is
// not a Veltrane catalogue; it is a directory or cannot be read to tell what it is.
std::string output_refusal(const std::string& out, const std::vector<std::string>& inputs, bool overwrite);

// "B is A given twice" for the first input that is the same file as an earlier one.
std::string input_given_twice(const std::vector<std::string>& inputs);

// The first way in which `here` is not a shard of the run of `there`: the parameters first
// (layout, version, age cut, Phyunits, Ext_Corr, spectra, directories, systems), then the
// identities (grid file and its size, column widths, filter set, spectrum grid), as
// "run with another age cut: 2.0 Gyr here, 1.0 Gyr there".
std::string run_difference(const CatalogReader& here, const CatalogReader& there);

}  // namespace veltrane::catalog
