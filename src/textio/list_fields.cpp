// The list-directed REAL(4) field, 16 characters: the nine significant digits and the
// decimal exponent of the value (the digit engine), then one of eleven layouts. One value at
// a time on any CPU, or eight at a time with AVX2 where the CPU has it: the same digits from
// the same double products and the same layouts, so the same bytes (the tests compare both
// with the snprintf writer, detail::list_real_literal).
#include <array>
#include <bit>
#include <cstdint>
#include <cstring>

#if defined(__x86_64__)
#include <immintrin.h>
#endif

#include "textio/float_digits.h"
#include "textio/format.h"

namespace veltrane::textio {
namespace {

// A field is laid out from 16 source bytes: the digits after the first (0-7), the
// exponent's two digits (8, 9), a blank (10), the first digit (11), '.' (12), '-' (13), 'E'
// (14) and the exponent's sign (15). A layout says which source byte goes to each column.
enum : std::uint8_t { kExpTens = 8, kExpUnits = 9, kBlank = 10, kFirst = 11, kPoint = 12, kMinus = 13, kE = 14 };
enum : std::uint8_t { kExpSign = 15 };
using Layout = std::array<std::uint8_t, 16>;

// The source byte of the i-th significant digit (0: the first).
constexpr std::uint8_t digit(int i) { return i == 0 ? std::uint8_t{kFirst} : static_cast<std::uint8_t>(i - 1); }

// Layout 0: "0." and the nine digits (exponent -1, whose tens digit gives the '0'); 1 to 9:
// the point after the first 1 to 9 digits (exponent 0 to 8), each right-justified in 12
// columns before four blanks; 10: d.ddddddddE±xx right-justified in 16. Entry 2 × layout + 1
// puts a minus sign before the text.
constexpr auto kLayouts = [] {
  std::array<Layout, 22> t{};
  for (int form = 0; form < 11; ++form) {
    for (int neg = 0; neg < 2; ++neg) {
      Layout& l = t[static_cast<std::size_t>(2 * form + neg)];
      l.fill(kBlank);
      int sign_at = 1;
      if (form == 0) {
        sign_at = 0;
        l[1] = kExpTens;
        l[2] = kPoint;
        for (int i = 0; i < 9; ++i) l[static_cast<std::size_t>(3 + i)] = digit(i);
      } else {
        const int point = form < 10 ? form : 1;  // digits before the point
        for (int i = 0; i < 9; ++i) l[static_cast<std::size_t>(2 + i + (i < point ? 0 : 1))] = digit(i);
        l[static_cast<std::size_t>(2 + point)] = kPoint;
        if (form == 10) {
          l[12] = kE;
          l[13] = kExpSign;
          l[14] = kExpTens;
          l[15] = kExpUnits;
        }
      }
      if (neg == 1) l[static_cast<std::size_t>(sign_at)] = kMinus;
    }
  }
  return t;
}();

// The entry of kLayouts for decimal exponent k and sign bit `neg`.
inline unsigned layout_of(int k, unsigned neg) {
  const unsigned form = static_cast<unsigned>(k + 1) <= 9 ? static_cast<unsigned>(k + 1) : 10;
  return 2 * form + neg;
}

// The eight decimal digits of v < 10^8 as ASCII in a little-endian word, the first digit
// in the lowest byte: the halves, quarters and single digits split in parallel lanes by
// multiplications (x × 10486 >> 20 is x / 100 for x < 10^4, y × 103 >> 10 is y / 10 for
// y < 100).
std::uint64_t eight_digits(std::uint32_t v) {
  const std::uint64_t halves = (v / 10000) | (static_cast<std::uint64_t>(v % 10000) << 32);
  const std::uint64_t by100 = ((halves * 10486) >> 20) & 0x0000007F0000007FULL;
  const std::uint64_t pairs = (halves << 16) - by100 * ((100 << 16) - 1);
  const std::uint64_t by10 = ((pairs * 103) >> 10) & 0x000F000F000F000FULL;
  return (pairs << 8) - by10 * ((10 << 8) - 1) + 0x3030303030303030ULL;
}

bool is_finite(std::uint32_t bits) { return (bits & 0x7F800000u) != 0x7F800000u; }

// The field of x at f (16 characters), one value at a time.
void put_field(char* f, float x) {
  const std::uint32_t bits = std::bit_cast<std::uint32_t>(x);
  if (!is_finite(bits)) {
    std::memcpy(f, detail::list_real_literal(x).data(), 16);
    return;
  }
  detail::Significant d{0, 0};  // zero: nine zero digits, the point after the first
  if ((bits & 0x7FFFFFFFu) != 0) d = detail::round_significant(x, 9);
  const std::uint32_t first = d.digits / 100000000;
  const std::uint64_t rest = eight_digits(d.digits - first * 100000000);
  const unsigned e = static_cast<unsigned>(d.exp10 < 0 ? -d.exp10 : d.exp10);
  const char source[16] = {char(rest),
                           char(rest >> 8),
                           char(rest >> 16),
                           char(rest >> 24),
                           char(rest >> 32),
                           char(rest >> 40),
                           char(rest >> 48),
                           char(rest >> 56),
                           char('0' + e / 10),
                           char('0' + e % 10),
                           ' ',
                           char('0' + first),
                           '.',
                           '-',
                           'E',
                           d.exp10 < 0 ? '-' : '+'};
  const Layout& l = kLayouts[layout_of(d.exp10, bits >> 31)];
  for (std::size_t i = 0; i < 16; ++i) f[i] = source[l[i]];
}

// Where the fields of a table go: `per_record` fields of 17 characters (a blank, then the
// field) and a newline to a record.
class TableCursor {
 public:
  TableCursor(char* out, std::size_t per_record) : at_(out + 1), per_record_(per_record) {}
  // The 16 columns of the next field; the blank before it and, at the end of a record, the
  // newline after it are written here.
  char* next() {
    char* f = at_;
    f[-1] = ' ';
    at_ += 17;
    if (++column_ == per_record_) {
      at_[-1] = '\n';
      ++at_;
      column_ = 0;
    }
    return f;
  }
  char* end() const { return at_ - 1; }

