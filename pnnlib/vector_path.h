// The run-time choice of the AVX2 paths of wimbel and sotrak. The build
// targets plain x86-64, so each AVX2 path is a function of its own compiled
// with __attribute__((target("avx2"))) beside a plain twin that gives the
// same bits. A caller takes the AVX2 one when use_avx2(vector) says so; the
// tools leave `vector` on, and the tests turn it off to run the plain twin
// on any processor.
#pragma once

// Whether the processor runs AVX2 code, asked once per run.
inline bool have_avx2() {
  static const bool have = __builtin_cpu_supports("avx2");
  return have;
}

inline bool use_avx2(bool vector) { return vector && have_avx2(); }
