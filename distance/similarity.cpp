#include "distance/similarity.h"

namespace plix {

float word_distance(const std::int32_t* first, int n1, const std::int32_t* second, int n2) {
  // Rows 0..n1, columns 0..n2 of whole-number cells; one work table per thread.
  thread_local float D[MAX_CODES + 1][MAX_CODES + 1];
  const float longer = static_cast<float>(n2 > n1 ? n2 : n1);
  for (int i = 0; i <= n1; ++i) D[i][0] = static_cast<float>(i);
  for (int j = 1; j <= n2; ++j) D[0][j] = static_cast<float>(j);
  for (int i = 1; i <= n1; ++i) {
    for (int j = 1; j <= n2; ++j) {
      const float cost = first[i - 1] == second[j - 1] ? 0.0f : 1.0f;
      const float deletion = D[i - 1][j] + 1.0f;
      const float insertion = D[i][j - 1] + 1.0f;
      const float step = insertion < deletion ? insertion : deletion;
      const float substitution = D[i - 1][j - 1] + cost;
      D[i][j] = step < substitution ? step : substitution;
    }
  }
  return D[n1][n2] / longer;
}

float similarity_from_sums(double same_sum, double same_count, double diff_sum,
                           double diff_count, FpFault& fault) {
  const double numerator = (diff_count * same_sum) * 100.0;
  const double divisor = diff_sum * same_count;
  if (divisor == 0.0) {
    fault = numerator == 0.0 ? FpFault::invalid : FpFault::divide_by_zero;
    return 0.0f;
  }
  fault = FpFault::none;
  return static_cast<float>(100.0 - numerator / divisor);
}

namespace {

// A word widened from the store's 16-bit codes into a 32-bit work buffer.
struct Word {
  std::int32_t codes[MAX_CODES];
  int length = 0;
};

void widen(const LanguageStore& store, int l, int m, int syn, Word& w) {
  w.length = word_length(store, l, m, syn);
  const SoundCode* c = synonym_codes(store, l, m, syn);
  for (int p = 0; p < w.length; ++p) w.codes[p] = c[p];
}

// The mean of the 1, 2 or 4 distances between the synonyms of two meanings,
// every step in single precision in the order the legacy loop adds them.
float pair_mean(const Word& a1, const Word* a2, const Word& b1, const Word* b2) {
  float count = 1.0f;
  float sum = word_distance(a1.codes, a1.length, b1.codes, b1.length);
  if (a2 != nullptr) {
    count = count + 1.0f;
    sum = word_distance(a2->codes, a2->length, b1.codes, b1.length) + sum;
  }
  if (b2 != nullptr) {
    count = count + 1.0f;
    sum = sum + word_distance(a1.codes, a1.length, b2->codes, b2->length);
    if (a2 != nullptr) {
      count = count + 1.0f;
      sum = sum + word_distance(a2->codes, a2->length, b2->codes, b2->length);
    }
  }
  return sum / count;
}

}  // namespace

float language_similarity(const LanguageStore& store, int a, int b, int nmean, FpFault& fault) {
  double same_sum = 0.0, same_count = 0.0, diff_sum = 0.0, diff_count = 0.0;
  Word a1, a2, b1, b2;
  for (int i = 1; i <= nmean; ++i) {
    if (word_length(store, a, i, 1) == 0) continue;
    widen(store, a, i, 1, a1);
    const bool has_a2 = word_length(store, a, i, 2) != 0;
    if (has_a2) widen(store, a, i, 2, a2);
    for (int j = 1; j <= nmean; ++j) {
      if (word_length(store, b, j, 1) == 0) continue;
      widen(store, b, j, 1, b1);
      const bool has_b2 = word_length(store, b, j, 2) != 0;
      if (has_b2) widen(store, b, j, 2, b2);
      const float mean = pair_mean(a1, has_a2 ? &a2 : nullptr, b1, has_b2 ? &b2 : nullptr);
      if (i == j) {
        same_count += 1.0;
        same_sum += mean;
      } else {
        diff_count += 1.0;
        diff_sum += mean;
      }
    }
  }
  return similarity_from_sums(same_sum, same_count, diff_sum, diff_count, fault);
}

}  // namespace plix
