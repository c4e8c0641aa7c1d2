#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "distance/similarity.h"

namespace plix {
namespace {

using Codes = std::vector<std::int32_t>;

float distance(const Codes& a, const Codes& b) {
  return word_distance(a.data(), static_cast<int>(a.size()), b.data(), static_cast<int>(b.size()));
}

TEST(WordDistance, IdenticalWordsAreZeroAndDisjointWordsOne) {
  EXPECT_EQ(distance({5}, {5}), 0.0f);
  EXPECT_EQ(distance({1, 2, 3, 4, 5, 6}, {1, 2, 3, 4, 5, 6}), 0.0f);
  EXPECT_EQ(distance({1, 2, 3}, {4, 5, 6}), 1.0f);
  EXPECT_EQ(distance({7}, {8}), 1.0f);
}

TEST(WordDistance, DividesTheEditDistanceByTheLongerLength) {
  EXPECT_EQ(distance({3}, {3, 4}), 0.5f);
  EXPECT_EQ(distance({3, 4}, {3}), 0.5f);
  EXPECT_EQ(distance({1, 2, 3, 4}, {1, 3, 4}), 0.25f);
  EXPECT_EQ(distance({1, 3, 4}, {1, 2, 3, 4}), 0.25f);
  EXPECT_EQ(distance({1, 2, 3}, {3, 2, 1}), 2.0f / 3.0f);
  // Transposition costs two steps; insertion of a whole block costs its length.
  EXPECT_EQ(distance({1, 2}, {2, 1}), 1.0f);
  EXPECT_EQ(distance({9, 9, 1, 2}, {1, 2}), 0.5f);
}

TEST(WordDistance, EmptyAgainstNonEmptyIsOne) {
  EXPECT_EQ(distance({}, {1, 2, 3}), 1.0f);
  EXPECT_EQ(distance({4, 4}, {}), 1.0f);
}

TEST(WordDistance, ComparesHundredCodeWordsInFull) {
  Codes a(100), b(100);
  for (int k = 0; k < 100; ++k) a[k] = b[k] = k + 1;
  EXPECT_EQ(distance(a, b), 0.0f);
  b[99] = -1;  // only the last code differs
  EXPECT_EQ(distance(a, b), 0.01f);
  Codes c(a.begin() + 1, a.end());  // 99 codes: one deletion
  EXPECT_EQ(distance(a, c), 0.01f);
  // Negative codes and codes beyond 16 bits compare by equality only.
  EXPECT_EQ(distance({-3, 70000}, {-3, 70000}), 0.0f);
}

// Language slots filled by hand: slot, meaning position, synonym 1 and 2.
class Similarity : public ::testing::Test {
 protected:
  void SetUp() override {
    store = std::make_unique<LanguageStore>();
    ASSERT_TRUE(grow_store(*store, 64));
  }
  void word(int l, int m, const std::vector<SoundCode>& syn1,
            const std::vector<SoundCode>& syn2 = {}) {
    word_length(*store, l, m, 1) = static_cast<std::int16_t>(syn1.size());
    word_length(*store, l, m, 2) = static_cast<std::int16_t>(syn2.size());
    SoundCode* c = codes(*store, l, m);
    for (std::size_t k = 0; k < syn1.size(); ++k) c[k] = syn1[k];
    for (std::size_t k = 0; k < syn2.size(); ++k) c[SYNONYM2_OFFSET + k] = syn2[k];
  }
  float similarity(int a, int b, int nmean) {
    fault = FpFault::overflow;  // must be replaced by the call
    return language_similarity(*store, a, b, nmean, fault);
  }
  std::unique_ptr<LanguageStore> store;
  FpFault fault = FpFault::none;
};

TEST_F(Similarity, IdenticalListsScoreHundredUnlessSecondSynonymsDiffer) {
  for (int l : {1, 2}) {
    word(l, 1, {1, 2});
    word(l, 2, {3});
    word(l, 3, {4, 5, 6});
  }
  EXPECT_EQ(similarity(1, 2, 3), 100.0f);
  EXPECT_EQ(fault, FpFault::none);
  // A second synonym on both sides: synonym 1 of one language now also meets
  // synonym 2 of the other, so meaning 1 has the pair mean (0 + 1 + 1 + 0) / 4.
  // Same: 0.5 over 3 meanings; different: six pairs of mean 1.
  word(1, 1, {1, 2}, {7});
  word(2, 1, {1, 2}, {7});
  EXPECT_EQ(similarity(1, 2, 3), static_cast<float>(100.0 - (6.0 * 0.5 * 100.0) / (6.0 * 3.0)));
}

TEST_F(Similarity, EqualAveragesScoreZeroAndWorseSameMeaningsGoNegative) {
  // First language attests 1 and 2, the second only 1; both pairs have mean 0.5.
  word(1, 1, {1});
  word(1, 2, {2});
  word(2, 1, {1, 2});
  EXPECT_EQ(similarity(1, 2, 2), 0.0f);
  // Same-meaning distance 1 against a different-meaning distance 0.5.
  word(1, 1, {3});
  word(1, 2, {1});
  EXPECT_EQ(similarity(1, 2, 2), -100.0f);
  EXPECT_EQ(fault, FpFault::none);
}

TEST_F(Similarity, FortyMeaningsGiveFortySameAndFifteenHundredSixtyDifferentPairs) {
  for (int m = 1; m <= 40; ++m) {
    word(1, m, {static_cast<SoundCode>(m)});
    word(2, m, {static_cast<SoundCode>(m)});
  }
  word(2, 1, {99});  // same-meaning pair 1 at distance 1
  word(2, 2, {1});   // same-meaning pair 2 at distance 1, and (1, 2) at distance 0
  // Same: sum 2 over 40; different: sum 1559 over 40 x 39 = 1560.
  EXPECT_EQ(similarity(1, 2, 40),
            static_cast<float>(100.0 - ((1560.0 * 2.0) * 100.0) / (1559.0 * 40.0)));
}

TEST_F(Similarity, SecondSynonymsGiveMeansOfFourOrTwoDistances) {
  word(1, 1, {1}, {2});
  word(1, 2, {3});
  word(2, 1, {1}, {5});
  word(2, 2, {3});
  // (1,1): distances 0, 1, 1, 1 -> 0.75; (1,2) and (2,1): 1; (2,2): 0.
  EXPECT_EQ(similarity(1, 2, 2), 62.5f);
  // A second synonym on one side only: (1,1) has distances 0 and 1 -> 0.5.
  word(2, 1, {1});
  EXPECT_EQ(similarity(1, 2, 2), 75.0f);
  EXPECT_EQ(similarity(2, 1, 2), 75.0f);
}

TEST_F(Similarity, MeaningOfOneLanguageOnlyCountsAmongDifferentMeanings) {
  word(1, 1, {1});
  word(1, 2, {2});
  word(2, 1, {1});
  word(2, 2, {3});
  EXPECT_EQ(similarity(1, 2, 3), 50.0f);
  // Meaning 3 of the first language adds (3,1) at 0.5 and (3,2) at 1.
  word(1, 3, {1, 6});
  EXPECT_EQ(similarity(1, 2, 3), static_cast<float>(100.0 - (4.0 * 1.0 * 100.0) / (3.5 * 2.0)));
}

TEST_F(Similarity, MeaningWithoutSynonymOneIsNotAttested) {
  word(1, 1, {1});
  word(1, 2, {2});
  word(1, 3, {}, {9});  // synonym 2 only
  word(2, 1, {1});
  word(2, 2, {3});
  word(2, 3, {9});
  // Same: (1,1) 0, (2,2) 1; different: (1,2) (1,3) (2,1) (2,3), all 1.
  EXPECT_EQ(similarity(1, 2, 3), 50.0f);
}

TEST_F(Similarity, SwappingTheLanguagesAgreesUpToRounding) {
  word(1, 1, {1, 2, 3}, {1, 4});
  word(1, 2, {5, 6, 7, 8});
  word(1, 3, {2, 9, 9});
  word(2, 1, {1, 2, 4});
  word(2, 2, {5, 7, 8}, {6, 6, 7});
  word(2, 3, {9, 2, 9, 1, 1});
  const float forward = similarity(1, 2, 3);
  EXPECT_NEAR(similarity(2, 1, 3), forward, 1e-4);
  EXPECT_GT(forward, 0.0f);
  EXPECT_LT(forward, 100.0f);
}

TEST_F(Similarity, UndefinedQuotientsAreReportedAsFaults) {
  // No meaning in common: same count 0, so 0 / 0.
  word(1, 1, {1});
  word(1, 2, {2});
  word(2, 3, {3});
  similarity(1, 2, 3);
  EXPECT_EQ(fault, FpFault::invalid);
  // One meaning each: no different-meaning pair, again 0 / 0.
  word(3, 1, {1});
  word(4, 1, {2});
  similarity(3, 4, 3);
  EXPECT_EQ(fault, FpFault::invalid);
  // Every different-meaning pair at distance 0 but the same-meaning ones
  // apart: a nonzero numerator over 0.
  word(5, 1, {1});
  word(5, 2, {2});
  word(6, 1, {2});
  word(6, 2, {1});
  similarity(5, 6, 2);
  EXPECT_EQ(fault, FpFault::divide_by_zero);
}

}  // namespace
}  // namespace plix
