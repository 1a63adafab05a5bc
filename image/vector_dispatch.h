// SPDX-License-Identifier: GPL-3.0-or-later
// The resamplers' inner loops are written once over a vector type and compiled twice: for
// the baseline instruction set with two doubles per vector, and, used where the processor
// has it, for AVX2 with four. Both run the same IEEE operations in the same order (AVX2
// brings no fused multiply-add, and the image library builds with contraction off), so the
// results are identical; the wider vectors only do more of them per instruction.
#pragma once

#include <atomic>
#include <cstddef>

namespace pictavo {

// Tests turn the AVX2 code off to check that both variants give the same bytes.
inline std::atomic<bool> wide_vectors_allowed{true};

using DoublePair = double __attribute__((vector_size(2 * sizeof(double))));
using DoubleQuad = double __attribute__((vector_size(4 * sizeof(double))));

// 32-bit integers, as many as a vector has doubles.
template <class Vector>
struct WholeLanes;
template <>
struct WholeLanes<DoublePair> {
    using Type = int __attribute__((vector_size(2 * sizeof(int))));
};
template <>
struct WholeLanes<DoubleQuad> {
    using Type = int __attribute__((vector_size(4 * sizeof(int))));
};


template <class Vector>
constexpr int vector_lanes = static_cast<int>(sizeof(Vector) / sizeof(double));

// Code that must be compiled in the context of its caller, so that the AVX2 caller gets
// AVX2 code.
#define PICTAVO_INLINE [[gnu::always_inline]] inline

// Sets every accumulator to zero in registers (an aggregate `= {}` may become a memset).
template <class Vector, std::size_t Count>
PICTAVO_INLINE void clear_all(Vector (&vectors)[Count])
{
    for (std::size_t i = 0; i < Count; ++i)
        vectors[i] = Vector{};
}

// Adds weight * the doubles at `at` to total, lane by lane.
template <class Vector>
PICTAVO_INLINE void add_weighted(Vector& total, double weight, const double* at)
{
    Vector samples;
    __builtin_memcpy(&samples, at, sizeof samples);
    total += weight * samples;
}

#if defined(__x86_64__) && defined(__GNUC__)
#define PICTAVO_TARGET_AVX2 __attribute__((target("avx2")))
inline bool cpu_has_avx2()
{
    return wide_vectors_allowed.load(std::memory_order_relaxed) && __builtin_cpu_supports("avx2");
}
#else
#define PICTAVO_TARGET_AVX2
inline bool cpu_has_avx2()
{
    return false;
}
#endif

} // namespace pictavo
