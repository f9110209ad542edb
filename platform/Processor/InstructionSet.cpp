#include "Processor/InstructionSet.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace Processor {

namespace {

constexpr InstructionSet kSets[] = {InstructionSet::kAVX512, InstructionSet::kAVX2,
                                    InstructionSet::kSSE2, InstructionSet::kScalar};

InstructionSet Best()
{
    for (InstructionSet set : kSets)
        if (Runs(set))
            return set;
    return InstructionSet::kScalar;
}

InstructionSet Choose()
{
    const InstructionSet best = Best();
    const char* word = getenv("PARALLAX3D_CPU");
    if (word == nullptr || *word == '\0')
        return best;
    for (InstructionSet set : kSets) {
        if (strcmp(word, Name(set)) != 0)
            continue;
        if (Runs(set))
            return set;
        fprintf(stderr, "PARALLAX3D_CPU=%s: this processor cannot run it; using %s\n", word,
                Name(best));
        return best;
    }
    fprintf(stderr, "PARALLAX3D_CPU=%s: not one of avx512, avx2, sse2, scalar; using %s\n", word,
            Name(best));
    return best;
}

} // namespace

bool Runs(InstructionSet set)
{
    switch (set) {
    case InstructionSet::kScalar:
        return true;
#if defined(__x86_64__)
    case InstructionSet::kSSE2:
        return true; // every x86-64 processor
    case InstructionSet::kAVX2:
        return __builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma");
    case InstructionSet::kAVX512:
        return Runs(InstructionSet::kAVX2) && __builtin_cpu_supports("avx512f") &&
               __builtin_cpu_supports("avx512bw") && __builtin_cpu_supports("avx512vbmi");
#else
    default:
        return false;
#endif
    }
    return false;
}

InstructionSet Chosen()
{
    static const InstructionSet sChosen = Choose();
    return sChosen;
}

const char* Name(InstructionSet set)
{
    switch (set) {
    case InstructionSet::kScalar:
        return "scalar";
    case InstructionSet::kSSE2:
        return "sse2";
    case InstructionSet::kAVX2:
        return "avx2";
    case InstructionSet::kAVX512:
        return "avx512";
    }
    return "scalar";
}

const char* ChosenLine()
{
    static const std::string sLine = std::string("cpu: ") + Name(Chosen());
    return sLine.c_str();
}

} // namespace Processor
