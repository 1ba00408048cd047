// Building a hot loop a second time for AVX2, chosen when the program loads.
#pragma once

// GCC on x86-64 ELF only: clang 14 gives callers in other files no symbol
// under the function's plain name, and Windows has no load-time choice.
#if defined(__x86_64__) && defined(__ELF__) && defined(__GNUC__) && !defined(__clang__)
#define WITH_AVX2_CLONE __attribute__((target_clones("avx2", "default")))
#else
#define WITH_AVX2_CLONE
#endif
