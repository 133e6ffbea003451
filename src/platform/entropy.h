// The operating system's entropy source and process hooks the random generator's state
// depends on: the one seam between the generator and the OS.
#pragma once

#include <cstddef>
#include <cstdint>

namespace quillon {

// Fills `out` with `length` bytes from the OS's cryptographic source (getrandom on Linux,
// BCryptGenRandom on Windows). 1, or 0 when the source is unavailable; never falls back to
// anything weaker.
int ENTROPY_Read(uint8_t* out, size_t length);

// Registers handlers run around fork() (pthread_atfork's order and meaning). Where processes
// are not forked (Windows) nothing is registered.
void ENTROPY_AtFork(void (*prepare)(), void (*parent)(), void (*child)());

}  // namespace quillon
