// The fast engine against the literal language_similarity and the literal
// pair loop, bit for bit, on every kernel path this processor runs.
#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstring>
#include <cstdlib>
#include <memory>
#include <random>
#include <vector>

#include "distance/engine.h"
#include "report/pair_engine.h"
#include "distance/similarity.h"
#include "database/scanner.h"
#include "report/aggregate.h"
#include "report/report.h"
#include "run/parameters.h"
#include "run/run_state.h"
#include "run/selection.h"
#include "run/run.h"
#include "textio/units.h"

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <sstream>
#include "tests/programs.h"
#include "tests/weighted_reference.h"
#include "report/bootstrap.h"

namespace plix {
namespace {

std::vector<EngineIsa> supported_paths() {
  std::vector<EngineIsa> v;
  for (EngineIsa isa : all_engine_isas)
    if (engine_isa_supported(isa)) v.push_back(isa);
  return v;
}

// Word lists of random content. Length classes are drawn so that every lane
// width of the kernel is used: up to 8, 9..16, 17..64 and 65..100 codes.
struct Generator {
  explicit Generator(unsigned seed) : rng(seed) {}
  std::mt19937 rng;
  int missing_percent = 10;
  int synonym_percent = 30;
  int long_percent = 10;  // share of words outside the 1..8 class
  int alphabet = 12;      // codes -4 .. alphabet-5: negative codes included

  int uniform(int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); }

  int length() {
    if (uniform(1, 100) > long_percent) return uniform(1, 8);
    switch (uniform(0, 2)) {
      case 0: return uniform(9, 16);
      case 1: return uniform(17, 64);
      default: return uniform(65, 100);
    }
  }

  void fill_word(SoundCode* code, int n, const SoundCode* model) {
    for (int p = 0; p < n; ++p)
      code[p] = (model != nullptr && uniform(0, 2) != 0) ? model[p % 8]
                                                         : (SoundCode)uniform(-4, alphabet - 5);
  }

  // Meaning m of slot l; a word of `model` lends codes, so that languages
  // resemble each other more in the same meaning.
  void fill(LanguageStore& s, int l, int nmean, const SoundCode (*model)[8] = nullptr) {
    for (int m = 1; m <= MAX_MEANINGS; ++m) {
      word_length(s, l, m, 1) = 0;
      word_length(s, l, m, 2) = 0;
    }
    for (int m = 1; m <= nmean; ++m) {
      if (uniform(1, 100) <= missing_percent) continue;
      int n1 = length();
      const bool syn2 = uniform(1, 100) <= synonym_percent;
      if (syn2 && n1 > SYNONYM2_OFFSET) n1 = SYNONYM2_OFFSET;  // the synonym-1 limit
      word_length(s, l, m, 1) = (std::int16_t)n1;
      fill_word(codes(s, l, m), n1, model ? model[m - 1] : nullptr);
      if (syn2) {
        int n2 = length();
        if (n2 > MAX_CODES - SYNONYM2_OFFSET) n2 = MAX_CODES - SYNONYM2_OFFSET;
        word_length(s, l, m, 2) = (std::int16_t)n2;
        fill_word(codes(s, l, m) + SYNONYM2_OFFSET, n2, model ? model[m - 1] : nullptr);
      }
    }
  }
};

std::uint32_t bits(float f) { return std::bit_cast<std::uint32_t>(f); }
std::uint64_t bits(double d) { return std::bit_cast<std::uint64_t>(d); }

class EngineKernel : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    store = std::make_unique<LanguageStore>().release();
    ASSERT_TRUE(grow_store(*store, 512));
  }
  static void TearDownTestSuite() {
    delete store;
    store = nullptr;
  }
  static LanguageStore* store;

  // Runs rows against texts on one path and compares every counted pair.
  static void expect_literal(EngineIsa isa, const std::vector<std::int32_t>& rows,
                             const std::vector<std::int32_t>& texts, int nmean) {
    const KernelPath& path = kernel_path(isa);
    KernelWork work(path);
    std::vector<float> out(rows.size() * texts.size(), -999.0f);
    std::vector<std::int32_t> count(rows.size());
    PairBatch b;
    b.store = store;
    b.nmean = nmean;
    b.rows = rows.data();
    b.nrows = (int)rows.size();
    b.texts = texts.data();
    b.ntexts = (int)texts.size();
    b.out = out.data();
    b.out_stride = texts.size();
    b.out_count = count.data();
    path.run_batch(b, work.data());
    int fault_row = 0, fault_text = 0;
    FpFault fault = FpFault::none;
    for (std::size_t r = 0; r < rows.size(); ++r) {
      int k = 0;
      for (int t : texts) {
        if (t <= rows[r] || store->branch_of[t] == store->branch_of[rows[r]]) continue;
        FpFault f = FpFault::none;
        const float want = language_similarity(*store, rows[r], t, nmean, f);
        ASSERT_LT(k, count[r]) << path.name;
        if (f == FpFault::none) {
          EXPECT_EQ(bits(want), bits(out[r * texts.size() + k]))
              << path.name << " pair " << rows[r] << "," << t << " nmean " << nmean << ": " << want
              << " vs " << out[r * texts.size() + k];
        } else if (fault == FpFault::none) {
          fault = f;
          fault_row = rows[r];
          fault_text = t;
        }
        ++k;
      }
      EXPECT_EQ(k, count[r]) << path.name;
    }
    EXPECT_EQ(fault, b.fault) << path.name;
    EXPECT_EQ(fault_row, b.fault_row) << path.name;
    EXPECT_EQ(fault_text, b.fault_text) << path.name;
  }
};
LanguageStore* EngineKernel::store = nullptr;

