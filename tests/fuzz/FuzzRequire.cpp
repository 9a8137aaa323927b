// Under libFuzzer a broken rule is a crash: libFuzzer keeps the input as an artefact.

#include "FuzzTarget.h"

#include <cstdio>
#include <cstdlib>

void vyn::fuzz::require(bool holds, const char* rule) {
    if (holds) return;
    std::fprintf(stderr, "broken rule: %s\n", rule);
    std::abort();
}
