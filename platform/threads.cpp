#include "platform/threads.h"

#include <pthread.h>
#include <sched.h>
#include <time.h>

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