TEST_F(EngineKernel, RandomWordListsOfEveryLengthClassMatchTheLiteralSimilarity) {
  for (int nmean : {1, 2, 3, 7, 17, 33, 40}) {
    Generator g(1000 + nmean);
    g.long_percent = 35;
    SoundCode model[MAX_MEANINGS][8];
    for (auto& w : model) g.fill_word(w, 8, nullptr);
    const int n = 24;
    for (int l = 1; l <= n; ++l) {
      g.fill(*store, l, nmean, l % 3 ? model : nullptr);
      store->branch_of[l] = 1 + l % 5;  // some pairs share a branch and are not counted
    }
    std::vector<std::int32_t> rows, texts;
    for (int l = 1; l <= ENGINE_BATCH_ROWS; ++l) rows.push_back(l * 2);
    for (int l = 1; l <= n; ++l) texts.push_back(l);
    for (EngineIsa isa : supported_paths()) expect_literal(isa, rows, texts, nmean);
  }
}

TEST_F(EngineKernel, ShortWordsWithAndWithoutSynonymsOnEitherSide) {
  struct Mix {
    int synonyms, missing;
  } mixes[] = {{0, 0}, {100, 0}, {50, 20}, {0, 60}, {100, 50}};
  unsigned seed = 7;
  for (const Mix& mix : mixes) {
    Generator g(seed++);
    g.synonym_percent = mix.synonyms;
    g.missing_percent = mix.missing;
    g.long_percent = 5;
    g.alphabet = 6;  // many equal codes
    const int nmean = 40, n = 20;
    for (int l = 1; l <= n; ++l) {
      g.fill(*store, l, nmean);
      store->branch_of[l] = l;
    }
    std::vector<std::int32_t> rows{1, 2, 3, 4, 5}, texts;
    for (int l = 1; l <= n; ++l) texts.push_back(l);
    for (EngineIsa isa : supported_paths()) expect_literal(isa, rows, texts, nmean);
  }
}

TEST_F(EngineKernel, PairSumsOfShortWordsWithSynonyms) {
  // Short words with a second synonym on one side or both: the pair sums
  // of quotients of different lengths round in single precision (1/3 + 1/5,
  // 1/7 + 2/3, ...). Texts of more than 31 such meanings, or patterns with
  // synonyms against more than 31 text meanings of one word or more than 15
  // of two, exceed the room of the whole-number sums (foreign texts, no code
  // in common with the patterns: every distance is 1, the largest). Longer
  // text words mix in the other paths.
  struct Mix {
    int row_synonyms, text_synonyms, text_long, nmean;
    bool foreign;
  } mixes[] = {{0, 100, 0, 40, false}, {0, 60, 0, 40, false},  {0, 100, 0, 31, false},
               {0, 100, 0, 40, true},  {0, 100, 3, 40, false}, {0, 80, 10, 33, false},
               {50, 0, 0, 40, true},   {30, 0, 0, 40, false},  {50, 10, 5, 40, false},
               {50, 100, 0, 40, true}, {40, 40, 0, 40, false}};
  unsigned seed = 61;
  for (const Mix& mix : mixes) {
    Generator g(seed++);
    g.missing_percent = 0;
    g.alphabet = 5;  // distances of every value
    const int rows_n = 10, n = 30;
    for (int l = 1; l <= n; ++l) {
      g.synonym_percent = l <= rows_n ? mix.row_synonyms : mix.text_synonyms;
      g.long_percent = l <= rows_n ? 0 : mix.text_long;
      g.fill(*store, l, mix.nmean);
      if (mix.foreign && l > rows_n)
        for (int m = 1; m <= mix.nmean; ++m)
          for (int p = 0; p < MAX_CODES; ++p) codes(*store, l, m)[p] += 100;
      store->branch_of[l] = l;
    }
    std::vector<std::int32_t> rows, texts;
    for (int l = 1; l <= rows_n; ++l) rows.push_back(l);
    for (int l = rows_n + 1; l <= n; ++l) texts.push_back(l);
    for (EngineIsa isa : supported_paths()) expect_literal(isa, rows, texts, mix.nmean);
  }
}

