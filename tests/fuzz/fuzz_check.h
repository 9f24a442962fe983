#pragma once
// CHECK(condition) for the fuzz targets' properties: a failed one names itself in the log
// ("property failed at line N: <condition>") before the fuzzer keeps the input.
#include <cstdio>
#include <cstdlib>

namespace fuzzcheck {

[[noreturn]] inline void fail(const char* what, int line) {
    std::fprintf(stderr, "property failed at line %d: %s\n", line, what);
    std::abort();
}

}  // namespace fuzzcheck

#define CHECK(ok) ((ok) ? void() : ::fuzzcheck::fail(#ok, __LINE__))
