// The similarity kernel, written once over GCC vector types of PLIX_VBYTES
// bytes and compiled once per instruction set (distance/kernel_*.cpp): each
// including file defines PLIX_VBYTES, PLIX_KERNEL_NAME, PLIX_KERNEL_NS (the
// path's own namespace, so that profiles tell the paths apart) and
// PLIX_KERNEL_PATH_FN before the include. The instructions that differ
// between paths are in distance/kernel_isa.h. Everything here has internal
// linkage, so that no function built with wider instructions can stand in
// for one of another path at link time; for the same reason it uses no
// standard-library templates.
//
// How a batch is computed. The pattern languages of a batch (rows) have their
// words laid out in SIMD lanes, one lane per word, with the lane width chosen
// by the word's length class: 8-bit lanes up to 8 codes (4-bit lanes, two to a
// byte, for words of up to 4 codes without a synonym 2),
// 16-bit up to 16, 64-bit up to 64, and 128-bit lanes (two 64-bit words) up to
// 100. A meaning whose words equal those of an earlier row of the sub-batch
// shares that row's slot. Where vectors hold whole chunks of 16 lanes (and,
// with one chunk a vector, no slot of the class has a synonym 2), slots go in
// chunks of 16, and a chunk whose slots have synonyms 2 gets a second lane
// chunk for them, so that the pair means over 2 or 4 distances are formed lane
// by lane in the order of the literal additions; elsewhere a vector's lanes
// are split in halves for the two synonyms. Each word of a text language is
// run against all lanes at once with the bit-parallel edit distance; the
// per-code equality masks of every lane come from one table row per distinct
// code of the batch. On the 64-byte paths the distance k / L of 8-bit and
// 4-bit lanes against text words of up to 8 codes comes from a table of
// single-precision quotients, and otherwise from a correctly rounded division;
// both have the bits of the literal quotient.
// Pair means are multiples of 2^-32, at most 1, and at most 1600 of them are
// summed per pair, so their double-precision sums are exact in any order.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "distance/engine.h"
#include "distance/kernel_isa.h"
#include "distance/similarity.h"