TEST_F(EngineKernel, LongWordsAndBoundaryLengths) {
  // Patterns and texts at every class boundary, alone and as pairs of
  // synonyms (synonym 1 at its limit of 50 codes when a synonym 2 follows).
  const int lengths[] = {1, 4, 5, 8, 9, 16, 17, 50, 63, 64, 65, 99, 100};
  constexpr int nlengths = sizeof lengths / sizeof lengths[0];
  Generator g(99);
  const int nmean = nlengths;
  int l = 0;
  for (int variant = 0; variant < 4; ++variant) {
    for (int shift = 0; shift < 3; ++shift) {
      ++l;
      store->branch_of[l] = l;
      for (int m = 1; m <= MAX_MEANINGS; ++m) word_length(*store, l, m, 1) = word_length(*store, l, m, 2) = 0;
      for (int m = 1; m <= nmean; ++m) {
        int n1 = lengths[(m - 1 + shift * 4) % nlengths];
        const bool syn2 = variant >= 2 && m % 2 == 0;
        if (syn2 && n1 > 50) n1 = 50;
        word_length(*store, l, m, 1) = (std::int16_t)n1;
        g.alphabet = variant % 2 ? 3 : 40;
        g.fill_word(codes(*store, l, m), n1, nullptr);
        if (syn2) {
          const int n2 = lengths[(m + variant) % 6] > 50 ? 50 : lengths[(m + variant) % 6];
          word_length(*store, l, m, 2) = (std::int16_t)n2;
          g.fill_word(codes(*store, l, m) + SYNONYM2_OFFSET, n2, nullptr);
        }
      }
    }
  }
  std::vector<std::int32_t> rows, texts;
  for (int r = 1; r <= ENGINE_BATCH_ROWS; ++r) rows.push_back(r);
  for (int t = 1; t <= l; ++t) texts.push_back(t);
  for (EngineIsa isa : supported_paths()) expect_literal(isa, rows, texts, nmean);
}

TEST_F(EngineKernel, LongWordsWithEditsAroundTheWordBoundaryOfTheirLanes) {
  // Patterns of 65..100 codes take two 64-bit words per lane: edits just
  // below, at and above code 64 carry the addition and the shifts across
  // the two words. Each text word is its pattern with one edit (or a
  // length class of its own), so that the distances are small and exact.
  struct Edit {
    int at;     // 0-based code position
    int kind;   // 0 substitute, 1 delete, 2 insert, 3 keep the first `at` codes only
  };
  const Edit edits[] = {{0, 0}, {62, 0}, {63, 0}, {64, 0}, {63, 1}, {64, 1}, {63, 2},
                        {64, 2}, {65, 2}, {99, 0}, {8, 3},  {40, 3}, {64, 3}, {70, 3}};
  const int lengths[] = {65, 66, 80, 99, 100};
  auto clear = [](int l) {
    for (int m = 1; m <= MAX_MEANINGS; ++m) word_length(*store, l, m, 1) = word_length(*store, l, m, 2) = 0;
    store->branch_of[l] = l;
  };
  const int nmean = 5;  // meaning m: a pattern of lengths[m - 1] codes
  std::vector<std::int32_t> rows, texts;
  for (int l = 1; l <= 4; ++l) {  // 20 long slots: several vectors and a part-full one
    clear(l);
    for (int m = 1; m <= nmean; ++m) {
      // Few distinct codes: long runs of match bits, long carries.
      word_length(*store, l, m, 1) = (std::int16_t)lengths[m - 1];
      for (int p = 0; p < MAX_CODES; ++p) codes(*store, l, m)[p] = (SoundCode)((p * p + l * m) % 3);
    }
    rows.push_back(l);
  }
  int l = 4;
  for (const Edit& e : edits)
    for (int from = 1; from <= 4; from += 3) {
      clear(++l);
      for (int m = 1; m <= nmean; ++m) {
        const SoundCode* a = codes(*store, from, m);
        SoundCode* c = codes(*store, l, m);
        int n = lengths[m - 1];
        std::memcpy(c, a, sizeof(SoundCode) * MAX_CODES);
        if (e.at < n) {
          if (e.kind == 0) c[e.at] = -1;
          if (e.kind == 1) std::memmove(c + e.at, a + e.at + 1, sizeof(SoundCode) * (--n - e.at));
          if (e.kind == 2 && n < MAX_CODES) {
            std::memmove(c + e.at + 1, a + e.at, sizeof(SoundCode) * (n++ - e.at));
            c[e.at] = -2;
          }
          if (e.kind == 3) n = e.at;
        }
        word_length(*store, l, m, 1) = (std::int16_t)n;
      }
      texts.push_back(l);
    }
  for (EngineIsa isa : supported_paths()) expect_literal(isa, rows, texts, nmean);
}

