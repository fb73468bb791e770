// Worker threads: detached threads started with one pointer, as the program's
// workers expect (they signal their end through flags, never through a join).
#pragma once

#include <cstddef>

using ThreadEntry = void (*)(void* argument);

// Starts entry(argument) on a new detached thread, with a stack of
// stackBytes (0: the system's default size). On failure prints
// "_beginthread failed (thread No. %d).\n" with threadNo and returns false.
bool StartThread(ThreadEntry entry, void* argument, int threadNo, size_t stackBytes = 0);

// Gives the processor to another thread; used by every polling loop.
void YieldThread();

// Suspends the calling thread for the given number of milliseconds.
void SleepMilliseconds(int milliseconds);
