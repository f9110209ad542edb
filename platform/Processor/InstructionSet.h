// The one choice of instruction set that every kernel with several paths follows: what the
// processor runs, read once, capped by PARALLAX3D_CPU=avx512|avx2|sse2|scalar for tests and
// benchmarks. A kernel takes the best of its own paths at or below the choice.
#pragma once

namespace Processor {

// Ordered: each one runs everything below it.
enum class InstructionSet { kScalar, kSSE2, kAVX2, kAVX512 };

// Whether this processor runs the set: AVX2 with FMA; AVX-512 with BW and VBMI. The portable
// C++ paths are kScalar.
bool Runs(InstructionSet set);

// The processor's best, or the one PARALLAX3D_CPU names. A word it does not know, or a set the
// processor cannot run, is told in one line on standard error, and the best one is taken.
InstructionSet Chosen();

// "avx512", "avx2", "sse2", "scalar".
const char* Name(InstructionSet set);

// The choice as it reads in a program's --version: "cpu: avx2".
const char* ChosenLine();

} // namespace Processor