namespace plix {
namespace {
namespace PLIX_KERNEL_NS {


// Capacities of one sub-batch.
constexpr int QCAP = 1536;      // meaning slots, padding included
constexpr int VCAP = QCAP;      // lane vectors
constexpr int LANECAP = VCAP * 64 + 16 * 128;
constexpr std::size_t ROWS_CAP = std::size_t(16) << 20;  // equality-mask table bytes
constexpr int CODE_SPACE = 65536;                        // every 16-bit code

// Length classes in the order their vectors are placed. CLASS4 holds
// words of up to 4 codes without a synonym 2 in 4-bit lanes, two to a
// byte (the low halves of a vector's bytes are its lanes 0..VB-1, the high
// halves lanes VB..2VB-1).
enum : std::uint8_t { CLASS8 = 0, CLASS4 = 1, CLASS16 = 2, CLASS64 = 3, CLASS128 = 4, NCLASS = 5 };
// Bytes of one lane's mask word in a vector (a nibble for CLASS4), lanes of
// a vector, and vectors per lane vector: a 128-bit lane is a 64-bit lane of
// a vector of low words and the same lane of the vector of high words that
// follows it in a table row.
constexpr int class_lane_bytes[NCLASS] = {1, 1, 2, 8, 8};
constexpr int class_lanes[NCLASS] = {VB, 2 * VB, VB / 2, VB / 8, VB / 8};
constexpr int class_words[NCLASS] = {1, 1, 1, 1, 2};
// Whether this path sums table quotients as whole numbers (see
// Work::acc_fix): where the table lookup exists.
constexpr bool FIXED_SUMS = HAS_TABLE_LOOKUP && VB == 64;
// Every path has the 4-bit lanes: two lanes a byte for 12 operations a
// code where 8-bit lanes take 10.
constexpr bool NIBBLE_LANES = true;

struct VecInfo {
  std::uint32_t voff;    // byte offset of this vector in a table row
  std::uint32_t pos;     // slot position of lane 0
  std::uint32_t mf_off;  // offset of its lane lengths in `lane_len`
  std::uint16_t half;    // vectors not fused: slots in this vector
  std::uint8_t paired;   // vectors not fused: synonym 2 lanes follow the synonym 1 lanes
  std::uint8_t fused;    // chunks of 16 slots: means formed as the quotients come
  // Fused vectors: nch slot chunks at positions pos + 16 u, their synonyms 1
  // in lane chunk c1[u] and synonyms 2 in lane chunk c2[u] (-1: none).
  std::uint8_t nch;
  std::uint8_t simple;  // no synonym 2 in any chunk: c1[u] = u
  std::int8_t c1[8], c2[8];
};

struct PendingSlot {
  std::int16_t row;
  std::int16_t meaning;
  std::int16_t len[2];
  std::int16_t id;  // order of creation, for finding its position later
};

// The batch layout's own tables, kept here rather than on the stack of a
// worker thread.
struct LayoutScratch {
  static constexpr int N = ENGINE_BATCH_ROWS * MAX_MEANINGS;
  // Slots by class, and one spare list for reordering.
  PendingSlot pend[NCLASS + 1][N];
  // Where each slot of the vector classes went: vector, lanes of its synonyms.
  std::int16_t slot_vec[NCLASS][N];
  std::int16_t slot_lane[NCLASS][N][2];
  // Rows owning a slot of each meaning, and the slot's id.
  std::int16_t first_row[MAX_MEANINGS + 1][ENGINE_BATCH_ROWS];
  std::int16_t first_id[MAX_MEANINGS + 1][ENGINE_BATCH_ROWS];
  std::int16_t pos_of_id[N];
  struct Alias {
    std::int16_t row, meaning, id;
  } alias[N];
  int npend[NCLASS];    // pending slots of each class
  bool paired[NCLASS];  // whether any slot of the class has a synonym 2
  int nalias;
};

// 8-bit and 4-bit vectors of a sub-batch at most: 16-slot chunks of
// synonyms 1 and 2, VB / 16 to an 8-bit vector, one vector part-filled where
// the paired chunks end, one more where the classes meet.
constexpr int BASE_VECS = FIXED_SUMS ? 48 : 1;
static_assert(!FIXED_SUMS || (2 * ENGINE_BATCH_ROWS * MAX_MEANINGS / 16 + 3) / (VB / 16) + 2 <= BASE_VECS,
              "8-bit vectors");

// The per-thread work area.
struct alignas(64) Work {
  std::uint16_t code_index[CODE_SPACE];  // code -> table row, 0 = not in the batch
  alignas(64) float dist[2][2][QCAP];    // [text synonym][pattern synonym][slot]
  alignas(64) float mean[QCAP];
  alignas(64) float part[QCAP];  // pair sums over text synonym 1, awaiting synonym 2
  alignas(64) double acc[QCAP];
  alignas(64) std::int32_t a2_mask[QCAP];
  alignas(64) float scale1[QCAP];  // 1 / pair count without a text synonym 2
  alignas(64) float scale2[QCAP];  // with one
  alignas(64) float lane_len[LANECAP];
  // Per vector, VB bytes: the masks of the lanes' pattern bits; for 128-bit
  // lanes those of the high words (the low words are always full).
  alignas(64) unsigned char lane_mask[VCAP * VB];
  // Per 8-bit or 4-bit vector and text length n <= 8, the lanes'
  // table-index base n + qadd[n][m] for pattern length m (0 for empty
  // lanes; see lane_distances), made once per sub-batch (this and the
  // tables below are read on the paths with FIXED_SUMS only).
  alignas(64) unsigned char lane_base[BASE_VECS][9][2 * VB];
  // Quotients of 8-bit lanes against a text word of n <= 8 codes:
  // qtab[n][k + qadd[n][m]] = k / max(m, n), with qadd[n][m] = n * max(m - n, 0).
  // Every distance k of words of lengths m and n lies in [|m - n|, max(m, n)],
  // so the index stays below 32 and the entries of different m never meet.
  alignas(64) float qtab[9][32];
  // The same quotients times 2^26, whole numbers: every nonzero k / L with
  // L <= 8 is at least 1/8, so its float is a multiple of 2^-26.
  alignas(64) std::uint32_t qtab_fix[9][32];
  // Pair means that are such table quotients (8-bit lanes of slots without
  // a synonym 2, against a text meaning of one word of up to 8 codes) are
  // summed as whole multiples of 2^-26 here, beside the double sums: at most
  // 40 of them per slot, so below 2^32. slot_fix marks the slots that take
  // this path for such text meanings; mean_fix holds the latest means.
  alignas(64) std::uint32_t acc_fix[QCAP];
  alignas(64) std::uint32_t mean_fix[QCAP];
  // The same slots against a text meaning of two words of up to 8 codes
  // each: the pair sum d1 + d2 of two such quotients, rounded to single
  // precision, is 0 or at least 1/8 and so again a multiple of 2^-26, at
  // most 2, and the mean is half of it. acc_fix2 sums these pair sums times
  // 2^26 (means times 2^27), for at most FIX2_CAP text meanings of a text
  // language, so below 2^32; mean_fix then holds the latest such sum.
  alignas(64) std::uint32_t acc_fix2[QCAP];
  bool fix2_on;     // the current text meaning takes this path
  bool fix2_dirty;  // acc_fix2 and acc_fixc may hold sums of the last text
  // Slots of 8-bit lanes with a synonym 2 in their vector (slot_fix 2)
  // against a text meaning of one word of up to 8 codes: pair sums of one
  // or two such quotients, times 2^26 as above, summed here and moved into
  // acc after every FIX2_CAP text meanings, so below 2^32.
  alignas(64) std::uint32_t acc_fixb[QCAP];
  // The same slots against a text meaning of two such words: pair sums of
  // two or four quotients (a mean over two counted twice), at most 4, so
  // times 2^26 they are means times 2^28; moved into acc after every
  // FIX4_CAP such text meanings.
  alignas(64) std::uint32_t acc_fixc[QCAP];
  alignas(64) std::uint8_t slot_fix[QCAP];
  // Same-meaning means by row: slot_fix 1 against one text word times 2^26
  // in same_fix1 (below 2^32: at most 40 means of at most 2^26), the others
  // times 2^28 in same_fix; fix1_pos holds the slots of slot_fix 1 by
  // meaning and row, fix1_rows the rows that have one.
  std::uint32_t same_fix1[32];
  std::int32_t fix1_pos[MAX_MEANINGS + 1][32];
  std::uint32_t fix1_rows[MAX_MEANINGS + 1];
  std::uint64_t same_fix[ENGINE_BATCH_ROWS];
  alignas(16) unsigned char qadd[9][16];
  alignas(16) unsigned char qbase[9][16];  // n + qadd[n][m]
  bool qtab_ready;
  // Runs of consecutive slots of one row, for the per-row totals.
  // At most two runs per row in each vector class.
  std::int16_t run_row[2 * NCLASS * ENGINE_BATCH_ROWS];
  std::int16_t run_begin[2 * NCLASS * ENGINE_BATCH_ROWS];
  std::int16_t run_end[2 * NCLASS * ENGINE_BATCH_ROWS];
  int nruns;
  // Slots counted again in another row's totals: shared_pos[u] for row shared_row[u].
  std::int16_t shared_row[ENGINE_BATCH_ROWS * MAX_MEANINGS];
  std::int16_t shared_pos[ENGINE_BATCH_ROWS * MAX_MEANINGS];
  int nshared;
  std::int16_t diag[ENGINE_BATCH_ROWS][MAX_MEANINGS + 1];
  // The same by meaning, the rows that attest it and their slots: first
  // the slots of slot_fix, then the others.
  std::int16_t same_row[MAX_MEANINGS + 1][ENGINE_BATCH_ROWS];
  std::int16_t same_pos[MAX_MEANINGS + 1][ENGINE_BATCH_ROWS];
  std::int8_t nsame_fix[MAX_MEANINGS + 1];   // slot_fix 1 end here
  std::int8_t nsame_fixb[MAX_MEANINGS + 1];  // slot_fix 2 end here
  std::int8_t nsame[MAX_MEANINGS + 1];
  VecInfo vec[VCAP];
  std::uint32_t text_off[MAX_CODES + 1];
  std::int32_t codes_used[ENGINE_BATCH_ROWS * MAX_MEANINGS * 2 * MAX_CODES];
  std::uint64_t attested[ENGINE_BATCH_ROWS];
  double same[ENGINE_BATCH_ROWS];
  double total[ENGINE_BATCH_ROWS];
  // The same-meaning means of the current text language by row and
  // meaning, for PairBatch::diag; valid where both attest the meaning.
  float same_mean[ENGINE_BATCH_ROWS][MAX_MEANINGS];
  LayoutScratch scratch;
  alignas(64) unsigned char rows[ROWS_CAP];
};

static_assert(VB <= 64 && VB >= 16, "vector width");

inline int length_class(int len) {
  if (len <= 8) return CLASS8;
  if (len <= 16) return CLASS16;
  if (len <= 64) return CLASS64;
  return CLASS128;
}


// The columns of the edit distance of one text word (its table-row offsets
// `off`, n >= 1 codes) against every lane of NV consecutive vectors, left in
// pv and mv: Myers' bit-parallel algorithm in Hyyro's form for the distance
// of whole words. Pv and Mv are the vertical deltas of the current column;
// after the last code the distance is n + popcount(Pv) - popcount(Mv) over
// the pattern's bits. Lanes are fields of a vector's elements: `keep` has
// every bit of a field but its top one where fields share an element (all
// bits where each element is one lane), `low` each field's lowest bit. The
// addition adds the kept bits, whose sum stays inside the field, and takes
// the top bit from the operands (where Eq is 0, the sum's top bit xor Pv is
// the kept sum's top bit; where Eq is 1, Xh is 1 anyway); the shifts clear
// each field's top bit first, so that nothing crosses into the next field.
// The horizontal +1 delta shifted in at the top row is carried by the
// complement: with nph = ~Ph, (Ph << 1) | 1 is ~(nph << 1), which saves the
// separate OR. The first column, from Pv = all ones and Mv = 0, has Ph = 0
// and Mh = Xh. Several vectors at once keep independent dependency chains in
// flight.
template <typename V, int NV>
[[gnu::always_inline]] inline void edit_columns(const unsigned char* row_base,
                                                const std::uint32_t* off, int n, V keep, V low,
                                                V* pv, V* mv) {
  for (int v = 0; v < NV; ++v) {
    V eq;
    std::memcpy(&eq, row_base + off[0] + v * VB, sizeof(V));
    const V xh = (((eq & keep) + keep) ^ keep) | eq;
    const V mh = xh & keep;
    pv[v] = (mh + mh) | ~(eq | low);
    mv[v] = eq & low;
  }
  for (int q = 1; q < n; ++q) {
    const unsigned char* row = row_base + off[q];
    for (int v = 0; v < NV; ++v) {
      V eq;
      std::memcpy(&eq, row + v * VB, sizeof(V));
      const V xv = eq | mv[v];
      const V b = pv[v] & keep;
      const V xh = xor_or((eq & b) + b, b, eq);
      const V nph = andnot_or(mv[v], xh, pv[v]);  // ~(Mv | ~(Xh | Pv))
      const V mh = b & xh;
      const V t = nph & keep;
      const V nph2 = t + t;  // ~((Ph << 1) | 1)
      const V mh2 = mh + mh;
      pv[v] = or_andnot(mh2, xv, nph2);  // Mh' | ~(Xv | Ph')
      mv[v] = xv & ~nph2;                // Ph' & Xv
    }
  }
}

// Edit distances of one text word against every lane (one an element) of NV
// consecutive vectors, from the columns of edit_columns.
// With lane bases (8-bit lanes against words of up to 8 codes on the paths
// with table lookups: base_bytes, one vector every base_stride bytes), the
// output is not k but the quotient-table index k - n + base of each lane.
// N > 0: a text word of N codes, n is N (the loop's trip count known).
// OUT > 0: each vector's k at k_out + OUT * v (else one vector apart).
template <typename E, int NV, int N = 0, int OUT = 0>
[[gnu::always_inline]] inline void lane_distances(const unsigned char* row_base, const std::uint32_t* off, int n_arg,
                           const unsigned char* mask_bytes, E* k_out,
                           const unsigned char* base_bytes = nullptr, int base_stride = 0) {
  typedef E V __attribute__((vector_size(VB)));
  const int n = N > 0 ? N : n_arg;
  V pv[NV], mv[NV], base[NV];
  for (int v = 0; v < NV; ++v) {
    if (base_bytes)
      std::memcpy(&base[v], base_bytes + v * base_stride, sizeof(V));
    else
      base[v] = V{} + (E)n;
  }
  edit_columns<V, NV>(row_base, off, n, ~V{}, V{} + (E)1, pv, mv);
  for (int v = 0; v < NV; ++v) {
    V mask;
    std::memcpy(&mask, mask_bytes + v * VB, sizeof(V));
    const V k = (base[v] + lane_popcount<V, E>(pv[v] & mask)) - lane_popcount<V, E>(mv[v] & mask);
    std::memcpy(k_out + v * (OUT > 0 ? OUT : (int)(VB / sizeof(E))), &k, sizeof(V));
  }
}

// The same for 128-bit lanes (patterns of 65 to 100 codes): each lane vector
// is a vector of low words followed by one of high words, in the table rows
// and in the state. The low word's carry of the addition and its top bits
// of the two shifts go into the high word.
template <int NV>
inline void lane_distances_128(const unsigned char* row_base, const std::uint32_t* off, int n,
                               const unsigned char* mask_bytes, std::uint64_t* k_out) {
  typedef std::uint64_t V __attribute__((vector_size(VB)));
  V p0[NV], p1[NV], m0[NV], m1[NV];  // Pv and Mv, low and high words
#pragma GCC unroll 4
  for (int v = 0; v < NV; ++v) {
    p0[v] = p1[v] = ~V{};
    m0[v] = m1[v] = V{};
  }
  for (int q = 0; q < n; ++q) {
    const unsigned char* row = row_base + off[q];
#pragma GCC unroll 4
    for (int v = 0; v < NV; ++v) {
      V e0, e1;
      std::memcpy(&e0, row + 2 * v * VB, sizeof(V));
      std::memcpy(&e1, row + (2 * v + 1) * VB, sizeof(V));
      const V xv0 = e0 | m0[v], xv1 = e1 | m1[v];
      const V s0 = (e0 & p0[v]) + p0[v];
      const V s1 = (e1 & p1[v]) + p1[v] - (V)(s0 < p0[v]);  // carry of the low word
      const V xh0 = xor_or(s0, p0[v], e0), xh1 = xor_or(s1, p1[v], e1);
      const V nph0 = andnot_or(m0[v], xh0, p0[v]), nph1 = andnot_or(m1[v], xh1, p1[v]);
      const V mh0 = p0[v] & xh0, mh1 = p1[v] & xh1;
      const V nph20 = nph0 + nph0, nph21 = shift_in_high(nph1, nph0);
      const V mh20 = mh0 + mh0, mh21 = shift_in_high(mh1, mh0);
      p0[v] = or_andnot(mh20, xv0, nph20);
      p1[v] = or_andnot(mh21, xv1, nph21);
      m0[v] = xv0 & ~nph20;
      m1[v] = xv1 & ~nph21;
    }
  }
#pragma GCC unroll 4
  for (int v = 0; v < NV; ++v) {
    V mask;
    std::memcpy(&mask, mask_bytes + v * VB, sizeof(V));
    typedef std::uint64_t E;
    const V k = ((V{} + (E)n) + lane_popcount<V, E>(p0[v]) + lane_popcount<V, E>(p1[v] & mask)) -
                lane_popcount<V, E>(m0[v]) - lane_popcount<V, E>(m1[v] & mask);
    std::memcpy(k_out + v * 16, &k, sizeof(V));
  }
}


void fill_quotient_tables(Work& w) {
  for (int n = 1; n <= 8; ++n) {
    for (int i = 0; i < 32; ++i) w.qtab[n][i] = 0.0f;
    for (int m = 0; m < 16; ++m) w.qadd[n][m] = (unsigned char)(m > n && m <= 8 ? n * (m - n) : 0);
    for (int k = 0; k <= n; ++k) w.qtab[n][k] = (float)k / (float)n;
    for (int m = n + 1; m <= 8; ++m)
      for (int k = m - n; k <= m; ++k) w.qtab[n][k + w.qadd[n][m]] = (float)k / (float)m;
    for (int i = 0; i < 32; ++i) w.qtab_fix[n][i] = (std::uint32_t)(w.qtab[n][i] * 0x1p26f);
    for (int m = 0; m < 16; ++m) w.qbase[n][m] = (unsigned char)(n + w.qadd[n][m]);
  }
  w.qtab_ready = true;
}

// The quotients of one chunk of 16 8-bit lanes against a text word of
// n <= 8 codes, from the table of that length and the lanes' table indices
// (see lane_distances).
[[gnu::always_inline]] inline v16sf table_chunk(const Work& w, int n, const std::uint8_t* idx) {
  return table_lookup16(w.qtab[n], idx);
}


// The same quotients times 2^26, the bits of 32-bit integers in q.
[[gnu::always_inline]] inline v16sf table_chunk_fixed(const Work& w, int n, const std::uint8_t* idx) {
  return table_lookup16(reinterpret_cast<const float*>(w.qtab_fix[n]), idx);
}

// Adds sixteen slots' whole numbers x into the sums acc and keeps them as
// the slots' pair means of this text meaning.
inline void add_whole(Work& w, std::uint32_t* acc, int q, v16su x) {
  store16(acc + q, load16<v16su>(acc + q) + x);
  store16(w.mean_fix + q, x);
}

// Sixteen slots' pair means, whole multiples of 2^-26, into their sums.
inline void add_fixed(Work& w, int q, v16sf bits) {
  add_whole(w, w.acc_fix, q, bits_of(bits));
}

// Sixteen slots' pair sums s times 2^26 into acc: acc_fixb against one text
// word, acc_fixc against two (their sums over the first word in part).
inline void add_fix_sums(Work& w, std::uint32_t* acc, int q, v16sf s) {
  add_whole(w, acc, q, to_whole(s * 0x1p26f));
}

// Text meanings of two words per text language whose means go to acc_fix2.
constexpr int FIX2_CAP = 31;
// Text meanings summed in acc_fixc before it is moved into acc.
constexpr int FIX4_CAP = 15;

// Moves whole-number sums of means times 2^e into the double sums.
inline void flush_fixed(Work& w, int end, std::uint32_t* fix, double unit) {
  for (int q = 0; q < end; ++q) {
    w.acc[q] += (double)fix[q] * unit;
    fix[q] = 0;
  }
}

// Sixteen slots' pair sums over the two text words (the quotients of the
// first word in part, of the second in d2), rounded as the literal rounds
// them, times 2^26 into their sums: exact whole numbers (see acc_fix2).
inline void add_fixed2(Work& w, int q, v16sf d2) {
  const v16sf s = (load16f(w.part + q) + d2) * 0x1p26f;
  add_whole(w, w.acc_fix2, q, to_whole(s));
}


// The passes of one text meaning: synonym 1 of a meaning without synonym
// 2, synonym 1 of one with, and synonym 2.
enum Pass { ONLY_SYN1 = 0, FIRST_OF_TWO = 1, SECOND_OF_TWO = 2 };


// Pair means of 16 slots from their distances to the current text word:
// d1 against the slots' synonyms 1, d2 against their synonyms 2. The sums
// follow the literal order: d(a1,b1), + d(a2,b1), + d(a1,b2), + d(a2,b2),
// and the means (divisions by 1, 2 or 4) are exact scalings.
template <Pass P>
[[gnu::always_inline]] inline void finish_chunk(Work& w, int q, v16sf d1, v16sf d2) {
  const v16si a2 = load16i(w.a2_mask + q);
  v16sf mean;
  if constexpr (P == ONLY_SYN1) {
    mean = select16(a2, d2 + d1, d1) * load16f(w.scale1 + q);
  } else if constexpr (P == FIRST_OF_TWO) {
    const v16sf s = select16(a2, d2 + d1, d1);
    store16(w.part + q, s);
    return;
  } else {
    const v16sf s = load16f(w.part + q) + d1;
    mean = select16(a2, s + d2, s) * load16f(w.scale2 + q);
  }
  store16(w.mean + q, mean);
  add_means(w.acc + q, mean);
}

// The same for 16 slots none of which has a synonym 2.
template <Pass P>
[[gnu::always_inline]] inline void finish_chunk(Work& w, int q, v16sf d1) {
  v16sf mean;
  if constexpr (P == ONLY_SYN1) {
    mean = d1;
  } else if constexpr (P == FIRST_OF_TWO) {
    store16(w.part + q, d1);
    return;
  } else {
    mean = (load16f(w.part + q) + d1) * 0.5f;
  }
  store16(w.mean + q, mean);
  add_means(w.acc + q, mean);
}

// The slots' pair means of one fused vector of CH lane chunks (lane
// distances kv, or on the paths with whole-number sums and n <= 8 the 8-bit
// and 4-bit lanes' table indices) against the current text word; short
// words take their quotients from the table of this text length.
template <typename E, int CH, Pass P>
[[gnu::always_inline]] inline void finish_fused(Work& w, const VecInfo& v, int n, const E* kv) {
  v16sf q[CH];
  bool from_table = false;
  if constexpr (FIXED_SUMS && sizeof(E) == 1) {
    from_table = n <= 8;
    if (P == ONLY_SYN1 && from_table && v.simple) {
      for (int u = 0; u < CH; ++u) q[u] = table_chunk_fixed(w, n, kv + 16 * u);
      for (int u = 0; u < CH; ++u)
        if (u < v.nch) add_fixed(w, v.pos + 16 * u, q[u]);
      return;
    }
    if (from_table)
      for (int u = 0; u < CH; ++u) q[u] = table_chunk(w, n, kv + 16 * u);
    if (P == ONLY_SYN1 && from_table) {
      // Not simple: pair sums d(a2, b1) + d(a1, b1) where a slot has
      // a synonym 2, else d(a1, b1) doubled (a mean over one
      // distance, times 2^27 like the others).
      for (int u = 0; u < v.nch; ++u) {
        const int p = v.pos + 16 * u;
        const v16sf d = q[v.c1[u]];
        const v16sf s = v.c2[u] < 0 ? d + d : select16(load16i(w.a2_mask + p), q[v.c2[u]] + d, d + d);
        add_fix_sums(w, w.acc_fixb, p, s);
      }
      return;
    }
    if (P == SECOND_OF_TWO && from_table && v.simple && w.fix2_on) {
      for (int u = 0; u < CH; ++u)
        if (u < v.nch) add_fixed2(w, v.pos + 16 * u, q[u]);
      return;
    }
    if (P == SECOND_OF_TWO && from_table && w.fix2_on) {
      // Not simple: part holds d(a1, b1) + d(a2, b1) or d(a1, b1);
      // then + d(a1, b2), and + d(a2, b2) or the sum doubled.
      for (int u = 0; u < v.nch; ++u) {
        const int p = v.pos + 16 * u;
        const v16sf t = load16f(w.part + p) + q[v.c1[u]];
        const v16sf s =
            v.c2[u] < 0 ? t + t : select16(load16i(w.a2_mask + p), t + q[v.c2[u]], t + t);
        add_fix_sums(w, w.acc_fixc, p, s);
      }
      return;
    }
  }
  if (!from_table) {
    const float* m = w.lane_len + v.mf_off;
    for (int u = 0; u < CH; ++u) q[u] = lane_quotients<E>(kv + 16 * u, m + 16 * u, (float)n);
  }
  if (v.simple) {
    for (int u = 0; u < CH; ++u)
      if (u < v.nch) finish_chunk<P>(w, v.pos + 16 * u, q[u]);
  } else {
    for (int u = 0; u < v.nch; ++u) {
      if (v.c2[u] < 0)
        finish_chunk<P>(w, v.pos + 16 * u, q[v.c1[u]]);
      else
        finish_chunk<P>(w, v.pos + 16 * u, q[v.c1[u]], q[v.c2[u]]);
    }
  }
}

// NV consecutive vectors of one class against one text word. Fused vectors
// form their slots' pair means at once; the others leave their distances
// in dist[text synonym] for pair_means.
template <typename E, int NV, Pass P, int W, int N = 0>
inline void run_vectors(Work& w, int vi, int n_arg) {
  const int n = N > 0 ? N : n_arg;
  float (*dist)[QCAP] = w.dist[P == SECOND_OF_TWO ? 1 : 0];
  constexpr int LANES = VB / (int)sizeof(E);
  constexpr int PADDED = LANES < 16 ? 16 : LANES;
  alignas(64) E k[NV * PADDED];
  if constexpr (LANES < 16) std::memset(k, 0, sizeof k);
  const VecInfo& v0 = w.vec[vi];
  if constexpr (W == 2) {
    static_assert(sizeof(E) == 8 && PADDED == 16, "128-bit lanes");
    lane_distances_128<NV>(w.rows + v0.voff, w.text_off, n, w.lane_mask + vi * VB, k);
  } else if constexpr (LANES >= 16) {
    // 8-bit lanes on the 64-byte paths are fused; against a text word of up
    // to 8 codes their quotients come from the tables (see finish_fused).
    const bool from_table = FIXED_SUMS && sizeof(E) == 1 && n <= 8 && v0.fused;
    lane_distances<E, NV, N>(w.rows + v0.voff, w.text_off, n, w.lane_mask + vi * VB, k,
                             from_table ? w.lane_base[vi][n] : nullptr, sizeof w.lane_base[0]);
  } else {
    // Fewer than 16 lanes: each vector's distances padded to 16.
    lane_distances<E, NV, 0, PADDED>(w.rows + v0.voff, w.text_off, n, w.lane_mask + vi * VB, k);
  }
  const float nf = (float)n;
  for (int x = 0; x < NV; ++x) {
    const VecInfo& v = w.vec[vi + x];
    const E* kv = k + x * PADDED;
    if constexpr (LANES >= 16) {
      if (v.fused) {
        finish_fused<E, LANES / 16, P>(w, v, n, kv);
        continue;
      }
    }
    alignas(64) float d[PADDED];
    for (int c = 0; c < PADDED; c += 16) {
      const v16sf q = lane_quotients<E>(kv + c, w.lane_len + v.mf_off + c, nf);
      store16(d + c, q);
    }
    std::memcpy(dist[0] + v.pos, d, v.half * sizeof(float));
    if (v.paired) std::memcpy(dist[1] + v.pos, d + v.half, v.half * sizeof(float));
  }
}

// Edit distances against NV consecutive vectors of 4-bit lanes (patterns
// of up to 4 codes), each nibble a field of edit_columns. Outputs k (or
// table indices, see lane_distances) of lanes 0..63 (low nibbles) then
// 64..127 (high nibbles) of each vector.
template <int NV, int N = 0>
inline void nibble_distances(const unsigned char* row_base, const std::uint32_t* off, int n_arg,
                             const unsigned char* mask_bytes, std::uint8_t* k_out,
                             const unsigned char* base_bytes, int base_stride) {
  typedef std::uint8_t V __attribute__((vector_size(VB)));
  const int n = N > 0 ? N : n_arg;
  V pv[NV], mv[NV];
  edit_columns<V, NV>(row_base, off, n, V{} + (std::uint8_t)0x77, V{} + (std::uint8_t)0x11, pv, mv);
  for (int v = 0; v < NV; ++v) {
    V mask, base_lo = V{} + (std::uint8_t)n, base_hi = base_lo;
    std::memcpy(&mask, mask_bytes + v * VB, sizeof(V));
    if (base_bytes) {
      std::memcpy(&base_lo, base_bytes + v * base_stride, sizeof(V));
      std::memcpy(&base_hi, base_bytes + v * base_stride + VB, sizeof(V));
    }
    V p_lo, p_hi, m_lo, m_hi;
    nibble_popcounts(pv[v] & mask, p_lo, p_hi);
    nibble_popcounts(mv[v] & mask, m_lo, m_hi);
    const V k_lo = (base_lo + p_lo) - m_lo;
    const V k_hi = (base_hi + p_hi) - m_hi;
    std::memcpy(k_out + v * 2 * VB, &k_lo, sizeof(V));
    std::memcpy(k_out + v * 2 * VB + VB, &k_hi, sizeof(V));
  }
}

// NV consecutive vectors of 4-bit lanes against one text word.
template <int NV, Pass P, int N = 0>
inline void run_nibble_vectors(Work& w, int vi, int n_arg) {
  const int n = N > 0 ? N : n_arg;
  alignas(64) std::uint8_t k[NV * 2 * VB];
  nibble_distances<NV, N>(w.rows + w.vec[vi].voff, w.text_off, n, w.lane_mask + vi * VB, k,
                          FIXED_SUMS && n <= 8 ? w.lane_base[vi][n] : nullptr, sizeof w.lane_base[0]);
  for (int x = 0; x < NV; ++x) {
    const VecInfo& v = w.vec[vi + x];
    if (v.fused) {
      finish_fused<std::uint8_t, 2 * VB / 16, P>(w, v, n, k + x * 2 * VB);
      continue;
    }
    // Not fused (16-byte vectors, after an 8-bit class with synonyms 2):
    // every lane is a synonym 1, its distance left in dist for pair_means.
    float* dist = w.dist[P == SECOND_OF_TWO ? 1 : 0][0] + v.pos;
    for (int c = 0; c < 2 * VB; c += 16)
      store16(dist + c, lane_quotients<std::uint8_t>(k + x * 2 * VB + c, w.lane_len + v.mf_off + c, (float)n));
  }
}

// Every vector of 4-bit lanes, four at a time.
template <Pass P, int N = 0>
inline void run_nibble_class(Work& w, int begin, int end, int n) {
  if constexpr (NIBBLE_LANES) {
    int v = begin;
    for (; v + 4 <= end; v += 4) run_nibble_vectors<4, P, N>(w, v, n);
    switch (end - v) {
      case 1: run_nibble_vectors<1, P>(w, v, n); break;
      case 2: run_nibble_vectors<2, P>(w, v, n); break;
      case 3: run_nibble_vectors<3, P>(w, v, n); break;
      default: break;
    }
  }
}

// Every vector of one class, several at a time.
template <typename E, Pass P, int W = 1, int N = 0>
inline void run_class(Work& w, int begin, int end, int n) {
  int v = begin;
  if constexpr (W == 2) {
    // Twice the state per vector: at most two in flight.
    for (; v + 2 <= end; v += 2) run_vectors<E, 2, P, 2>(w, v, n);
    if (v < end) run_vectors<E, 1, P, 2>(w, v, n);
    return;
  }
  if constexpr (VB / sizeof(E) < 16) {
    // Vectors of fewer than 16 lanes (long words): four in flight.
    for (; v + 4 <= end; v += 4) run_vectors<E, 4, P, 1>(w, v, n);
    switch (end - v) {
      case 1: run_vectors<E, 1, P, 1>(w, v, n); break;
      case 2: run_vectors<E, 2, P, 1>(w, v, n); break;
      case 3: run_vectors<E, 3, P, 1>(w, v, n); break;
      default: break;
    }
    return;
  }
  while (v < end) {
    const int left = end - v;
    switch (left <= 6 ? left : 4) {
      case 1: run_vectors<E, 1, P, 1>(w, v, n); break;
      case 2: run_vectors<E, 2, P, 1>(w, v, n); break;
      case 3: run_vectors<E, 3, P, 1>(w, v, n); break;
      case 4: run_vectors<E, 4, P, 1, N>(w, v, n); break;
      case 5: run_vectors<E, 5, P, 1>(w, v, n); break;
      default: run_vectors<E, 6, P, 1>(w, v, n); break;
    }
    v += left <= 6 ? left : 4;
  }
}

struct Layout {
  int nvec = 0;
  int class_end[NCLASS] = {};  // vectors of class c end before class_end[c]
  int qpad = 0;
  int fused_end = 0;  // slots below are fused (see VecInfo::fused)
  int fix_end = 0;    // slots of slot_fix lie below
  int fixb_end = 0;   // slots of slot_fix 2 lie below (they come first)
  int class_base[NCLASS] = {};  // first slot position of each class
  std::size_t row_bytes = 0;
  int ncodes = 0;  // table rows in use, row 0 included
  int nused = 0;   // entries of codes_used
};

// Whether meaning i of languages a and b has the same words.
inline bool same_words(const LanguageStore& st, int a, int b, int i, int l1, int l2) {
  return word_length(st, b, i, 1) == l1 && word_length(st, b, i, 2) == l2 &&
         std::memcmp(synonym_codes(st, a, i, 1), synonym_codes(st, b, i, 1),
                     l1 * sizeof(SoundCode)) == 0 &&
         std::memcmp(synonym_codes(st, a, i, 2), synonym_codes(st, b, i, 2),
                     l2 * sizeof(SoundCode)) == 0;
}

// Upper bound of the table bytes a sub-batch of rows [r0, r1) needs.
std::size_t table_bound(const PairBatch& b, int r0, int r1) {
  std::size_t codes = 1, bytes = 5 * VB + 64;
  for (int r = r0; r < r1; ++r) {
    const int a = b.rows[r];
    for (int i = 1; i <= b.nmean; ++i) {
      const int l1 = word_length(*b.store, a, i, 1);
      if (l1 == 0) continue;
      const int l2 = word_length(*b.store, a, i, 2);
      codes += l1 + l2;
      const int c = length_class(l1 > l2 ? l1 : l2);
      bytes += 2 * class_lane_bytes[c] * class_words[c];
    }
  }
  return codes * bytes;
}

// The batch layout, step by step. First the slots: one per meaning a row
// attests, by length class, unless the row's words for it equal those of an
// earlier row of the sub-batch. Languages of one batch are neighbours in the
// classification and often share words; such a meaning shares that row's
// slot (its sums are the same) and only counts again in this row's totals.
void collect_slots(Work& w, const PairBatch& b, int r0, int r1) {
  static_assert(ENGINE_BATCH_ROWS <= 32 && MAX_MEANINGS <= 64, "row and meaning bit sets");
  const LanguageStore& st = *b.store;
  LayoutScratch& ls = w.scratch;
  int nfirst[MAX_MEANINGS + 1] = {};
  int nid = 0;
  for (int c = 0; c < NCLASS; ++c) {
    ls.npend[c] = 0;
    ls.paired[c] = false;
  }
  ls.nalias = 0;
  for (int r = r0; r < r1; ++r) {
    const int a = b.rows[r];
    std::uint64_t att = 0;
    for (int i = 0; i <= MAX_MEANINGS; ++i) w.diag[r - r0][i] = -1;
    for (int i = 1; i <= b.nmean; ++i) {
      const int l1 = word_length(st, a, i, 1);
      if (l1 == 0) continue;
      att |= std::uint64_t(1) << (i - 1);
      const int l2 = word_length(st, a, i, 2);
      int shared = -1;
      for (int u = 0; u < nfirst[i] && shared < 0; ++u)
        if (same_words(st, a, b.rows[r0 + ls.first_row[i][u]], i, l1, l2))
          shared = ls.first_id[i][u];
      if (shared >= 0) {
        ls.alias[ls.nalias++] =
            LayoutScratch::Alias{(std::int16_t)(r - r0), (std::int16_t)i, (std::int16_t)shared};
        continue;
      }
      ls.first_row[i][nfirst[i]] = (std::int16_t)(r - r0);
      ls.first_id[i][nfirst[i]++] = (std::int16_t)nid;
      const int c = NIBBLE_LANES && l2 == 0 && l1 <= 4 ? CLASS4 : length_class(l1 > l2 ? l1 : l2);
      if (l2 != 0) ls.paired[c] = true;
      ls.pend[c][ls.npend[c]++] = PendingSlot{(std::int16_t)(r - r0), (std::int16_t)i,
                                              {(std::int16_t)l1, (std::int16_t)l2},
                                              (std::int16_t)nid++};
    }
    w.attested[r - r0] = att;
  }
}

// Slot positions and vectors, class by class. Where lane vectors hold whole
// chunks of 16 lanes, a class is fused: its slots go in chunks of 16
// positions, those with a synonym 2 first, and each slot chunk takes one
// lane chunk (no synonym 2 in it) or two. Otherwise a vector's lanes are
// split in halves for the two synonyms when any slot of the class has a
// synonym 2.
void place_vectors(Work& w, Layout& lay) {
  static_assert(QCAP >= ENGINE_BATCH_ROWS * MAX_MEANINGS + 3 * 64 + 8 + 32, "slot capacity");
  LayoutScratch& ls = w.scratch;
  int pos = 0, lane_off = 0;
  std::uint32_t voff = 0;
  lay.nvec = 0;
  lay.fused_end = 0;
  bool prefix = true;
  auto new_vector = [&](int c, int lanes, int vpos, int half, bool pr, bool fused) -> VecInfo& {
    VecInfo& vi = w.vec[lay.nvec];
    vi.voff = voff;
    vi.pos = vpos;
    vi.mf_off = lane_off;
    vi.half = (std::uint16_t)half;
    vi.paired = pr;
    vi.fused = fused;
    vi.nch = 0;
    vi.simple = fused;
    const int padded = lanes < 16 ? 16 : lanes;
    for (int x = 0; x < padded; ++x) w.lane_len[lane_off + x] = 1.0f;
    std::memset(w.lane_mask + lay.nvec * VB, 0, VB);
    if (FIXED_SUMS && (c == CLASS8 || c == CLASS4))
      for (int n = 1; n <= 8; ++n) std::memset(w.lane_base[lay.nvec][n], n, sizeof w.lane_base[0][0]);
    lane_off += padded;
    voff += VB * class_words[c];
    ++lay.nvec;
    return vi;
  };
  for (int c = 0; c < NCLASS; ++c) {
    const int n = ls.npend[c];
    lay.class_base[c] = pos;
    if (n == 0) {
      lay.class_end[c] = lay.nvec;
      continue;
    }
    const int lanes = class_lanes[c];
    const int cpv = lanes / 16;  // lane chunks per vector
    const bool fused = prefix && (cpv >= 2 || (cpv == 1 && !ls.paired[c]));
    prefix = fused;
    if (fused) {
      // Synonym-2 slots first, each part in row order.
      PendingSlot* ps = ls.pend[c];
      PendingSlot* spare = ls.pend[NCLASS];
      int np = 0;
      for (int x = 0; x < n; ++x)
        if (ps[x].len[1] != 0) spare[np++] = ps[x];
      const int nsyn2 = np;
      for (int x = 0; x < n; ++x)
        if (ps[x].len[1] == 0) spare[np++] = ps[x];
      for (int x = 0; x < n; ++x) ps[x] = spare[x];
      VecInfo* cur = nullptr;
      int used = cpv;
      for (int i = 0; 16 * i < n; ++i) {
        const bool pr = 16 * i < nsyn2;
        if (used + (pr ? 2 : 1) > cpv) {
          cur = &new_vector(c, lanes, pos + 16 * i, 0, false, true);
          used = 0;
        }
        cur->c1[cur->nch] = (std::int8_t)used;
        cur->c2[cur->nch] = (std::int8_t)(pr ? used + 1 : -1);
        if (pr) cur->simple = false;
        ++cur->nch;
        for (int x = 16 * i; x < n && x < 16 * i + 16; ++x) {
          ls.slot_vec[c][x] = (std::int16_t)(lay.nvec - 1);
          ls.slot_lane[c][x][0] = (std::int16_t)(used * 16 + x % 16);
          ls.slot_lane[c][x][1] = (std::int16_t)(pr ? (used + 1) * 16 + x % 16 : -1);
        }
        used += pr ? 2 : 1;
      }
      pos += (n + 15) / 16 * 16;
      lay.fused_end = pos;
    } else {
      const int half = ls.paired[c] ? lanes / 2 : lanes;
      const int nv = (n + half - 1) / half;
      for (int v = 0; v < nv; ++v) new_vector(c, lanes, pos + v * half, half, ls.paired[c], false);
      for (int x = 0; x < n; ++x) {
        ls.slot_vec[c][x] = (std::int16_t)(lay.nvec - nv + x / half);
        ls.slot_lane[c][x][0] = (std::int16_t)(x % half);
        ls.slot_lane[c][x][1] = (std::int16_t)(ls.paired[c] ? half + x % half : -1);
      }
      pos += nv * half;
    }
    lay.class_end[c] = lay.nvec;
  }
  lay.qpad = (pos + 15) / 16 * 16;
  lay.row_bytes = (voff + 63) / 64 * 64;
}

// Equality-table rows: every distinct code of the patterns gets one, row 0
// (all masks empty) stands for every other code; the rows are cleared.
void index_codes(Work& w, const PairBatch& b, int r0, Layout& lay) {
  const LanguageStore& st = *b.store;
  const LayoutScratch& ls = w.scratch;
  lay.ncodes = 1;
  lay.nused = 0;
  for (int c = 0; c < NCLASS; ++c)
    for (int s = 0; s < ls.npend[c]; ++s)
      for (int syn = 0; syn < 2; ++syn) {
        const PendingSlot& p = ls.pend[c][s];
        const SoundCode* code = synonym_codes(st, b.rows[r0 + p.row], p.meaning, syn + 1);
        for (int q = 0; q < p.len[syn]; ++q) {
          const std::uint16_t key = (std::uint16_t)code[q];
          if (w.code_index[key] == 0) {
            w.code_index[key] = (std::uint16_t)lay.ncodes++;
            w.codes_used[lay.nused++] = key;
          }
        }
      }
  std::memset(w.rows, 0, lay.ncodes * lay.row_bytes);
}

// Slot q holds pending slot p: its row's runs of slots for the totals, its
// diagonal entry, and its synonym-2 mask and pair-count scales.
inline void set_slot(Work& w, int q, const PendingSlot& p) {
  // Slots are placed class by class, row by row (in a fused class, once
  // among those with a synonym 2 and once among the others).
  if (w.nruns > 0 && w.run_row[w.nruns - 1] == p.row && w.run_end[w.nruns - 1] == q) {
    ++w.run_end[w.nruns - 1];
  } else {
    w.run_row[w.nruns] = p.row;
    w.run_begin[w.nruns] = (std::int16_t)q;
    w.run_end[w.nruns] = (std::int16_t)(q + 1);
    ++w.nruns;
  }
  w.scratch.pos_of_id[p.id] = (std::int16_t)q;
  w.diag[p.row][p.meaning] = (std::int16_t)q;
  if (p.len[1] != 0) {
    w.a2_mask[q] = -1;
    w.scale1[q] = 0.5f;
    w.scale2[q] = 0.25f;
  }
}

// Slot metadata, the pattern bits of every lane in the equality table, the
// lanes' masks and lengths.
void fill_lanes(Work& w, const PairBatch& b, int r0, Layout& lay) {
  const LanguageStore& st = *b.store;
  const LayoutScratch& ls = w.scratch;
  for (int q = 0; q < lay.qpad; ++q) {
    w.a2_mask[q] = 0;
    w.scale1[q] = 1.0f;
    w.scale2[q] = 0.5f;
    for (int sb = 0; sb < 2; ++sb)
      for (int sa = 0; sa < 2; ++sa) w.dist[sb][sa][q] = 0.0f;
  }
  for (int q = 0; q < lay.qpad; ++q) w.slot_fix[q] = 0;
  lay.fix_end = lay.fixb_end = 0;
  if (FIXED_SUMS)
    for (int v = 0; v < lay.class_end[CLASS4]; ++v)
      if (w.vec[v].fused) {
        for (int q = 0; q < 16 * w.vec[v].nch; ++q)
          w.slot_fix[w.vec[v].pos + q] = w.vec[v].simple ? 1 : 2;
        lay.fix_end = (int)w.vec[v].pos + 16 * w.vec[v].nch;
        if (!w.vec[v].simple) lay.fixb_end = lay.fix_end;
      }
  // Each whole-number sum is written for one kind of slot only; the others
  // stay 0, and those written are cleared for every text language that may
  // have written them.
  for (int q = 0; q < lay.fix_end; ++q)
    w.acc_fix[q] = w.acc_fix2[q] = w.acc_fixb[q] = w.acc_fixc[q] = 0;
  w.fix2_dirty = false;
  w.nruns = 0;
  for (int c = 0; c < NCLASS; ++c) {
    const int eb = class_lane_bytes[c];
    for (int x = 0; x < ls.npend[c]; ++x) {
      const PendingSlot& p = ls.pend[c][x];
      const int vv = ls.slot_vec[c][x];
      const VecInfo& vi = w.vec[vv];
      set_slot(w, vi.fused ? lay.class_base[c] + x : vi.pos + x % vi.half, p);
      for (int syn = 0; syn < 2; ++syn) {
        const int m = p.len[syn];
        if (m == 0) continue;
        const int lane = ls.slot_lane[c][x][syn];
        const SoundCode* code = synonym_codes(st, b.rows[r0 + p.row], p.meaning, syn + 1);
        // A 4-bit lane's bits: byte lane % VB, from bit 4 * (lane / VB).
        const int byte = c == CLASS4 ? lane % VB : lane * eb;
        const int shift = c == CLASS4 ? 4 * (lane / VB) : 0;
        for (int q = 0; q < m; ++q) {
          unsigned char* cell = w.rows + w.code_index[(std::uint16_t)code[q]] * lay.row_bytes +
                                vi.voff + (q / 64) * VB + byte;
          std::uint64_t bits = 0;
          std::memcpy(&bits, cell, eb);
          bits |= std::uint64_t(1) << (q % 64 + shift);
          std::memcpy(cell, &bits, eb);
        }
        const int top = c == CLASS128 ? m - 64 : m;  // bits of the last word
        const std::uint64_t mask =
            top >= 64 ? ~std::uint64_t(0) : ((std::uint64_t(1) << top) - 1) << shift;
        std::uint64_t old_mask = 0;
        std::memcpy(&old_mask, w.lane_mask + vv * VB + byte, eb);
        old_mask |= mask;
        std::memcpy(w.lane_mask + vv * VB + byte, &old_mask, eb);
        w.lane_len[vi.mf_off + lane] = (float)m;
        if (FIXED_SUMS && (c == CLASS8 || c == CLASS4))
          for (int n = 1; n <= 8; ++n) w.lane_base[vv][n][lane] = w.qbase[n][m];
      }
    }
  }
}

// The rows that share a slot: their diagonal entries and extra totals; then
// the diagonal by meaning.
void record_shared(Work& w, int nr) {
  const LayoutScratch& ls = w.scratch;
  w.nshared = ls.nalias;
  for (int u = 0; u < ls.nalias; ++u) {
    const std::int16_t q = ls.pos_of_id[ls.alias[u].id];
    w.diag[ls.alias[u].row][ls.alias[u].meaning] = q;
    w.shared_row[u] = ls.alias[u].row;
    w.shared_pos[u] = q;
  }
  for (int j = 0; j <= MAX_MEANINGS; ++j) {
    int k = 0;
    for (int fix : {1, 2, 0}) {
      for (int r = 0; r < nr; ++r) {
        const int q = w.diag[r][j];
        if (q < 0 || w.slot_fix[q] != fix) continue;
        w.same_row[j][k] = (std::int16_t)r;
        w.same_pos[j][k++] = (std::int16_t)q;
      }
      if (fix == 1) {
        w.nsame_fix[j] = (std::int8_t)k;
        w.fix1_rows[j] = 0;
        for (int r = 0; r < 32; ++r) w.fix1_pos[j][r] = 0;
        for (int u = 0; u < k; ++u) {
          w.fix1_pos[j][w.same_row[j][u]] = w.same_pos[j][u];
          w.fix1_rows[j] |= 1u << w.same_row[j][u];
        }
      }
      if (fix == 2) w.nsame_fixb[j] = (std::int8_t)k;
    }
    w.nsame[j] = (std::int8_t)k;
  }
}

// Lays out the pattern words of rows [r0, r1) and fills the equality table.
void prepare(Work& w, const PairBatch& b, int r0, int r1, Layout& lay) {
  collect_slots(w, b, r0, r1);
  place_vectors(w, lay);
  index_codes(w, b, r0, lay);
  fill_lanes(w, b, r0, lay);
  record_shared(w, r1 - r0);
}

// Table-row offsets of one text word's codes; codes of no pattern map to
// row 0, whose masks are all empty.
inline void text_offsets(Work& w, const Layout& lay, const SoundCode* code, int n) {
  for (int q = 0; q < n; ++q)
    w.text_off[q] = (std::uint32_t)(w.code_index[(std::uint16_t)code[q]] * lay.row_bytes);
}

// The 8-bit and 4-bit classes against a text word of n codes: for n of up
// to 8 the loops' length N = n is known.
template <Pass P, int N = 1>
inline void run_short_classes(Work& w, int e8, int e4, int n) {
  if constexpr (N <= 8) {
    if (n != N) return run_short_classes<P, N + 1>(w, e8, e4, n);
    run_class<std::uint8_t, P, 1, N>(w, 0, e8, n);
    run_nibble_class<P, N>(w, e8, e4, n);
  } else {
    run_class<std::uint8_t, P>(w, 0, e8, n);
    run_nibble_class<P>(w, e8, e4, n);
  }
}

template <Pass P>
void text_word(Work& w, const Layout& lay, const SoundCode* code, int n) {
  text_offsets(w, lay, code, n);
  const int e8 = lay.class_end[CLASS8], e4 = lay.class_end[CLASS4];
  run_short_classes<P>(w, e8, e4, n);
  run_class<std::uint16_t, P>(w, e4, lay.class_end[CLASS16], n);
  run_class<std::uint64_t, P>(w, lay.class_end[CLASS16], lay.class_end[CLASS64], n);
  run_class<std::uint64_t, P, 2>(w, lay.class_end[CLASS64], lay.class_end[CLASS128], n);
}

// Pair means of the slots not fused (from lay.fused_end on) against the
// current text meaning, from the distances in dist; added into the slot sums.
void pair_means(Work& w, const Layout& lay, bool text_syn2) {
  for (int q = lay.fused_end; q < lay.qpad; q += 16) {
    const v16si a2 = load16i(w.a2_mask + q);
    v16sf s = load16f(w.dist[0][0] + q);
    v16sf t = load16f(w.dist[0][1] + q) + s;
    s = select16(a2, t, s);
    v16sf mean;
    if (text_syn2) {
      s = s + load16f(w.dist[1][0] + q);
      t = s + load16f(w.dist[1][1] + q);
      s = select16(a2, t, s);
      mean = s * load16f(w.scale2 + q);
    } else {
      mean = s * load16f(w.scale1 + q);
    }
    store16(w.mean + q, mean);
    add_means(w.acc + q, mean);
  }
}

// The slots' whole-number sums of means (times 2^28: below 2^35, so
// exact in double precision) into their double sums, each over the slots
// of the kind that writes it, those of two text words only where this text
// language had such meanings.
void fold_fixed(Work& w, const Layout& lay) {
  const int b = lay.fixb_end, e = lay.fix_end;
  if (w.fix2_dirty) {
    for (int q = 0; q < b; ++q)
      w.acc[q] += (double)(2 * std::uint64_t(w.acc_fixb[q]) + w.acc_fixc[q]) * 0x1p-28;
    for (int q = b; q < e; ++q)
      w.acc[q] += (double)(4 * std::uint64_t(w.acc_fix[q]) + 2 * std::uint64_t(w.acc_fix2[q])) * 0x1p-28;
  } else {
    for (int q = 0; q < b; ++q) w.acc[q] += (double)w.acc_fixb[q] * 0x1p-27;
    for (int q = b; q < e; ++q) w.acc[q] += (double)w.acc_fix[q] * 0x1p-26;
  }
}

inline bool fault_before(int row, int text, const PairBatch& b) {
  return b.fault == FpFault::none || row < b.fault_row ||
         (row == b.fault_row && text < b.fault_text);
}

void run_sub_batch(Work& w, PairBatch& b, int r0, int r1) {
  const LanguageStore& st = *b.store;
  Layout lay;
  prepare(w, b, r0, r1, lay);
  const int nr = r1 - r0;
  const int first = b.rows[r0];
  for (int t = 0; t < b.ntexts; ++t) {
    const int tb = b.texts[t];
    if (tb <= first) continue;  // no row lies below it: a shortcut of the test below
    const int bb = st.branch_of[tb];
    unsigned counted = 0;
    for (int r = 0; r < nr; ++r) {
      const int a = b.rows[r0 + r];
      if (a < tb && st.branch_of[a] != bb) counted |= 1u << r;
    }
    if (counted == 0) continue;
    // The text languages stream through the cache: fetch the word lengths
    // of the one after next, and the words of the next one (by its lengths,
    // fetched one language earlier) while this one runs.
    if (t + 2 < b.ntexts) {
      const char* len = reinterpret_cast<const char*>(st.word_length[b.texts[t + 2]]);
      for (std::size_t o = 0; o < sizeof st.word_length[0]; o += 64) __builtin_prefetch(len + o);
      __builtin_prefetch(len + sizeof st.word_length[0] - 1);
    }
    if (t + 1 < b.ntexts) {
      const int nx = b.texts[t + 1];
      for (int j = 1; j <= b.nmean; ++j)
        for (int syn = 1; syn <= 2; ++syn) {
          const int l = word_length(st, nx, j, syn);
          if (l == 0) break;
          const SoundCode* c = synonym_codes(st, nx, j, syn);
          __builtin_prefetch(c);
          __builtin_prefetch(c + l - 1);
        }
    }

    for (int q = 0; q < lay.qpad; ++q) w.acc[q] = 0.0;
    if (FIXED_SUMS) {
      for (int q = lay.fixb_end; q < lay.fix_end; ++q) w.acc_fix[q] = 0;
      for (int q = 0; q < lay.fixb_end; ++q) w.acc_fixb[q] = 0;
      if (w.fix2_dirty) {
        for (int q = lay.fixb_end; q < lay.fix_end; ++q) w.acc_fix2[q] = 0;
        for (int q = 0; q < lay.fixb_end; ++q) w.acc_fixc[q] = 0;
        w.fix2_dirty = false;
      }
    }
    for (int r = 0; r < nr; ++r) {
      w.same[r] = 0.0;
      w.same_fix[r] = w.same_fix1[r] = 0;
    }
    std::uint64_t att = 0;
    int nfix2 = 0, nfixb = 0, nfixc = 0;
    for (int j = 1; j <= b.nmean; ++j) {
      const int l1 = word_length(st, tb, j, 1);
      if (l1 == 0) continue;
      att |= std::uint64_t(1) << (j - 1);
      const int l2 = word_length(st, tb, j, 2);
      if (l2 == 0) {
        if (FIXED_SUMS && l1 <= 8 && nfixb++ == FIX2_CAP) {
          flush_fixed(w, lay.fixb_end, w.acc_fixb, 0x1p-27);
          nfixb = 1;
        }
        text_word<ONLY_SYN1>(w, lay, synonym_codes(st, tb, j, 1), l1);
      } else {
        w.fix2_on = FIXED_SUMS && l1 <= 8 && l2 <= 8 && nfix2 < FIX2_CAP;
        nfix2 += w.fix2_on;
        w.fix2_dirty |= w.fix2_on;
        if (w.fix2_on && nfixc++ == FIX4_CAP) {
          flush_fixed(w, lay.fixb_end, w.acc_fixc, 0x1p-28);
          nfixc = 1;
        }
        text_word<FIRST_OF_TWO>(w, lay, synonym_codes(st, tb, j, 1), l1);
        text_word<SECOND_OF_TWO>(w, lay, synonym_codes(st, tb, j, 2), l2);
      }
      pair_means(w, lay, l2 != 0);
      // The same-meaning means of the rows that attest meaning j.
      // Means from the whole-number sums are in mean_fix, times 2^26 (slots
      // of slot_fix 1 against one text word), 2^27 (slot_fix 1 against two,
      // slot_fix 2 against one) or 2^28 (slot_fix 2 against two); slot_fix 2
      // slots lie between nsame_fix and nsame_fixb.
      const bool fix1 = FIXED_SUMS && l2 == 0 && l1 <= 8, fix2 = l2 != 0 && w.fix2_on;
      const int nfix = fix1 || fix2 ? w.nsame_fix[j] : 0;
      const int bend = fix1 || fix2 ? w.nsame_fixb[j] : 0;
      const unsigned shift = fix1 ? 1 : 0;
      if (fix1)
        gather_add32(w.same_fix1, w.fix1_pos[j], w.fix1_rows[j], w.mean_fix);
      else
        for (int u = 0; u < nfix; ++u)
          w.same_fix[w.same_row[j][u]] += std::uint64_t(w.mean_fix[w.same_pos[j][u]]) << 1;
      for (int u = nfix; u < bend; ++u)
        w.same_fix[w.same_row[j][u]] += std::uint64_t(w.mean_fix[w.same_pos[j][u]]) << shift;
      for (int u = bend; u < w.nsame[j]; ++u)
        w.same[w.same_row[j][u]] += (double)w.mean[w.same_pos[j][u]];
      if (b.diag != nullptr) {
        // Each mean on its own, with the scale of the sum it went into.
        const double unit_fix = fix1 ? 0x1p-26 : 0x1p-27, unit_fixb = fix1 ? 0x1p-27 : 0x1p-28;
        for (int u = 0; u < nfix; ++u)
          w.same_mean[w.same_row[j][u]][j - 1] =
              (float)((double)w.mean_fix[w.same_pos[j][u]] * unit_fix);
        for (int u = nfix; u < bend; ++u)
          w.same_mean[w.same_row[j][u]][j - 1] =
              (float)((double)w.mean_fix[w.same_pos[j][u]] * unit_fixb);
        for (int u = bend; u < w.nsame[j]; ++u)
          w.same_mean[w.same_row[j][u]][j - 1] = w.mean[w.same_pos[j][u]];
      }
    }
    if (FIXED_SUMS) fold_fixed(w, lay);
    // Exact sums, so any grouping gives the same totals.
    for (int r = 0; r < nr; ++r) w.total[r] = 0.0;
    for (int u = 0; u < w.nruns; ++u) {
      double t0 = 0.0, t1 = 0.0, t2 = 0.0, t3 = 0.0;
      int q = w.run_begin[u];
      const int e = w.run_end[u];
      for (; q + 4 <= e; q += 4) {
        t0 += w.acc[q];
        t1 += w.acc[q + 1];
        t2 += w.acc[q + 2];
        t3 += w.acc[q + 3];
      }
      for (; q < e; ++q) t0 += w.acc[q];
      w.total[w.run_row[u]] += (t0 + t1) + (t2 + t3);
    }
    for (int u = 0; u < w.nshared; ++u) {
      const int q = w.shared_pos[u];
      w.total[w.shared_row[u]] += w.acc[q];
    }
    if (FIXED_SUMS)
      for (int r = 0; r < nr; ++r)
        w.same[r] += (double)w.same_fix1[r] * 0x1p-26 + (double)w.same_fix[r] * 0x1p-28;

    const int nb = popcount64(att);
    for (int r = 0; r < nr; ++r) {
      if (!(counted & (1u << r))) continue;
      const int sc = popcount64(w.attested[r] & att);
      const int dc = popcount64(w.attested[r]) * nb - sc;
      FpFault fault = FpFault::none;
      const float s = similarity_from_sums(w.same[r], (double)sc, w.total[r] - w.same[r],
                                           (double)dc, fault);
      const int row = r0 + r;
      if (b.diag != nullptr) {
        PairDiagonal& d = b.diag[row * b.out_stride + b.out_count[row]];
        d.diff_sum = w.total[r] - w.same[r];
        d.diff_count = (double)dc;
        std::memcpy(d.same, w.same_mean[r], sizeof d.same);
        const std::uint64_t all = (std::uint64_t(1) << b.nmean) - 1;
        for (std::uint64_t lack = all & ~(w.attested[r] & att); lack != 0; lack &= lack - 1)
          d.same[__builtin_ctzll(lack)] = -1.0f;
      }
      b.out[row * b.out_stride + b.out_count[row]++] = s;
      if (fault != FpFault::none && fault_before(b.rows[row], tb, b)) {
        b.fault = fault;
        b.fault_row = b.rows[row];
        b.fault_text = tb;
      }
    }
  }
  // Leave the code index empty for the next sub-batch.
  for (int u = 0; u < lay.nused; ++u) w.code_index[w.codes_used[u]] = 0;
}

void run_batch(PairBatch& b, unsigned char* work) {
  Work& w = *reinterpret_cast<Work*>(work);
  if (!w.qtab_ready) fill_quotient_tables(w);
  for (int r = 0; r < b.nrows; ++r) b.out_count[r] = 0;
  b.fault = FpFault::none;
  b.fault_row = b.fault_text = 0;
  int r0 = 0;
  while (r0 < b.nrows) {
    // As many rows as the equality table holds; one row always fits.
    int r1 = r0 + 1;
    while (r1 < b.nrows && table_bound(b, r0, r1 + 1) <= ROWS_CAP) ++r1;
    run_sub_batch(w, b, r0, r1);
    r0 = r1;
  }
}

// Replicates of resampled meanings, vectors of VB / 8 replicates at a time.
// The meanings a pair shares are summed as x_i = 128 + same_i, so that
// sum_i w_i x_i = 128 * same_count + same_sum in one pass; same_sum is at
// most same_count, at most 40, so same_count is that sum / 128 rounded to
// the nearest whole number. Every step is exact: x_i and the sums are
// multiples of 2^-32 below 2^13.
typedef double vdf __attribute__((vector_size(VB)));
typedef std::int64_t vdi __attribute__((vector_size(VB)));
typedef float vsf __attribute__((vector_size(VB / 2)));
typedef std::int32_t vsi __attribute__((vector_size(VB / 2)));
constexpr int DLANES = VB / 8;
static_assert(REPLICATE_STRIDE % DLANES == 0, "replicate vectors");
// Pairs against one vector of replicates at once: that many independent
// sums in flight, each weight vector read once for all of them.
constexpr int RPAIRS = 8;
// Pairs whose means are widened at once.
constexpr int RBLOCK = 4 * RPAIRS;

template <typename V, typename E>
[[gnu::always_inline]] inline V load_vec(const E* p) {
  V v;
  std::memcpy(&v, p, sizeof v);
  return v;
}
template <typename V, typename E>
[[gnu::always_inline]] inline void store_vec(E* p, V v) {
  std::memcpy(p, &v, sizeof v);
}

void add_replicates(const PairDiagonal* pairs, int npairs, const ReplicateWeights& rw, double* sum,
                    std::int32_t* count) {
  const int M = rw.nmean;
  const int end = (rw.replicates + DLANES - 1) / DLANES * DLANES;
  // x[k][i]: meaning i of pair k of the block; pairs past the block's end
  // in its last group are 0 and give no value.
  alignas(64) double x[RBLOCK][MAX_MEANINGS];
  double diff_sum[RBLOCK], diff_count[RBLOCK];
  for (int p0 = 0; p0 < npairs; p0 += RBLOCK) {
    const int np = npairs - p0 < RBLOCK ? npairs - p0 : RBLOCK;
    for (int k = 0; k < np; ++k) {
      const PairDiagonal& d = pairs[p0 + k];
      diff_sum[k] = d.diff_sum;
      diff_count[k] = d.diff_count;
      for (int i = 0; i < M; ++i) {
        const double m = d.same[i];
        x[k][i] = m < 0.0 ? 0.0 : 128.0 + m;
      }
    }
    for (int k = np; k < (np + RPAIRS - 1) / RPAIRS * RPAIRS; ++k)
      for (int i = 0; i < M; ++i) x[k][i] = 0.0;
    const int ngroups = (np + RPAIRS - 1) / RPAIRS;
    for (int c = 0; c < end; c += DLANES) {
      vdf total = load_vec<vdf>(sum + c);
      vsi counted = load_vec<vsi>(count + c);
      for (int g = 0; g < ngroups; ++g) {
        vdf a[RPAIRS];
        for (int k = 0; k < RPAIRS; ++k) a[k] = vdf{};
        const double* wc = rw.weight + c;
        for (int i = 0; i < M; ++i, wc += rw.stride) {
          const vdf wv = load_vec<vdf>(wc);
          for (int k = 0; k < RPAIRS; ++k) a[k] += wv * x[g * RPAIRS + k][i];
        }
        // The pairs in order, each replicate's sum as the literal loop adds it.
        const int n = np - g * RPAIRS < RPAIRS ? np - g * RPAIRS : RPAIRS;
        for (int k = 0; k < n; ++k) {
          const vdf t = a[k];
          const vdf same_count = (t * (1.0 / 128) + 0x1p52) - 0x1p52;
          const vdf same_sum = t - same_count * 128.0;
          const vdf numerator = (diff_count[g * RPAIRS + k] * same_sum) * 100.0;
          const vdf divisor = diff_sum[g * RPAIRS + k] * same_count;
          const vdi ok = (vdi)(divisor != 0.0);
          const vdf safe = (vdf)(((vdi)divisor & ok) | ((vdi)(vdf{} + 1.0) & ~ok));
          const vsf single = __builtin_convertvector(100.0 - numerator / safe, vsf);
          total += (vdf)((vdi)__builtin_convertvector(single, vdf) & ok);
          counted -= __builtin_convertvector(ok, vsi);
        }
      }
      store_vec(sum + c, total);
      store_vec(count + c, counted);
    }
  }
}

}  // namespace PLIX_KERNEL_NS
}  // namespace

const KernelPath& PLIX_KERNEL_PATH_FN() {
  static const KernelPath path = {PLIX_KERNEL_NAME, sizeof(PLIX_KERNEL_NS::Work),
                                  PLIX_KERNEL_NS::run_batch, PLIX_KERNEL_NS::add_replicates};
  return path;
}

}  // namespace plix
