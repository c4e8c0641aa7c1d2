// Normalized edit distance of two encoded words and the similarity of two
// languages built on it: the literal computation, kept as the reference
// that every faster engine must match bit for bit.
#pragma once

#include <cstdint>

#include "database/store.h"
#include "textio/errors.h"

namespace plix {

// Edit distance with unit costs over the longer length, as a single-precision
// real in 0..1. Lengths 0..100; never both 0.
float word_distance(const std::int32_t* first, int n1, const std::int32_t* second, int n2);

// Similarity in percent of the languages in slots a < b over meaning
// positions 1..nmean. When the final division has a zero divisor no value
// exists: `fault` is set to invalid (0/0) or divide_by_zero and 0 is
// returned; otherwise `fault` is none.
float language_similarity(const LanguageStore& store, int a, int b, int nmean, FpFault& fault);

// The final formula from the four 64-bit accumulators, with the same fault
// rule: 100 - ((dc * ss) * 100) / (ds * sc), rounded once to single precision.
float similarity_from_sums(double same_sum, double same_count, double diff_sum,
                           double diff_count, FpFault& fault);

}  // namespace plix
