// Monotonic wall clock. Every one-second gate, elapsed time and time limit of
// the program reads this clock; it never jumps with the system time.
#pragma once

#include <cstdint>

// Milliseconds since the process started.
int64_t MillisecondsSinceStart();

// Seconds since the process started, as a double.
double SecondsSinceStart();
