// Instruction-set primitives of the similarity kernel: every choice that
// depends on the instructions a kernel file is built with is made here, so
// that the algorithm in distance/engine_kernel.h is written once, without
// conditional compilation. Included by engine_kernel.h only, inside the
// namespace of one kernel path.
#pragma once

#include <cstdint>
#include <cstring>

#if defined(__x86_64__)
#include <immintrin.h>
#endif
#if defined(__ARM_NEON)
#include <arm_neon.h>
#endif

#ifndef PLIX_VBYTES
#error "PLIX_VBYTES must be defined before including the kernel"
#endif
#ifndef PLIX_KERNEL_NS
#error "PLIX_KERNEL_NS must be defined before including the kernel"
#endif

// Vector arguments and returns stay inside the kernel file, so their calling
// convention never crosses a boundary between instruction sets.
#pragma GCC diagnostic ignored "-Wpsabi"
// GCC 12 reports the zero-extension intrinsics' own undefined filler.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif
#pragma GCC diagnostic ignored "-Wuninitialized"

namespace plix {
namespace {
namespace PLIX_KERNEL_NS {

constexpr int VB = PLIX_VBYTES;

// Sixteen 32-bit lanes, the unit in which slots' quotients and means are
// formed: one vector on the 64-byte paths; elsewhere 64 / VB vectors of the
// path's width, with the element-wise operators the kernel uses, so that no
// operation needs a width the processor lacks (compilers take such generic
// wide vectors apart through memory).
#if PLIX_VBYTES == 64
typedef float v16sf __attribute__((vector_size(64)));
typedef std::int32_t v16si __attribute__((vector_size(64)));
typedef std::uint32_t v16su __attribute__((vector_size(64)));
constexpr int PIECES = 1;
#else
constexpr int PIECES = 64 / PLIX_VBYTES;
template <typename E>
struct Lanes16 {
  typedef E Native __attribute__((vector_size(PLIX_VBYTES)));
  Native v[PIECES];
};
typedef Lanes16<float> v16sf;
typedef Lanes16<std::int32_t> v16si;
typedef Lanes16<std::uint32_t> v16su;
template <typename E>
[[gnu::always_inline]] inline Lanes16<E> operator+(Lanes16<E> a, const Lanes16<E>& b) {
  for (int p = 0; p < PIECES; ++p) a.v[p] += b.v[p];
  return a;
}
template <typename E>
[[gnu::always_inline]] inline Lanes16<E>& operator+=(Lanes16<E>& a, const Lanes16<E>& b) {
  for (int p = 0; p < PIECES; ++p) a.v[p] += b.v[p];
  return a;
}
template <typename E>
[[gnu::always_inline]] inline Lanes16<E> operator*(Lanes16<E> a, const Lanes16<E>& b) {
  for (int p = 0; p < PIECES; ++p) a.v[p] *= b.v[p];
  return a;
}
[[gnu::always_inline]] inline v16sf operator*(v16sf a, float b) {
  for (int p = 0; p < PIECES; ++p) a.v[p] *= b;
  return a;
}
#endif

// The whole numbers of sixteen lanes holding whole-valued floats below 2^31
// (through the signed conversion, which every processor has).
[[gnu::always_inline]] inline v16su to_whole(v16sf x) {
#if PLIX_VBYTES == 64
  return __builtin_convertvector(x, v16su);
#else
  v16su r;
  for (int p = 0; p < PIECES; ++p)
    r.v[p] = (v16su::Native)__builtin_convertvector(x.v[p], v16si::Native);
  return r;
#endif
}

inline int popcount64(std::uint64_t x) { return __builtin_popcountll(x); }

// out[x] = table[idx[x] & 15] in each 16-byte part of V, every index below
// 16: the byte shuffle, where the processor has one for vectors of V's size.
#if defined(__AVX512BW__) || defined(__AVX2__) || defined(__ARM_NEON)
constexpr bool HAS_BYTE_SHUFFLE = true;
#else
constexpr bool HAS_BYTE_SHUFFLE = false;
#endif
template <typename V>
[[gnu::always_inline]] inline V byte_shuffle(V table, V idx) {
#if defined(__AVX512BW__)
  if constexpr (sizeof(V) == 64) return (V)_mm512_shuffle_epi8((__m512i)table, (__m512i)idx);
#endif
#if defined(__AVX2__)
  if constexpr (sizeof(V) == 32) return (V)_mm256_shuffle_epi8((__m256i)table, (__m256i)idx);
#endif
#if defined(__ARM_NEON)
  if constexpr (sizeof(V) == 16) return (V)vqtbl1q_u8((uint8x16_t)table, (uint8x16_t)idx);
#endif
  static_assert(HAS_BYTE_SHUFFLE && sizeof(V) == VB, "byte shuffle of this width");
  (void)table;
  return idx;
}

// Population counts of the bytes of V: the counts of the two nibbles from
// a table, or the count instruction.
constexpr unsigned char NIBBLE_COUNTS[64] = {
    0, 1, 1, 2, 1, 2, 2, 3, 1, 2, 2, 3, 2, 3, 3, 4, 0, 1, 1, 2, 1, 2, 2, 3, 1, 2, 2, 3, 2, 3, 3, 4,
    0, 1, 1, 2, 1, 2, 2, 3, 1, 2, 2, 3, 2, 3, 3, 4, 0, 1, 1, 2, 1, 2, 2, 3, 1, 2, 2, 3, 2, 3, 3, 4};
template <typename V>
[[gnu::always_inline]] inline V byte_popcount(V x) {
#if defined(__ARM_NEON)
  if constexpr (sizeof(V) == 16) return (V)vcntq_u8((uint8x16_t)x);
#endif
  static_assert(sizeof(V) == VB, "vectors of the path's width");
  typedef std::uint8_t B __attribute__((vector_size(VB)));
  B lut;
  std::memcpy(&lut, NIBBLE_COUNTS, sizeof lut);
  const B b = (B)x, low = B{} + (std::uint8_t)0x0F;
  return (V)(byte_shuffle(lut, b & low) + byte_shuffle(lut, (b >> 4) & low));
}

// Population counts of the low and of the high nibble of every byte of V.
template <typename V>
[[gnu::always_inline]] inline void nibble_popcounts(V x, V& lo, V& hi) {
  const V low = V{} + (std::uint8_t)0x0F;
#if defined(__AVX512BITALG__)
  if constexpr (sizeof(V) == 64) {
    lo = (V)_mm512_popcnt_epi8((__m512i)(x & low));
    hi = (V)_mm512_popcnt_epi8((__m512i)(x & ~low));
    return;
  }
#endif
#if defined(__ARM_NEON)
  if constexpr (sizeof(V) == 16) {
    lo = (V)vcntq_u8((uint8x16_t)(x & low));
    hi = (V)vcntq_u8((uint8x16_t)(x & ~low));
    return;
  }
#endif
  if constexpr (HAS_BYTE_SHUFFLE) {
    V lut;
    std::memcpy(&lut, NIBBLE_COUNTS, sizeof lut);
    lo = byte_shuffle(lut, x & low);
    hi = byte_shuffle(lut, (x >> 4) & low);
  } else {
    x = x - ((x >> 1) & (std::uint8_t)0x55);
    x = (x & (std::uint8_t)0x33) + ((x >> 2) & (std::uint8_t)0x33);
    lo = x & low;
    hi = x >> 4;
  }
}

// Lane-wise population count of a vector of E lanes.
template <typename V, typename E>
inline V lane_popcount(V x) {
#if defined(__AVX512BITALG__) && defined(__AVX512VPOPCNTDQ__)
  if constexpr (sizeof(V) == 64) {
    if constexpr (sizeof(E) == 1) return (V)_mm512_popcnt_epi8((__m512i)x);
    if constexpr (sizeof(E) == 2) return (V)_mm512_popcnt_epi16((__m512i)x);
    if constexpr (sizeof(E) == 8) return (V)_mm512_popcnt_epi64((__m512i)x);
  }
#endif
  if constexpr (HAS_BYTE_SHUFFLE && sizeof(V) == VB) {
    // Byte counts, then summed over each lane's bytes.
    const V c = byte_popcount(x);
    if constexpr (sizeof(E) == 1) return c;
    if constexpr (sizeof(E) == 2) return (c + (c >> 8)) & (E)0x1f;
#if defined(__AVX2__)
    if constexpr (sizeof(E) == 8 && sizeof(V) == 32)
      return (V)_mm256_sad_epu8((__m256i)c, _mm256_setzero_si256());
#endif
#if defined(__AVX512BW__)
    if constexpr (sizeof(E) == 8 && sizeof(V) == 64)
      return (V)_mm512_sad_epu8((__m512i)c, _mm512_setzero_si512());
#endif
#if defined(__ARM_NEON)
    if constexpr (sizeof(E) == 8 && sizeof(V) == 16)
      return (V)vpaddlq_u32(vpaddlq_u16(vpaddlq_u8((uint8x16_t)c)));
#endif
  }
  if constexpr (sizeof(E) == 1) {
    x = x - ((x >> 1) & (E)0x55);
    x = (x & (E)0x33) + ((x >> 2) & (E)0x33);
    return (x + (x >> 4)) & (E)0x0f;
  } else if constexpr (sizeof(E) == 2) {
    x = x - ((x >> 1) & (E)0x5555);
    x = (x & (E)0x3333) + ((x >> 2) & (E)0x3333);
    x = (x + (x >> 4)) & (E)0x0f0f;
    return (x + (x >> 8)) & (E)0x1f;
  } else {
    x = x - ((x >> 1) & (E)0x5555555555555555ULL);
    x = (x & (E)0x3333333333333333ULL) + ((x >> 2) & (E)0x3333333333333333ULL);
    x = (x + (x >> 4)) & (E)0x0f0f0f0f0f0f0f0fULL;
    x = x + (x >> 8);
    x = x + (x >> 16);
    x = x + (x >> 32);
    return x & (E)0x7f;
  }
}

// Three-input logic: (a ^ b) | c, ~a & (b | c) and a | (~b & c). One
// instruction each with AVX-512 (the immediate is the truth table, bit
// a * 4 + b * 2 + c).
template <typename V>
inline V xor_or(V a, V b, V c) {
#if defined(__AVX512F__)
  if constexpr (sizeof(V) == 64)
    return (V)_mm512_ternarylogic_epi64((__m512i)a, (__m512i)b, (__m512i)c, 0xBE);
#endif
  return (a ^ b) | c;
}
template <typename V>
inline V andnot_or(V a, V b, V c) {
#if defined(__AVX512F__)
  if constexpr (sizeof(V) == 64)
    return (V)_mm512_ternarylogic_epi64((__m512i)a, (__m512i)b, (__m512i)c, 0x0E);
#endif
  return ~a & (b | c);
}
template <typename V>
inline V or_andnot(V a, V b, V c) {
#if defined(__AVX512F__)
  if constexpr (sizeof(V) == 64)
    return (V)_mm512_ternarylogic_epi64((__m512i)a, (__m512i)b, (__m512i)c, 0xF2);
#endif
  return a | (~b & c);
}

// (hi << 1) | (lo >> 63) in 64-bit lanes: the high word of a 128-bit lane
// shifted left by one. One instruction with AVX-512 VBMI2.
template <typename V>
inline V shift_in_high(V hi, V lo) {
#if defined(__AVX512VBMI2__)
  if constexpr (sizeof(V) == 64) return (V)_mm512_shldi_epi64((__m512i)hi, (__m512i)lo, 1);
#endif
  return (hi + hi) | (lo >> 63);
}

// Sixteen lanes from and to memory, and the bits of one kind as another:
// piece by piece, so that the pieces stay in registers.
template <typename T, typename E>
[[gnu::always_inline]] inline T load16(const E* p) {
  T v;
#if PLIX_VBYTES == 64
  std::memcpy(&v, p, sizeof v);
#else
  for (int u = 0; u < PIECES; ++u) std::memcpy(&v.v[u], p + u * (16 / PIECES), PLIX_VBYTES);
#endif
  return v;
}
template <typename T, typename E>
[[gnu::always_inline]] inline void store16(E* p, const T& v) {
#if PLIX_VBYTES == 64
  std::memcpy(p, &v, sizeof v);
#else
  for (int u = 0; u < PIECES; ++u) std::memcpy(p + u * (16 / PIECES), &v.v[u], PLIX_VBYTES);
#endif
}
[[gnu::always_inline]] inline v16sf load16f(const float* p) { return load16<v16sf>(p); }
[[gnu::always_inline]] inline v16si load16i(const std::int32_t* p) { return load16<v16si>(p); }
[[gnu::always_inline]] inline v16su bits_of(v16sf x) {
#if PLIX_VBYTES == 64
  return (v16su)x;
#else
  v16su r;
  for (int u = 0; u < PIECES; ++u) r.v[u] = (v16su::Native)x.v[u];
  return r;
#endif
}
[[gnu::always_inline]] inline v16sf select16(v16si mask, v16sf a, v16sf b) {
#if PLIX_VBYTES == 64
  return (v16sf)(((v16si)a & mask) | ((v16si)b & ~mask));
#else
  for (int p = 0; p < PIECES; ++p) {
    typedef v16si::Native I;
    const I m = mask.v[p];
    a.v[p] = (v16sf::Native)(((I)a.v[p] & m) | ((I)b.v[p] & ~m));
  }
  return a;
#endif
}

// Sixteen lane distances widened to 32-bit integers. The byte and 16-bit
// cases interleave with zeros, which compilers turn into zero-extending
// moves or unpacks, where a generic conversion would go element by element.
template <typename E>
[[gnu::always_inline]] inline v16si widen16(const E* k) {
#if PLIX_VBYTES == 64
#if defined(__AVX512F__)
  if constexpr (sizeof(E) == 1)
    return (v16si)_mm512_cvtepu8_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(k)));
  if constexpr (sizeof(E) == 2)
    return (v16si)_mm512_cvtepu16_epi32(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(k)));
#endif
  v16si r;
  for (int x = 0; x < 16; ++x) r[x] = (std::int32_t)k[x];
  return r;
#else
  typedef v16si::Native I;
  v16si r;
#if defined(__AVX2__)
  static_assert(PLIX_VBYTES == 32, "AVX2 pieces");
  if constexpr (sizeof(E) <= 2) {
    if constexpr (sizeof(E) == 1) {
      const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(k));
      r.v[0] = (I)_mm256_cvtepu8_epi32(b);
      r.v[1] = (I)_mm256_cvtepu8_epi32(_mm_srli_si128(b, 8));
    } else {
      r.v[0] = (I)_mm256_cvtepu16_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(k)));
      r.v[1] = (I)_mm256_cvtepu16_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(k + 8)));
    }
    return r;
  }
