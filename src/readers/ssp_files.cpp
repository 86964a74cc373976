#include "readers/ssp_files.h"

#include <algorithm>
#include <cmath>
#include <functional>
#include <vector>

#include "support/file_check.h"
#include "textio/list_input.h"

namespace veltrane {
namespace {

using textio::ListRead;
using textio::ReadStatus;
using textio::RecordFile;

const std::vector<float>& constant_column(float value) {
  static const std::vector<float> zeros(kMaxPoints, 0.0f);
  static const std::vector<float> sentinels(kMaxPoints, kSentinel);
  return value == 0.0f ? zeros : sentinels;
}

BaseFile::Status status_of(ReadStatus s) {
  return s == ReadStatus::ok      ? BaseFile::Status::ok
         : s == ReadStatus::error ? BaseFile::Status::error
                                  : BaseFile::Status::end_of_file;
}

// Records at the top of the file whose first character is "#" (an end of file ends them).
int header_length(RecordFile& file) {
  int h = 0;
  char c = ' ';
  while (textio::read_first_char(file, c) == ReadStatus::ok && c == '#') ++h;
  return h;
}

}  // namespace

std::shared_ptr<const BaseTables> BaseTables::initial() {
  auto t = std::make_shared<BaseTables>();
  t->columns.fill(constant_column(0.0f).data());
  t->finite.fill(true);
  return t;
}

SspFile parse_ssp_file(const std::string& text) {
  SspFile f;
  {
    RecordFile scan = RecordFile::from_string(text);
    f.header = header_length(scan);
  }
  RecordFile file = RecordFile::from_string(text);
  for (int i = 0; i < f.header; ++i) ListRead(file).skip();
  f.column.assign(kMaxPoints, kSentinel);
  for (int i = 0;; ++i) {
    float point[2] = {kSentinel, kSentinel};       // λ, flux
    if (!textio::read_plain_reals(file, point)) {  // not the usual plain record
      ListRead rec(file);
      rec.real(point[0]);
      const bool lambda_stored = rec.stored();
      const ReadStatus st = rec.real(point[1]);
      const bool flux_stored = rec.stored();
      if (st == ReadStatus::end_of_file) {
        // The wavelength of a point cut off by the end of the file is not kept; a flux
        // stored together with the end of the file (a final slash) stays in the column.
        if (flux_stored) f.column[std::size_t(i)] = point[1];
        break;
      }
      // A value of the wrong form, or a value left unread (a slash, a null value): the
      // point would otherwise take what the table held there, another SSP's value. What the
      // read did store stays, as it does before any read problem.
      if (st == ReadStatus::error || !lambda_stored || !flux_stored) {
        f.error = {file.record_number(), rec.item(), std::string(file.last_record())};
        f.partial = lambda_stored;
        f.partial_lambda = point[0];
        if (flux_stored) f.column[std::size_t(i)] = point[1];
        f.end = SspFile::End::read_error;
        break;
      }
    }
    f.lambda.push_back(point[0]);
    f.column[std::size_t(i)] = point[1];
    if (i + 1 == kMaxPoints) {
      f.end = SspFile::End::limit;
      break;
    }
  }
  const auto& l = f.lambda;
  const auto down = std::adjacent_find(l.begin(), l.end(), std::greater<float>());
  f.decreases = down != l.end();
  if (f.decreases) f.first_decrease = int(down - l.begin()) + 2;
  f.sorted = std::none_of(l.begin(), l.end(), [](float v) { return v != v; }) && !f.decreases;
  f.finite = std::all_of(f.column.begin(), f.column.end(), [](float v) { return std::isfinite(v); });
  return f;
}

BaseFile parse_base_file(const std::string& text) {
  BaseFile b;
  {
    // Whether record 1 stores a value: two readings from different starting values.
    RecordFile a = RecordFile::from_string(text), c = RecordFile::from_string(text);
    std::int32_t x = 0, y = 1;
    ListRead count(a);
    const ReadStatus s = count.integer(x);
    ListRead(c).integer(y);
    b.count_status = status_of(s);
    if (s == ReadStatus::error) b.count_stop = {a.record_number(), count.item(), std::string(a.last_record())};
    b.count_stored = x == y;
    b.count = x;
  }
  RecordFile file = RecordFile::from_string(text);
  ListRead(file).integer(b.count);
  for (int j = 0; j < kMaxSsp; ++j) {
    BaseFile::Record r;
    ListRead rec(file);
    rec.text(r.filebase);
    rec.real(r.age);
    rec.real(r.met);
    rec.text(r.cod_base);
    rec.real(r.mst);
    rec.real(r.ind);
    rec.real(r.alph);
    r.status = status_of(rec.status());
    if (rec.status() == ReadStatus::error) r.stop = {file.record_number(), rec.item(), std::string(file.last_record())};
    b.records.push_back(std::move(r));
    if (rec.status() != ReadStatus::ok) break;  // the reader stops here, or reads nothing more
  }
  return b;
}

bool BaseSource::exists(const std::string& path) { return file_exists(path); }

std::shared_ptr<const BaseTables> assemble_base(std::span<const std::shared_ptr<const SspFile>> ssps) {
  auto t = std::make_shared<BaseTables>();
  std::fill(t->b_lambda.begin(), t->b_lambda.end(), kSentinel);
  t->columns.fill(constant_column(kSentinel).data());
  t->finite.fill(true);
  for (std::size_t k = 0; k < ssps.size() && k < std::size_t(kMaxSsp); ++k) {
    const SspFile& f = *ssps[k];
    std::copy(f.lambda.begin(), f.lambda.end(), t->b_lambda.begin());
    if (f.partial) t->b_lambda[f.lambda.size()] = f.partial_lambda;
    t->columns[k] = f.column.data();
    t->finite[k] = f.finite;
    t->owners.push_back(ssps[k]);
  }
  return t;
}

}  // namespace veltrane
