#include "platform/threads.h"

#include <linux/futex.h>
#include <pthread.h>
#include <sched.h>
#include <sys/syscall.h>
#include <time.h>
#include <unistd.h>

#include <cstdio>
#include <new>

namespace {

struct ThreadStart {
  ThreadEntry entry;
  void* argument;
};

void* RunThread(void* raw) {
  ThreadStart start = *static_cast<ThreadStart*>(raw);
  delete static_cast<ThreadStart*>(raw);
  start.entry(start.argument);
  return nullptr;
}

}  // namespace

bool StartThread(ThreadEntry entry, void* argument, int threadNo, size_t stackBytes) {
  auto* start = new (std::nothrow) ThreadStart{entry, argument};
  pthread_attr_t attributes;
  bool started = false;
  if (start != nullptr && pthread_attr_init(&attributes) == 0) {
    pthread_attr_setdetachstate(&attributes, PTHREAD_CREATE_DETACHED);
    bool sized = stackBytes == 0 || pthread_attr_setstacksize(&attributes, stackBytes) == 0;
    pthread_t thread;
    started = sized && pthread_create(&thread, &attributes, RunThread, start) == 0;
    pthread_attr_destroy(&attributes);
  }
  if (!started) {
    delete start;
    printf("_beginthread failed (thread No. %d).\n", threadNo);
  }
  return started;
}

void YieldThread() { sched_yield(); }

void SleepMilliseconds(int milliseconds) {
  if (milliseconds <= 0) {
    sched_yield();
    return;
  }
  timespec delay{milliseconds / 1000, (milliseconds % 1000) * 1000000L};
  while (nanosleep(&delay, &delay) != 0) {
  }
}

namespace {

// Rounds of a short busy wait before a waiting thread sleeps: a partner that
// answers within about a microsecond is seen without the kernel's sleep and
// wake-up, which cost tens of microseconds.
constexpr int kSpinRounds = 64;

void CpuRelax() {
#if defined(__x86_64__) || defined(__i386__)
  __builtin_ia32_pause();
#endif
}

long Futex(std::atomic<uint32_t>* word, int operation, uint32_t value, const timespec* timeout) {
  static_assert(sizeof(std::atomic<uint32_t>) == sizeof(uint32_t));
  return syscall(SYS_futex, reinterpret_cast<uint32_t*>(word), operation, value, timeout, nullptr, 0);
}

}  // namespace

void ThreadSignal::Notify() {
  sequence.fetch_add(1, std::memory_order_seq_cst);
  // A waiter registers before it sleeps and sleeps only while the sequence
  // is the one it read: either it sees this increment or this load sees it.
  if (waiters.load(std::memory_order_seq_cst) != 0) Futex(&sequence, FUTEX_WAKE_PRIVATE, INT32_MAX, nullptr);
}

bool ThreadSignal::Wait(uint32_t seen, int64_t timeoutMicroseconds) {
  for (int i = 0; i < kSpinRounds; ++i) {
    if (sequence.load(std::memory_order_acquire) != seen) return true;
    CpuRelax();
  }
  if (timeoutMicroseconds <= 0) return false;
  const timespec timeout{static_cast<time_t>(timeoutMicroseconds / 1000000),
                         static_cast<long>(timeoutMicroseconds % 1000000) * 1000L};
  waiters.fetch_add(1, std::memory_order_seq_cst);
  Futex(&sequence, FUTEX_WAIT_PRIVATE, seen, &timeout);
  waiters.fetch_sub(1, std::memory_order_seq_cst);
  return sequence.load(std::memory_order_acquire) != seen;
}