#else
  static_assert(PLIX_VBYTES == 16, "16-byte pieces");
  typedef std::uint16_t u16x8 __attribute__((vector_size(16)));
  const u16x8 z = {};
  auto widen8 = [&](u16x8 h, int p) {
    r.v[p] = (I)__builtin_shufflevector(h, z, 0, 8, 1, 9, 2, 10, 3, 11);
    r.v[p + 1] = (I)__builtin_shufflevector(h, z, 4, 12, 5, 13, 6, 14, 7, 15);
  };
  if constexpr (sizeof(E) == 1) {
    typedef std::uint8_t u8x16 __attribute__((vector_size(16)));
    u8x16 ke;
    std::memcpy(&ke, k, sizeof ke);
    const u8x16 zb = {};
    widen8((u16x8)__builtin_shufflevector(ke, zb, 0, 16, 1, 17, 2, 18, 3, 19, 4, 20, 5, 21, 6,
                                          22, 7, 23),
           0);
    widen8((u16x8)__builtin_shufflevector(ke, zb, 8, 24, 9, 25, 10, 26, 11, 27, 12, 28, 13, 29,
                                          14, 30, 15, 31),
           2);
    return r;
  } else if constexpr (sizeof(E) == 2) {
    u16x8 h[2];
    std::memcpy(h, k, sizeof h);
    widen8(h[0], 0);
    widen8(h[1], 2);
    return r;
  }