TEST_F(EngineKernel, EveryDistanceBetweenShortWords) {
  // Pattern words 1..m against text words sharing their first t codes with
  // it: the distance is max(m, n) - min(t, m), which for t = 0..min(m, n)
  // runs through every value from |m - n| to max(m, n).
  auto clear = [](int l) {
    for (int m = 1; m <= MAX_MEANINGS; ++m) word_length(*store, l, m, 1) = word_length(*store, l, m, 2) = 0;
    store->branch_of[l] = l;
  };
  const int nmean = 2;
  std::vector<std::int32_t> texts;
  int l = 16;
  for (int n = 1; n <= 12; ++n)
    for (int t = 0; t <= n; ++t) {
      clear(++l);
      word_length(*store, l, 1, 1) = (std::int16_t)n;
      for (int p = 0; p < n; ++p) codes(*store, l, 1)[p] = (SoundCode)(p < t ? p + 1 : 200 + p);
      word_length(*store, l, 2, 1) = 1;
      codes(*store, l, 2)[0] = (SoundCode)(60 + n % 2);
      texts.push_back(l);
    }
  for (int m = 1; m <= 12; ++m) {
    clear(m);
    word_length(*store, m, 1, 1) = (std::int16_t)m;
    for (int p = 0; p < m; ++p) codes(*store, m, 1)[p] = (SoundCode)(p + 1);
    word_length(*store, m, 2, 1) = 1;
    codes(*store, m, 2)[0] = (SoundCode)(60 + m % 3);
  }
  for (EngineIsa isa : supported_paths()) {
    expect_literal(isa, {1, 2, 3, 4, 5, 6, 7, 8}, texts, nmean);
    expect_literal(isa, {9, 10, 11, 12}, texts, nmean);
  }
}

TEST_F(EngineKernel, RowsSharingWordsMatchTheLiteralSimilarity) {
  // Rows that copy meanings of one another: equal words, the same synonym 1
  // with another or no synonym 2, a word that is a prefix of the other, and
  // words of every length class; equal rows and equal texts included.
  Generator g(4242);
  g.long_percent = 20;
  const int nmean = 40, n = 30;
  g.fill(*store, 1, nmean);
  for (int l = 2; l <= n; ++l) {
    g.fill(*store, l, nmean);
    for (int m = 1; m <= nmean; ++m) {
      const int from = g.uniform(1, l - 1);
      switch (g.uniform(0, 5)) {
        case 0: case 1: case 2:  // the same words
          word_length(*store, l, m, 1) = word_length(*store, from, m, 1);
          word_length(*store, l, m, 2) = word_length(*store, from, m, 2);
          std::memcpy(codes(*store, l, m), codes(*store, from, m), sizeof(SoundCode) * MAX_CODES);
          break;
        case 3:  // the same synonym 1, synonym 2 kept from the generator or dropped
          if (word_length(*store, from, m, 1) <= SYNONYM2_OFFSET) {
            word_length(*store, l, m, 1) = word_length(*store, from, m, 1);
            std::memcpy(codes(*store, l, m), codes(*store, from, m), sizeof(SoundCode) * SYNONYM2_OFFSET);
            if (g.uniform(0, 1)) word_length(*store, l, m, 2) = 0;
          }
          break;
        case 4:  // one code shorter
          if (word_length(*store, from, m, 1) > 1 && word_length(*store, from, m, 2) == 0) {
            word_length(*store, l, m, 1) = (std::int16_t)(word_length(*store, from, m, 1) - 1);
            word_length(*store, l, m, 2) = 0;
            std::memcpy(codes(*store, l, m), codes(*store, from, m), sizeof(SoundCode) * MAX_CODES);
          }
          break;
        default: break;
      }
    }
    store->branch_of[l] = l;
  }
  store->branch_of[1] = 1;
  std::memcpy(&store->sound_codes[7], &store->sound_codes[6], sizeof store->sound_codes[6]);
  std::memcpy(&store->word_length[7], &store->word_length[6], sizeof store->word_length[6]);
  std::vector<std::int32_t> texts;
  for (int l = 1; l <= n; ++l) texts.push_back(l);
  for (EngineIsa isa : supported_paths()) {
    expect_literal(isa, {1, 2, 3, 4, 5, 6, 7, 8}, texts, nmean);
    expect_literal(isa, {9, 12, 13, 20, 21, 22, 27, 28}, texts, nmean);
  }
}

