// Reading a catalogue back: every way a file is not a whole catalogue of a layout this version
// reads, each with its kind and its words; the checksums computed by the layer itself agree
// with those cfitsio wrote; what stands at a name a catalogue is to be written to.
#include <gtest/gtest.h>

#include <functional>

#include "catalog/fits_io.h"
#include "catalog/fits_scan.h"
#include "catalog/sample.h"
#include "test_util.h"

namespace vtest {
namespace {

using K = Failure::Kind;

TEST(CatalogReader, FilesThatAreNoWholeCatalogue) {
  TempDir dir;
  SampleOptions o;
  o.points = 30;
  ASSERT_EQ(write_sample(dir / "good.fits", o), "");
  const std::string good = read_file(dir / "good.fits");
  const FitsScan scan = scan_fits(dir / "good.fits", ScanDepth::whole);
  ASSERT_FALSE(scan.failure) << scan.failure.where_and_why();
  ASSERT_EQ(scan.hdus.size(), 5u);
  for (const HduExtent& h : scan.hdus) EXPECT_TRUE(h.checksum_ok) << h.name << ": cfitsio's checksums, verified here";
  const auto at = [&](const char* hdu) {
    for (const HduExtent& h : scan.hdus)
      if (h.name == hdu) return std::size_t(h.header);
    return std::size_t(0);
  };
  const auto changed = [&](std::size_t i, char bits) {
    std::string s = good;
    s[i] = char(s[i] ^ bits);
    return s;
  };
  const std::string size = std::to_string(good.size());
  std::string layout3 = good;
  layout3.replace(layout3.find("VTFORMAT=                    2"), 30, "VTFORMAT=                    3");
  const struct {
    const char* name;
    std::function<void(const std::string&)> make;
    K kind;
    std::string reason;
  } cases[] = {
      {"dir.fits", [](const std::string& p) { fs::create_directory(p); }, K::io, "Is a directory"},
      {"start.fits", [&](const std::string& p) { write_file(p, good.substr(0, 100)); }, K::cut_short,
       "cut short: 100 of at least 2880 bytes"},
      {"layout3.fits", [&](const std::string& p) { write_file(p, layout3); }, K::not_catalogue,
       "a Veltrane catalogue of layout 3 (veltrane 1.1.0), which this version does not read (layouts 1 to 2)"},
      {"spectra-cut.fits", [&](const std::string& p) { write_file(p, good.substr(0, good.size() - 2880)); },
       K::cut_short, "cut short: " + std::to_string(good.size() - 2880) + " of " + size + " bytes"},
      {"galaxies-cut.fits", [&](const std::string& p) { write_file(p, good.substr(0, at("FILTERS") - 2880)); },
       K::cut_short,
       "cut short: " + std::to_string(at("FILTERS") - 2880) + " of at least " + std::to_string(at("FILTERS")) +
           " bytes"},
      {"no-filters.fits", [&](const std::string& p) { write_file(p, good.substr(0, at("FILTERS"))); }, K::cut_short,
       "cut short: it ends after its GALAXIES table (" + std::to_string(at("FILTERS")) +
           " bytes), without its FILTERS table"},
      {"header-cut.fits", [&](const std::string& p) { write_file(p, good.substr(0, at("FILTERS") + 100)); },
       K::cut_short,
       "cut short: " + std::to_string(at("FILTERS") + 100) + " of at least " + std::to_string(at("FILTERS") + 2880) +
           " bytes"},
      {"primary-flipped.fits", [&](const std::string& p) { write_file(p, changed(good.find("survey.in"), 1)); },
       K::damaged, "damaged (checksum of its primary header)"},
      {"filters-flipped.fits", [&](const std::string& p) { write_file(p, changed(at("WAVELENGTH") - 2000, 8)); },
       K::damaged, "damaged (checksum of its FILTERS table)"},
      {"spectra-flipped.fits", [&](const std::string& p) { write_file(p, changed(good.size() - 3000, 1)); }, K::damaged,
       "damaged (checksum of its SPECTRA table)"},
  };
  for (const auto& c : cases) {
    const std::string path = dir / c.name;
    c.make(path);
    Failure failure;
    EXPECT_FALSE(CatalogReader::open(path, failure)) << c.name;
    EXPECT_EQ(failure.kind, c.kind) << c.name << ": " << failure.where_and_why();
    EXPECT_EQ(failure.where_and_why(), path + ": " + c.reason) << c.name;
  }
}

// What stands at a name, beyond what the merge's output shows (its misuse table).
TEST(CatalogReader, WhatStandsAtAName) {
  TempDir dir;
  write_file(dir / "empty", "");
  fs::create_directory(dir / "dir");
  const struct {
    const char* name;
    Occupant is;
    const char* words;
  } cases[] = {{"absent", Occupant::nothing, ""},
               {"empty", Occupant::empty, "an empty file"},
               {"dir", Occupant::unreadable, "a directory"}};
  for (const auto& c : cases) {
    std::string words;
    EXPECT_EQ(occupant_of(dir / c.name, &words), c.is) << c.name;
    EXPECT_EQ(words, c.words) << c.name;
  }
}

// The ones' complement sum of the FITS checksums: end-around carries, any split into words.
TEST(FitsScan, OnesComplementSum) {
  const unsigned char ones[] = {0xff, 0xff, 0xff, 0xff, 0x00, 0x00, 0x00, 0x01};
  EXPECT_EQ(ones_complement_sum(0, ones, 8), 1u) << "0xffffffff + 1 carries around to 1";
  EXPECT_EQ(ones_complement_sum(0xfffffffe, ones + 4, 4), 0xffffffffu);
  const unsigned char words[] = {0x80, 0, 0, 0, 0x80, 0, 0, 0, 0, 0, 0, 5};
  EXPECT_EQ(ones_complement_sum(0, words, 12), 6u);
  EXPECT_EQ(ones_complement_sum(ones_complement_sum(0, words, 4), words + 4, 8), 6u);
}

}  // namespace
}  // namespace vtest