#endif
  for (int p = 0; p < PIECES; ++p)
    for (int x = 0; x < PLIX_VBYTES / 4; ++x) r.v[p][x] = (std::int32_t)k[p * PLIX_VBYTES / 4 + x];
  return r;
#endif
}

// Sixteen distances k / max(m, n) from lane distances and lane lengths.
template <typename E>
[[gnu::always_inline]] inline v16sf lane_quotients(const E* k, const float* m, float n) {
  const v16sf mv = load16f(m);
#if PLIX_VBYTES == 64
  const v16sf kf = __builtin_convertvector(widen16<E>(k), v16sf);
  const v16sf nv = v16sf{} + n;
  const v16sf longer = mv > nv ? mv : nv;
  return kf / longer;
#else
  const v16si ki = widen16<E>(k);
  typedef v16sf::Native F;
  const F nv = F{} + n;
  v16sf out;
  for (int p = 0; p < PIECES; ++p) {
    const F longer = mv.v[p] > nv ? mv.v[p] : nv;
    out.v[p] = __builtin_convertvector(ki.v[p], F) / longer;
  }
  return out;
#endif
}

// Quotients of sixteen 8-bit lanes, lane x = table[idx[x]] from a table of
// 32 floats (or of their bits), every index below 32, the indices read
// from 16-byte aligned memory: one two-table permute, only where the
// processor has it for 64-byte vectors (on AVX2 the four one-table permutes
// and three selections of each half cost more than the division).
#if defined(__AVX512F__) && defined(__AVX512BW__)
constexpr bool HAS_TABLE_LOOKUP = true;
[[gnu::always_inline]] inline v16sf table_lookup16(const float* table, const std::uint8_t* idx) {
  return (v16sf)_mm512_permutex2var_ps(
      _mm512_load_ps(table), _mm512_cvtepu8_epi32(_mm_load_si128(reinterpret_cast<const __m128i*>(idx))),
      _mm512_load_ps(table + 16));
}
#else
constexpr bool HAS_TABLE_LOOKUP = false;
inline v16sf table_lookup16(const float*, const std::uint8_t*) { return v16sf{}; }
#endif