 private:
  char* at_;
  std::size_t per_record_;
  std::size_t column_ = 0;
};

#if defined(__x86_64__)

// 10^-1 … 10^60 as the nearest doubles: kPow10Double with 10^-1 before it, so that each
// lane's two powers 10^(s-1) and 10^s (0 ≤ s ≤ 60) are one load.
constexpr auto kPowersFromTenth = [] {
  std::array<double, 62> t{};
  t[0] = 0.1;
  for (std::size_t i = 1; i < t.size(); ++i) t[i] = detail::kPow10Double[i - 1];
  return t;
}();

// The four 64-bit lane masks of m as four 32-bit lanes.
[[gnu::target("avx2")]] inline __m128i narrow(__m256d m) {
  return _mm256_castsi256_si128(
      _mm256_permutevar8x32_epi32(_mm256_castpd_si256(m), _mm256_setr_epi32(0, 2, 4, 6, 0, 2, 4, 6)));
}

// The digits n (9 of them, as an integer) and decimal exponent k of four values, or false
// when one of them needs what only put_field does: infinity or NaN, a subnormal, |x| ≥ 10^9
// or so (s < 0), or a product within 2^-17 of a tie. The steps are round_significant's, lane
// by lane: the same double products, the same choice between them, the same floor and
// fraction. Zero gives n = 0, k = 0.
[[gnu::target("avx2")]] bool round_four(const float* x, std::int32_t* n_out, std::int32_t* k_out) {
  const __m128i mag = _mm_and_si128(_mm_loadu_si128(reinterpret_cast<const __m128i*>(x)), _mm_set1_epi32(0x7FFFFFFF));
  const __m128i biased = _mm_srli_epi32(mag, 23);
  const __m128i zero = _mm_cmpeq_epi32(mag, _mm_setzero_si128());
  // Subnormals and non-finite values; zero is kept apart (its digits are fixed).
  const __m128i odd = _mm_andnot_si128(
      zero, _mm_or_si128(_mm_cmpeq_epi32(biased, _mm_setzero_si128()), _mm_cmpeq_epi32(biased, _mm_set1_epi32(255))));
  __m128i k = _mm_srai_epi32(_mm_mullo_epi32(_mm_sub_epi32(biased, _mm_set1_epi32(127)), _mm_set1_epi32(78913)), 18);
  const __m128i s = _mm_sub_epi32(_mm_set1_epi32(8), k);  // zero: 47
  const __m128i outside = _mm_or_si128(_mm_cmpgt_epi32(_mm_setzero_si128(), s), _mm_cmpgt_epi32(s, _mm_set1_epi32(60)));
  if (!_mm_testz_si128(_mm_or_si128(odd, outside), _mm_set1_epi32(-1))) return false;

  const __m256d ax = _mm256_cvtps_pd(_mm_castsi128_ps(mag));
  alignas(16) std::int32_t at[4];
  _mm_store_si128(reinterpret_cast<__m128i*>(at), s);
  const __m256d p01 = _mm256_loadu2_m128d(kPowersFromTenth.data() + at[1], kPowersFromTenth.data() + at[0]);
  const __m256d p23 = _mm256_loadu2_m128d(kPowersFromTenth.data() + at[3], kPowersFromTenth.data() + at[2]);
  const __m256d y_at_s = _mm256_mul_pd(ax, _mm256_permute4x64_pd(_mm256_unpackhi_pd(p01, p23), 0b11011000));
  const __m256d y_below = _mm256_mul_pd(ax, _mm256_permute4x64_pd(_mm256_unpacklo_pd(p01, p23), 0b11011000));
  const __m256d top = _mm256_set1_pd(1e9);
  const __m256d longer = _mm256_cmp_pd(y_at_s, top, _CMP_GE_OQ);
  const __m256d y = _mm256_blendv_pd(y_at_s, y_below, longer);
  const __m256d q = _mm256_round_pd(y, _MM_FROUND_TO_ZERO | _MM_FROUND_NO_EXC);
  const __m256d frac = _mm256_sub_pd(y, q);
  const __m256d half = _mm256_set1_pd(0.5);
  const __m256d off_tie = _mm256_andnot_pd(_mm256_set1_pd(-0.0), _mm256_sub_pd(frac, half));
  if (_mm256_movemask_pd(_mm256_cmp_pd(off_tie, _mm256_set1_pd(0x1p-17), _CMP_LE_OQ)) != 0) return false;
  __m256d n = _mm256_add_pd(q, _mm256_and_pd(_mm256_cmp_pd(frac, half, _CMP_GT_OQ), _mm256_set1_pd(1.0)));
  const __m256d carried = _mm256_cmp_pd(n, top, _CMP_EQ_OQ);  // rounded up to 10^9: 1.00000000 × 10^(k+1)
  n = _mm256_blendv_pd(n, _mm256_set1_pd(1e8), carried);
  k = _mm_sub_epi32(_mm_sub_epi32(k, narrow(longer)), narrow(carried));
  _mm_storeu_si128(reinterpret_cast<__m128i*>(n_out), _mm_andnot_si128(zero, _mm256_cvttpd_epi32(n)));
  _mm_storeu_si128(reinterpret_cast<__m128i*>(k_out), _mm_andnot_si128(zero, k));
  return true;
}

// v / 10^4 for every 32-bit lane (0 ≤ v < 2^32): the high bits of v × 0xD1B71759, shifted.
[[gnu::target("avx2")]] inline __m256i by_10000(__m256i v) {
  const __m256i magic = _mm256_set1_epi32(static_cast<int>(0xD1B71759u));
  const __m256i even = _mm256_srli_epi64(_mm256_mul_epu32(v, magic), 45);
  const __m256i odd = _mm256_srli_epi64(_mm256_mul_epu32(_mm256_srli_epi64(v, 32), magic), 45);
  return _mm256_blend_epi32(even, _mm256_slli_epi64(odd, 32), 0b10101010);
}

// Each 16-bit value below 100 as its two ASCII digits, the tens in the low byte.
[[gnu::target("avx2")]] inline __m256i two_digits(__m256i v) {
  const __m256i tens = _mm256_mulhi_epu16(v, _mm256_set1_epi16(6554));
  const __m256i units = _mm256_sub_epi16(v, _mm256_mullo_epi16(tens, _mm256_set1_epi16(10)));
  return _mm256_or_si256(_mm256_or_si256(tens, _mm256_slli_epi16(units, 8)), _mm256_set1_epi8('0'));
}

// Two fields from a vector holding the 16 source bytes of one (low half) and another (high
// half), at fa and fb.
[[gnu::target("avx2")]] inline void put_two(__m256i source, unsigned la, unsigned lb, char* fa, char* fb) {
  const __m256i pick = _mm256_loadu2_m128i(reinterpret_cast<const __m128i*>(kLayouts[lb].data()),
                                           reinterpret_cast<const __m128i*>(kLayouts[la].data()));
  const __m256i field = _mm256_shuffle_epi8(source, pick);
  _mm_storeu_si128(reinterpret_cast<__m128i*>(fa), _mm256_castsi256_si128(field));
  _mm_storeu_si128(reinterpret_cast<__m128i*>(fb), _mm256_extracti128_si256(field, 1));
}

// The eight fields of digits n and exponents k (round_four) and the values x's sign bits at
// f[0..7]. n = d0 × 10^8 + h × 10^4 + l; h and l split into two-digit parts h1 h2, l1 l2.
// Each field's source is four 32-bit words: its digit pairs h1 h2, l1 l2, then |k| and d0
// (with the blank), then the marks ".-E" and the exponent's sign.
[[gnu::target("avx2")]] void lay_out_eight(const std::int32_t* n_in, const std::int32_t* k_in, const float* x,
                                           char* const* f) {
  const __m256i n = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(n_in));
  const __m256i k = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(k_in));
  const __m256i high = by_10000(n);  // d0 × 10^4 + h
  const __m256i l = _mm256_sub_epi32(n, _mm256_mullo_epi32(high, _mm256_set1_epi32(10000)));
  const __m256i d0 = by_10000(high);
  const __m256i h = _mm256_sub_epi32(high, _mm256_mullo_epi32(d0, _mm256_set1_epi32(10000)));
  // h and l as 16-bit lanes (per half: h of its four fields, then l), each split by 100.
  const __m256i hl = _mm256_packus_epi32(h, l);
  const __m256i by100 = _mm256_srli_epi16(_mm256_mulhi_epu16(hl, _mm256_set1_epi16(5243)), 3);
  const __m256i rem100 = _mm256_sub_epi16(hl, _mm256_mullo_epi16(by100, _mm256_set1_epi16(100)));
  const __m256i pairs_h = two_digits(_mm256_unpacklo_epi16(by100, rem100));  // h1 h2 of each field
  const __m256i pairs_l = two_digits(_mm256_unpackhi_epi16(by100, rem100));  // l1 l2
  const __m256i ed = _mm256_xor_si256(two_digits(_mm256_or_si256(_mm256_abs_epi32(k), _mm256_slli_epi32(d0, 16))),
                                      _mm256_set1_epi32(('0' ^ ' ') << 16));  // d0's tens '0' made the blank
  const __m256i marks =
      _mm256_add_epi32(_mm256_set1_epi32(0x2B452D2E),  // ".-E+", or ".-E-"
                       _mm256_and_si256(_mm256_cmpgt_epi32(_mm256_setzero_si256(), k), _mm256_set1_epi32(2 << 24)));
  // Transposed: field i's four words in one 128-bit half, fields i and i + 4 in one vector.
  const __m256i t0 = _mm256_unpacklo_epi32(pairs_h, pairs_l), t1 = _mm256_unpackhi_epi32(pairs_h, pairs_l);
  const __m256i t2 = _mm256_unpacklo_epi32(ed, marks), t3 = _mm256_unpackhi_epi32(ed, marks);
  // layout_of, lane by lane: the form min(k + 1, 10) compared unsigned, twice, and the sign bit.
  const __m256i form = _mm256_min_epu32(_mm256_add_epi32(k, _mm256_set1_epi32(1)), _mm256_set1_epi32(10));
  const __m256i sign = _mm256_srli_epi32(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(x)), 31);
  alignas(32) std::uint32_t entry[8];
  _mm256_store_si256(reinterpret_cast<__m256i*>(entry), _mm256_add_epi32(_mm256_slli_epi32(form, 1), sign));
  put_two(_mm256_unpacklo_epi64(t0, t2), entry[0], entry[4], f[0], f[4]);
  put_two(_mm256_unpackhi_epi64(t0, t2), entry[1], entry[5], f[1], f[5]);
  put_two(_mm256_unpacklo_epi64(t1, t3), entry[2], entry[6], f[2], f[6]);
  put_two(_mm256_unpackhi_epi64(t1, t3), entry[3], entry[7], f[3], f[7]);
}