TEST_F(EngineKernel, EqualWordsScoreOneHundredAndMissingOverlapFaults) {
  const int nmean = 4;
  for (int l = 1; l <= 5; ++l) {
    store->branch_of[l] = l;
    for (int m = 1; m <= MAX_MEANINGS; ++m) word_length(*store, l, m, 1) = word_length(*store, l, m, 2) = 0;
  }
  // Slots 1 and 2: identical lists; slot 3: meaning 1 only; slot 4: meaning
  // 2 only (no common meaning with 3); slot 5: nothing attested.
  for (int l = 1; l <= 2; ++l)
    for (int m = 1; m <= nmean; ++m) {
      word_length(*store, l, m, 1) = 3;
      for (int p = 0; p < 3; ++p) codes(*store, l, m)[p] = (SoundCode)(m * 10 + p);
    }
  word_length(*store, 3, 1, 1) = 2;
  codes(*store, 3, 1)[0] = codes(*store, 3, 1)[1] = -7;
  word_length(*store, 4, 2, 1) = 1;
  codes(*store, 4, 2)[0] = -7;
  std::vector<std::int32_t> rows{1, 2, 3, 4}, texts{1, 2, 3, 4, 5};
  for (EngineIsa isa : supported_paths()) {
    expect_literal(isa, rows, texts, nmean);
    const KernelPath& path = kernel_path(isa);
    KernelWork work(path);
    float out[4 * 5];
    std::int32_t count[4];
    PairBatch b;
    b.store = store;
    b.nmean = nmean;
    b.rows = rows.data();
    b.nrows = 4;
    b.texts = texts.data();
    b.ntexts = 5;
    b.out = out;
    b.out_stride = 5;
    b.out_count = count;
    path.run_batch(b, work.data());
    EXPECT_EQ(100.0f, out[0]) << path.name;  // pair (1, 2)
    // (1, 5): nothing in common and no different-meaning distance: 0/0.
    EXPECT_EQ(FpFault::invalid, b.fault) << path.name;
    EXPECT_EQ(1, b.fault_row);
    EXPECT_EQ(5, b.fault_text);
  }
}

// The literal pair loop, for comparing whole tallies.
EngineFault literal_aggregate(const LanguageStore& s, const BranchTable& br, int nlang, int nmean,
                              NodeTally& tally) {
  tally.pair_count.refill();
  tally.similarity_sum.refill();
  if (!tally.pair_count.grow_to(br.node_count) || !tally.similarity_sum.grow_to(br.node_count)) std::abort();
  for (int i = 1; i < nlang; ++i) {
    const int bi = s.branch_of[i], n = br.node_of[bi];
    for (int j = i + 1; j <= nlang; ++j) {
      const int bj = s.branch_of[j];
      if (br.node_of[bj] != n || bj == bi) continue;
      tally.pair_count[n] += 1.0;
      FpFault f = FpFault::none;
      const float sim = language_similarity(s, i, j, nmean, f);
      if (f != FpFault::none) return EngineFault{i, j, f};
      tally.similarity_sum[n] += sim;
    }
  }
  return EngineFault{};
}

class EngineAggregate : public EngineKernel {
 protected:
  void SetUp() override {
    branches = std::make_unique<BranchTable>();
    ASSERT_TRUE(grow_branch_table(*branches, 64));
    clear_branch_table(*branches);
    want = std::make_unique<NodeTally>();
    got = std::make_unique<NodeTally>();
  }
  // Languages 1..nlang in `nbranch` branches spread over `nnode` nodes,
  // interleaved in slot order as a database would list them.
  void classify(int nlang, int nbranch, int nnode, unsigned seed) {
    std::mt19937 rng(seed);
    branches->branch_count = nbranch;
    branches->node_count = nnode;
    for (int b = 1; b <= nbranch; ++b) branches->node_of[b] = 1 + (b - 1) % nnode;
    for (int l = 1; l <= nlang; ++l)
      store->branch_of[l] = 1 + std::uniform_int_distribution<int>(0, nbranch - 1)(rng);
  }
  void expect_same_tally(int nlang, int nmean, int threads) {
    const EngineFault f0 = literal_aggregate(*store, *branches, nlang, nmean, *want);
    for (EngineIsa isa : supported_paths()) {
      EngineOptions opt;
      opt.isa = isa;
      opt.threads = threads;
      if (ring_floats != 0) opt.ring_floats = ring_floats;
      const EngineFault f = engine_aggregate(*store, *branches, nlang, nmean, *got, opt);
      EXPECT_EQ(f0.kind, f.kind) << engine_isa_name(isa);
      EXPECT_EQ(f0.first, f.first) << engine_isa_name(isa);
      EXPECT_EQ(f0.second, f.second) << engine_isa_name(isa);
      if (f0.kind != FpFault::none) continue;
      for (int n = 0; n <= branches->node_count; ++n) {
        ASSERT_EQ(bits(want->pair_count[n]), bits(got->pair_count[n])) << "node " << n;
        ASSERT_EQ(bits(want->similarity_sum[n]), bits(got->similarity_sum[n]))
            << engine_isa_name(isa) << " threads " << threads << " node " << n;
      }
    }
  }
  std::unique_ptr<BranchTable> branches;
  std::unique_ptr<NodeTally> want, got;
  std::size_t ring_floats = 0;  // 0: the engine's default result ring
};