// acc[r] += table[idx[r]] for the lanes r of the bit set `lanes`, r < 32:
// two masked gathers on the 64-byte paths, a loop over the bits elsewhere.
inline void gather_add32(std::uint32_t* acc, const std::int32_t* idx, std::uint32_t lanes,
                         const std::uint32_t* table) {
#if defined(__AVX512F__)
  if constexpr (VB == 64) {
    for (int h = 0; h < 2; ++h) {
      const __mmask16 k = (__mmask16)(lanes >> (16 * h));
      if (k == 0) continue;
      const __m512i x = _mm512_mask_i32gather_epi32(_mm512_setzero_si512(), k,
                                                    _mm512_loadu_si512(idx + 16 * h), table, 4);
      _mm512_storeu_si512(acc + 16 * h, _mm512_add_epi32(_mm512_loadu_si512(acc + 16 * h), x));
    }
    return;
  }
#endif
  for (; lanes != 0; lanes &= lanes - 1) {
    const int r = __builtin_ctz(lanes);
    acc[r] += table[idx[r]];
  }
}

// acc[0..16) += the 16 means, widened exactly to double precision.
[[gnu::always_inline]] inline void add_means(double* acc, v16sf mean) {
#if defined(__AVX512F__) && defined(__AVX512DQ__)
  const __m512 m = (__m512)mean;
  const __m512d lo = _mm512_cvtps_pd(_mm512_castps512_ps256(m));
  const __m512d hi = _mm512_cvtps_pd(_mm512_extractf32x8_ps(m, 1));
  _mm512_storeu_pd(acc, _mm512_add_pd(_mm512_loadu_pd(acc), lo));
  _mm512_storeu_pd(acc + 8, _mm512_add_pd(_mm512_loadu_pd(acc + 8), hi));
#elif defined(__AVX2__)
  for (int p = 0; p < 2; ++p) {
    const __m256 m = (__m256)mean.v[p];
    const __m256d lo = _mm256_cvtps_pd(_mm256_castps256_ps128(m));
    const __m256d hi = _mm256_cvtps_pd(_mm256_extractf128_ps(m, 1));
    _mm256_storeu_pd(acc + 8 * p, _mm256_add_pd(_mm256_loadu_pd(acc + 8 * p), lo));
    _mm256_storeu_pd(acc + 8 * p + 4, _mm256_add_pd(_mm256_loadu_pd(acc + 8 * p + 4), hi));
  }
#elif defined(__SSE2__)
  for (int p = 0; p < 4; ++p) {
    const __m128 m = (__m128)mean.v[p];
    const __m128d lo = _mm_cvtps_pd(m), hi = _mm_cvtps_pd(_mm_movehl_ps(m, m));
    _mm_storeu_pd(acc + 4 * p, _mm_add_pd(_mm_loadu_pd(acc + 4 * p), lo));
    _mm_storeu_pd(acc + 4 * p + 2, _mm_add_pd(_mm_loadu_pd(acc + 4 * p + 2), hi));
  }
#elif defined(__aarch64__)
  for (int p = 0; p < 4; ++p) {
    const float32x4_t m = (float32x4_t)mean.v[p];
    vst1q_f64(acc + 4 * p, vaddq_f64(vld1q_f64(acc + 4 * p), vcvt_f64_f32(vget_low_f32(m))));
    vst1q_f64(acc + 4 * p + 2, vaddq_f64(vld1q_f64(acc + 4 * p + 2), vcvt_high_f64_f32(m)));
  }
#else
  // Two at a time, the natural widening of 16-byte vectors.
  typedef float v2sf __attribute__((vector_size(8)));
  typedef double v2df __attribute__((vector_size(16)));
  for (int p = 0; p < PIECES; ++p)
    for (int h = 0; h < 2; ++h) {
      const v2sf m = h == 0 ? __builtin_shufflevector(mean.v[p], mean.v[p], 0, 1)
                            : __builtin_shufflevector(mean.v[p], mean.v[p], 2, 3);
      v2df a;
      std::memcpy(&a, acc + 4 * p + 2 * h, sizeof a);
      a += __builtin_convertvector(m, v2df);
      std::memcpy(acc + 4 * p + 2 * h, &a, sizeof a);
    }
#endif
}

}  // namespace PLIX_KERNEL_NS
}  // namespace
}  // namespace plix
