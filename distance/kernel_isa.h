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

typedef float v16sf __attribute__((vector_size(64)));
typedef float v8sf __attribute__((vector_size(32)));
typedef double v8df __attribute__((vector_size(64)));
typedef std::int32_t v16si __attribute__((vector_size(64)));

inline int popcount64(std::uint64_t x) { return __builtin_popcountll(x); }

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

inline v16sf load16f(const float* p) {
  v16sf v;
  std::memcpy(&v, p, sizeof v);
  return v;
}
inline v16si load16i(const std::int32_t* p) {
  v16si v;
  std::memcpy(&v, p, sizeof v);
  return v;
}
inline v16sf select16(v16si mask, v16sf a, v16sf b) {
  return (v16sf)(((v16si)a & mask) | ((v16si)b & ~mask));
}

// Sixteen lane distances widened to 32-bit integers. The byte and 16-bit
// cases interleave with zeros, which compilers turn into one zero-extending
// move, where a generic conversion would go element by element.
template <typename E>
inline v16si widen16(const E* k) {
#if defined(__AVX512F__)
  if constexpr (sizeof(E) == 1)
    return (v16si)_mm512_cvtepu8_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(k)));
  if constexpr (sizeof(E) == 2)
    return (v16si)_mm512_cvtepu16_epi32(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(k)));
#elif defined(__AVX2__)
  if constexpr (sizeof(E) <= 2) {
    __m256i lo, hi;
    if constexpr (sizeof(E) == 1) {
      const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(k));
      lo = _mm256_cvtepu8_epi32(b);
      hi = _mm256_cvtepu8_epi32(_mm_srli_si128(b, 8));
    } else {
      lo = _mm256_cvtepu16_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(k)));
      hi = _mm256_cvtepu16_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(k + 8)));
    }
    v16si r;
    std::memcpy(&r, &lo, 32);
    std::memcpy(reinterpret_cast<char*>(&r) + 32, &hi, 32);
    return r;
  }
#endif
  if constexpr (sizeof(E) == 1) {
    typedef std::uint8_t u8x16 __attribute__((vector_size(16)));
    typedef std::uint8_t u8x64 __attribute__((vector_size(64)));
    u8x16 ke;
    std::memcpy(&ke, k, sizeof ke);
    const u8x16 z = {};
    const u8x64 wide = __builtin_shufflevector(
        ke, z, 0, 16, 16, 16, 1, 16, 16, 16, 2, 16, 16, 16, 3, 16, 16, 16, 4, 16, 16, 16, 5, 16,
        16, 16, 6, 16, 16, 16, 7, 16, 16, 16, 8, 16, 16, 16, 9, 16, 16, 16, 10, 16, 16, 16, 11, 16,
        16, 16, 12, 16, 16, 16, 13, 16, 16, 16, 14, 16, 16, 16, 15, 16, 16, 16);
    return (v16si)wide;
  } else if constexpr (sizeof(E) == 2) {
    typedef std::uint16_t u16x16 __attribute__((vector_size(32)));
    typedef std::uint16_t u16x32 __attribute__((vector_size(64)));
    u16x16 ke;
    std::memcpy(&ke, k, sizeof ke);
    const u16x16 z = {};
    const u16x32 wide = __builtin_shufflevector(ke, z, 0, 16, 1, 16, 2, 16, 3, 16, 4, 16, 5, 16,
                                                6, 16, 7, 16, 8, 16, 9, 16, 10, 16, 11, 16, 12, 16,
                                                13, 16, 14, 16, 15, 16);
    return (v16si)wide;
  } else {
    v16si r;
    for (int x = 0; x < 16; ++x) r[x] = (std::int32_t)k[x];
    return r;
  }
}

// Sixteen distances k / max(m, n) from lane distances and lane lengths.
template <typename E>
inline v16sf lane_quotients(const E* k, const float* m, float n) {
  const v16sf kf = __builtin_convertvector(widen16<E>(k), v16sf);
  const v16sf mv = load16f(m);
#if defined(__AVX2__) && !defined(__AVX512F__)
  // Two native halves: the generic form of the wide select and division is
  // taken apart element by element on this path.
  __m256 k2[2], m2[2];
  std::memcpy(k2, &kf, sizeof kf);
  std::memcpy(m2, &mv, sizeof mv);
  const __m256 n2 = _mm256_set1_ps(n);
  const __m256 d[2] = {_mm256_div_ps(k2[0], _mm256_max_ps(m2[0], n2)),
                       _mm256_div_ps(k2[1], _mm256_max_ps(m2[1], n2))};
  v16sf out;
  std::memcpy(&out, d, sizeof out);
  return out;
#else
  const v16sf nv = v16sf{} + n;
  const v16sf longer = mv > nv ? mv : nv;
  return kf / longer;
#endif
}

// Quotients of 64 8-bit lanes, q[u] lane x = table[idx[16 u + x]] from a
// table of 32 floats, every index below 32, the indices widened straight
// from memory. Only where the processor has the two-table permute of
// 64-byte vectors.
#if defined(__AVX512F__) && defined(__AVX512BW__)
constexpr bool HAS_TABLE_LOOKUP = true;
inline void table_lookup4(const float* table, const std::uint8_t* idx, v16sf* q) {
  const __m512 lo = _mm512_load_ps(table), hi = _mm512_load_ps(table + 16);
  for (int u = 0; u < 4; ++u)
    q[u] = (v16sf)_mm512_permutex2var_ps(
        lo, _mm512_cvtepu8_epi32(_mm_load_si128(reinterpret_cast<const __m128i*>(idx + 16 * u))), hi);
}
#else
constexpr bool HAS_TABLE_LOOKUP = false;
inline void table_lookup4(const float*, const std::uint8_t*, v16sf*) {}
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
inline void add_means(double* acc, v16sf mean) {
#if defined(__AVX512F__) && defined(__AVX512DQ__)
  const __m512 m = (__m512)mean;
  const __m512d lo = _mm512_cvtps_pd(_mm512_castps512_ps256(m));
  const __m512d hi = _mm512_cvtps_pd(_mm512_extractf32x8_ps(m, 1));
  _mm512_storeu_pd(acc, _mm512_add_pd(_mm512_loadu_pd(acc), lo));
  _mm512_storeu_pd(acc + 8, _mm512_add_pd(_mm512_loadu_pd(acc + 8), hi));
#else
  const v8sf lo = __builtin_shufflevector(mean, mean, 0, 1, 2, 3, 4, 5, 6, 7);
  const v8sf hi = __builtin_shufflevector(mean, mean, 8, 9, 10, 11, 12, 13, 14, 15);
  v8df a0, a1;
  std::memcpy(&a0, acc, sizeof a0);
  std::memcpy(&a1, acc + 8, sizeof a1);
  a0 += __builtin_convertvector(lo, v8df);
  a1 += __builtin_convertvector(hi, v8df);
  std::memcpy(acc, &a0, sizeof a0);
  std::memcpy(acc + 8, &a1, sizeof a1);
#endif
}

}  // namespace PLIX_KERNEL_NS
}  // namespace
}  // namespace plix
