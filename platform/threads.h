// Worker threads: detached threads started with one pointer, as the program's
// workers expect (they signal their end through flags, never through a join).
#pragma once

using ThreadEntry = void (*)(void* argument);

// Starts entry(argument) on a new detached thread. On failure prints
// "_beginthread failed (thread No. %d).\n" with threadNo and returns false.
bool StartThread(ThreadEntry entry, void* argument, int threadNo);

// Gives the processor to another thread; used by every polling loop.
void YieldThread();

// Suspends the calling thread for the given number of milliseconds.
void SleepMilliseconds(int milliseconds);
