// Worker threads: detached threads started with one pointer, as the program's
// workers expect (they signal their end through flags, never through a join).
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>

using ThreadEntry = void (*)(void* argument);

// Starts entry(argument) on a new detached thread, with a stack of
// stackBytes (0: the system's default size). On failure prints
// "_beginthread failed (thread No. %d).\n" with threadNo and returns false.
bool StartThread(ThreadEntry entry, void* argument, int threadNo, size_t stackBytes = 0);

// Gives the processor to another thread; used by every polling loop.
void YieldThread();

// Suspends the calling thread for the given number of milliseconds.
void SleepMilliseconds(int milliseconds);

// A wake-up call between threads that hand flags to each other. The flags
// stay std::atomic with acquire/release; the signal only tells a waiting
// thread to look at them again, so that it sleeps in the kernel instead of
// yielding in a loop. The waiting side reads Sequence(), tests its flags and,
// when they do not let it go on, calls Wait with the sequence it read: a
// Notify made after that reading ends the wait at once, so no call is lost.
// The side that sets a flag calls Notify after the store.
class ThreadSignal {
 public:
  // The count of Notify calls so far (read before testing the flags).
  uint32_t Sequence() const { return sequence.load(std::memory_order_seq_cst); }
  // Wakes every thread in Wait; costs no system call when none waits.
  void Notify();
  // Returns after a Notify that followed the reading of `seen`, or after
  // timeoutMicroseconds, or spuriously; the caller tests its flags again.
  // True when a Notify has come since `seen` was read.
  bool Wait(uint32_t seen, int64_t timeoutMicroseconds);

 private:
  std::atomic<uint32_t> sequence{0};
  std::atomic<uint32_t> waiters{0};
};