TEST_F(EngineAggregate, TallyMatchesTheLiteralLoopForAnyThreadCount) {
  const int nlang = 150, nmean = 30;
  Generator g(4242);
  g.long_percent = 8;
  for (int l = 1; l <= nlang; ++l) g.fill(*store, l, nmean);
  for (int l = 1; l <= nlang; l += 37) {  // a few languages without meaning 1..5
    for (int m = 1; m <= 5; ++m) word_length(*store, l, m, 1) = 0;
  }
  classify(nlang, 23, 4, 1);
  for (int threads : {1, 2, 3, 5}) expect_same_tally(nlang, nmean, threads);
}

TEST_F(EngineAggregate, ResultRingOfAnySizeGivesTheSameTally) {
  // From a ring that holds only the largest batch, so that every batch waits
  // for the one before it and wraps at the end, up to one that holds all.
  const int nlang = 200, nmean = 12;
  Generator g(99);
  for (int l = 1; l <= nlang; ++l) g.fill(*store, l, nmean);
  classify(nlang, 17, 3, 6);
  for (std::size_t floats : {1, 3000, 5000, 1 << 20})
    for (int threads : {1, 4}) {
      ring_floats = floats;
      expect_same_tally(nlang, nmean, threads);
    }
}

TEST_F(EngineAggregate, OneNodeOfManySmallBranches) {
  const int nlang = 120, nmean = 40;
  Generator g(77);
  g.synonym_percent = 60;
  g.long_percent = 2;
  for (int l = 1; l <= nlang; ++l) g.fill(*store, l, nmean);
  classify(nlang, 30, 1, 2);
  expect_same_tally(nlang, nmean, 2);
}

TEST_F(EngineAggregate, NoPairsLeaveEveryEntryZero) {
  Generator g(5);
  for (int l = 1; l <= 6; ++l) g.fill(*store, l, 10);
  // All languages in one branch, and then every one in a node of its own.
  classify(6, 1, 1, 3);
  expect_same_tally(6, 10, 2);
  branches->branch_count = branches->node_count = 6;
  for (int l = 1; l <= 6; ++l) store->branch_of[l] = branches->node_of[l] = l;
  expect_same_tally(6, 10, 2);
  expect_same_tally(1, 10, 2);
  expect_same_tally(0, 10, 2);
  for (int n = 0; n <= branches->node_count; ++n) {
    ASSERT_EQ(0.0, got->pair_count[n]);
    ASSERT_EQ(0.0, got->similarity_sum[n]);
  }
}

TEST_F(EngineAggregate, TheFirstFaultingPairInLoopOrderIsReported) {
  const int nlang = 60, nmean = 6;
  Generator g(11);
  g.missing_percent = 0;
  for (int l = 1; l <= nlang; ++l) g.fill(*store, l, nmean);
  classify(nlang, 12, 3, 4);
  // Languages attesting a single meaning: a pair of them has either no
  // meaning in common or no pair of different meanings (0/0 either way).
  for (int l : {40, 47, 55}) {
    for (int m = 1; m <= nmean; ++m) word_length(*store, l, m, 1) = 0;
    word_length(*store, l, l == 47 ? 2 : 1, 1) = 2;
  }
  for (int threads : {1, 2, 4}) expect_same_tally(nlang, nmean, threads);
  // A language with no words at all faults against its first partner.
  for (int m = 1; m <= nmean; ++m) word_length(*store, 9, m, 1) = 0;
  for (int threads : {1, 3}) expect_same_tally(nlang, nmean, threads);
}

TEST_F(EngineAggregate, ZeroDifferentMeaningSumIsADivisionByZero) {
  // Crossed words: different meanings identical (sum 0), same meanings not.
  for (int l = 1; l <= 3; ++l)
    for (int m = 1; m <= MAX_MEANINGS; ++m) word_length(*store, l, m, 1) = word_length(*store, l, m, 2) = 0;
  const SoundCode x = 5, y = -5;
  const SoundCode words[3][2] = {{x, y}, {y, x}, {x, x}};
  for (int l = 1; l <= 3; ++l)
    for (int m = 1; m <= 2; ++m) {
      word_length(*store, l, m, 1) = 1;
      codes(*store, l, m)[0] = words[l - 1][m - 1];
    }
  classify(3, 3, 1, 9);
  for (int l = 1; l <= 3; ++l) store->branch_of[l] = l;
  expect_same_tally(3, 2, 2);
  EngineOptions opt;
  const EngineFault f = engine_aggregate(*store, *branches, 3, 2, *got, opt);
  EXPECT_EQ(FpFault::divide_by_zero, f.kind);
  EXPECT_EQ(1, f.first);
  EXPECT_EQ(2, f.second);
}

