// Loaded (LD_PRELOAD) into the fuzz layer's Node.js so that Jazzer.js's prebuilt fuzzing engine
// runs on this Debian: the engine was built against glibc 2.38 and GCC 13's libstdc++ and asks
// for three functions that the older runtimes here lack. weaken-versions.mjs marks the engine's
// need of those two runtime versions weak; these definitions then stand in for the functions.

#include <cstdlib>
#include <iostream>  // its static initialiser sets up the shared libstdc++'s streams, as GCC 13's does itself

// C23's strtol and strtoul; they differ from the C99 ones only in reading a "0b" prefix, which
// the engine's flag parsing never sees.
extern "C" long __isoc23_strtol(const char* text, char** end, int base) { return std::strtol(text, end, base); }
extern "C" unsigned long __isoc23_strtoul(const char* text, char** end, int base) {
    return std::strtoul(text, end, base);
}

// GCC 13 refers to it from every file that includes <iostream>, only to pull in a libstdc++ that
// initialises its streams itself; there is nothing to do in it.
namespace std {
void ios_base_library_init() {}
}  // namespace std
