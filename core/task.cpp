#include "core/task.h"

CTask* tasks = nullptr;
int32_t nThreads = 0;