// The table in blocks of 64 values, in three short loops that keep many values in flight
// (one long loop would wait on each value's chain of operations): the places of the fields
// (and the blanks and newlines between them), the digits of every group of four (a group
// with a value round_four leaves is marked), then the fields.
[[gnu::target("avx2")]] char* put_table_avx2(char* out, std::span<const float> values, std::size_t per_record) {
  constexpr std::size_t kBlock = 64;
  TableCursor cursor(out, per_record);
  alignas(32) std::int32_t n[kBlock], k[kBlock];
  char* f[kBlock];
  bool rounded[kBlock / 4];
  std::size_t i = 0;
  for (; i + kBlock <= values.size(); i += kBlock) {
    const float* x = values.data() + i;
    for (char*& place : f) place = cursor.next();
    for (std::size_t g = 0; g < kBlock; g += 4) rounded[g / 4] = round_four(x + g, n + g, k + g);
    for (std::size_t g = 0; g < kBlock; g += 8) {
      if (rounded[g / 4] && rounded[g / 4 + 1]) {
        lay_out_eight(n + g, k + g, x + g, f + g);
      } else {
        for (std::size_t j = g; j < g + 8; ++j) put_field(f[j], x[j]);
      }
    }
  }
  for (; i < values.size(); ++i) put_field(cursor.next(), values[i]);
  return cursor.end();
}

#endif

}  // namespace

char* put_list_record(char* out, std::span<const float> values) {
  for (float v : values) {
    *out = ' ';
    put_field(out + 1, v);
    out += 17;
  }
  return out;
}

char* put_list_table(char* out, std::span<const float> values, std::size_t per_record) {
#if defined(__x86_64__)
  if (__builtin_cpu_supports("avx2")) return put_table_avx2(out, values, per_record);
#endif
  return detail::put_list_table_one_by_one(out, values, per_record);
}

namespace detail {

char* put_list_table_one_by_one(char* out, std::span<const float> values, std::size_t per_record) {
  TableCursor cursor(out, per_record);
  for (float v : values) put_field(cursor.next(), v);
  return cursor.end();
}

}  // namespace detail

}  // namespace veltrane::textio