TEST_F(EngineAggregate, ReplicatesAreTheLiteralWeightedLoopOnEveryPath) {
  // Words of every length class, second synonyms and missing meanings, so
  // that every way the kernels form a same-meaning mean is taken.
  constexpr int nlang = 90, nmean = 33, R = 37;  // R: not a whole number of vectors
  Generator g(2323);
  g.long_percent = 20;
  g.synonym_percent = 40;
  for (int l = 1; l <= nlang; ++l) g.fill(*store, l, nmean);
  classify(nlang, 14, 3, 8);
  std::vector<std::uint16_t> w = draw_meaning_weights(5, R, nmean);
  std::fill_n(w.begin(), nmean, 1);               // replicate 0: the plain run
  std::fill_n(w.begin() + nmean, nmean, 0);       // replicate 1: one meaning drawn
  w[nmean + 3] = static_cast<std::uint16_t>(nmean);  // many pairs share none of it
  RunReplicates rep;
  prepare_replicates(w, R, nmean, rep);
  const ReplicateWeights weights = rep.weights();
  ASSERT_EQ(FpFault::none, literal_aggregate(*store, *branches, nlang, nmean, *want).kind);
  // The literal loop: per node and replicate the pairs in slot order.
  const int nnode = branches->node_count;
  std::vector<double> sum((nnode + 1) * R, 0.0);
  std::vector<std::int32_t> count((nnode + 1) * R, 0);
  for (int i = 1; i < nlang; ++i)
    for (int j = i + 1; j <= nlang; ++j) {
      const int n = branches->node_of[store->branch_of[i]];
      if (branches->node_of[store->branch_of[j]] != n || store->branch_of[i] == store->branch_of[j])
        continue;
      float sim[R];
      FpFault f[R];
      literal_weighted(*store, i, j, nmean, w.data(), R, sim, f);
      for (int r = 0; r < R; ++r) {
        if (f[r] != FpFault::none) continue;
        sum[n * R + r] += sim[r];
        ++count[n * R + r];
      }
    }
  for (EngineIsa isa : supported_paths())
    for (int threads : {1, 3}) {
      EngineOptions opt;
      opt.isa = isa;
      opt.threads = threads;
      opt.ring_floats = 2000;  // batches wait for room and the ring wraps
      opt.replicate_weights = &weights;
      ReplicateSums sums;
      opt.replicate_sums = &sums;
      ASSERT_EQ(FpFault::none, engine_aggregate(*store, *branches, nlang, nmean, *got, opt).kind);
      for (int n = 0; n <= nnode; ++n) {
        EXPECT_EQ(bits(want->similarity_sum[n]), bits(sums.sum[n * sums.stride]))
            << engine_isa_name(isa) << " node " << n << ": all weights 1";
        for (int r = 0; r < R; ++r) {
          EXPECT_EQ(bits(sum[n * R + r]), bits(sums.sum[n * sums.stride + r]))
              << engine_isa_name(isa) << " threads " << threads << " node " << n << " replicate " << r;
          EXPECT_EQ(count[n * R + r], sums.count[n * sums.stride + r]);
        }
      }
    }
}

TEST(EngineReplicates, EveryPathAddsEachPairInOrderAsTheFormulaGivesIt) {
  // Pairs whose similarities lie near 1e-7 between others up to 100 and
  // below 0, so that any other order of addition gives other sums; 45
  // pairs and 21 replicates, neither a whole number of groups or vectors.
  const int nmean = 7, R = 21, npairs = 45;
  std::mt19937 rng(8);
  std::vector<PairDiagonal> pairs(npairs);
  for (int p = 0; p < npairs; ++p) {
    PairDiagonal& d = pairs[p];
    d.diff_count = 30 + p;
    const bool near_zero = p % 3 == 0;
    // Near 0: every same-meaning mean 2^-7, the background a few units of
    // 2^-32 above it; else means drawn from 0..1, some missing.
    d.diff_sum = near_zero ? d.diff_count * 0x1p-7 + (p % 5 + 1) * 0x1p-32 : d.diff_count / 2;
    for (int i = 0; i < nmean; ++i) {
      const int kind = (p + i) % 4;
      d.same[i] = near_zero ? 0x1p-7f : kind == 2 ? -1.0f : float(rng() % 1025) / 1024;
    }
  }
  std::vector<std::uint16_t> w = draw_meaning_weights(3, R, nmean);
  RunReplicates rep;
  prepare_replicates(w, R, nmean, rep);
  std::vector<double> want(R, 0.0);
  std::vector<std::int32_t> want_count(R, 0);
  for (int p = 0; p < npairs; ++p)
    for (int r = 0; r < R; ++r) {
      double ss = 0, sc = 0;
      for (int i = 0; i < nmean; ++i)
        if (pairs[p].same[i] >= 0) {
          sc += w[r * nmean + i];
          ss += w[r * nmean + i] * double(pairs[p].same[i]);
        }
      FpFault f;
      const float sim = similarity_from_sums(ss, sc, pairs[p].diff_sum, pairs[p].diff_count, f);
      if (f != FpFault::none) continue;
      want[r] += sim;
      ++want_count[r];
    }
  for (EngineIsa isa : supported_paths()) {
    std::vector<double> sum(rep.stride, 0.0);
    std::vector<std::int32_t> count(rep.stride, 0);
    // In two calls, as the reduction makes one per row.
    kernel_path(isa).add_replicates(pairs.data(), 19, rep.weights(), sum.data(), count.data());
    kernel_path(isa).add_replicates(pairs.data() + 19, npairs - 19, rep.weights(), sum.data(),
                                    count.data());
    for (int r = 0; r < R; ++r) {
      EXPECT_EQ(bits(want[r]), bits(sum[r])) << engine_isa_name(isa) << " replicate " << r;
      EXPECT_EQ(want_count[r], count[r]) << engine_isa_name(isa) << " replicate " << r;
    }
  }
}

// A whole run with the literal pair loop in place of the engine.
int literal_run(ByteSource& in, ByteSink& out, ByteSink& err) {
  TextIO io(in, out, err);
  try {
    auto run = std::make_unique<RunState>(io);
    read_run_input(*run);
    finish_scan(run->scan_context());
    aggregate_pairs_reference(run->io, run->store, run->branches, run->scan.language_count,
                              run->selection.meaning_count, run->tally);
    write_report(run->io, run->params, run->branches, run->tally);
  } catch (const RunEnd& end) {
    return end.status;
  }
}

TEST(EngineWholeRun, ReportsAreByteIdenticalToTheLiteralRun) {
  std::ifstream file(std::string(PLIX_SOURCE_DIR) + "/examples/generated.txt", std::ios::binary);
  std::stringstream text;
  text << file.rdbuf();
  ASSERT_FALSE(text.str().empty());
  // The example as it stands (SYNONYMS 2, LEVEL 1), and with SYNONYMS 1 and
  // LEVEL 0 in its parameter record (columns 1-6 and 19-24).
  std::string variant = text.str();
  variant.replace(0, 6, "     1");
  variant.replace(18, 6, "     0");
  for (const std::string& input : {text.str(), variant}) {
    StringSource in1(input), in2(input);
    StringSink out1, err1, out2, err2;
    err1.console = true;  // a terminal: a quick run still shows no progress line
    const int s1 = run_program(in1, out1, err1);
    const int s2 = literal_run(in2, out2, err2);
    EXPECT_EQ(s2, s1);
    EXPECT_EQ(out2.data, out1.data);
    EXPECT_EQ(err2.data, err1.data);
    EXPECT_NE(std::string::npos, out1.data.find("PAIRS"));
  }
}

TEST(EngineWholeRun, ASmallStackLimitChangesNothing) {
  PLIX_SKIP_LIMITS_UNDER_EMULATOR();
  // Threads take the stack limit as their default size; the workers set
  // their own, and the kernel keeps its tables in the work area.
  const std::string input = std::string(PLIX_SOURCE_DIR) + "/examples/generated.txt";
  const std::string output = ::testing::TempDir() + "engine_small_stack.out";
  std::ifstream file(input, std::ios::binary);
  std::stringstream text;
  text << file.rdbuf();
  StringSource in(text.str());
  StringSink want, err;
  ASSERT_EQ(0, run_program(in, want, err));
  const pid_t pid = fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    const rlimit small{128 * 1024, 128 * 1024};
    const int fd_in = open(input.c_str(), O_RDONLY);
    const int fd_out = open(output.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    if (setrlimit(RLIMIT_STACK, &small) != 0 || fd_in < 0 || fd_out < 0 || dup2(fd_in, 0) < 0 ||
        dup2(fd_out, 1) < 0)
      _exit(100);
    exec_program(PLIX62C_BINARY);
    _exit(101);
  }
  int status = 0;
  ASSERT_EQ(pid, waitpid(pid, &status, 0));
  ASSERT_TRUE(WIFEXITED(status)) << "signal " << WTERMSIG(status);
  EXPECT_EQ(0, WEXITSTATUS(status));
  std::ifstream got_file(output, std::ios::binary);
  std::stringstream got;
  got << got_file.rdbuf();
  EXPECT_EQ(want.data, got.str());
  std::remove(output.c_str());
}

TEST(EngineDispatch, AffinityAndPaths) {
  EXPECT_GE(affinity_cpu_count(), 1);
  EXPECT_TRUE(engine_isa_supported(EngineIsa::portable));
  EXPECT_TRUE(engine_isa_supported(best_engine_isa()));
  // A path the processor lacks falls back to one it has.
  for (EngineIsa isa : all_engine_isas)
    EXPECT_NE(nullptr, kernel_path(isa).run_batch);
}

}  // namespace
}  // namespace plix
