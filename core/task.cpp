#include "core/task.h"

namespace core {
CTask* tasks = nullptr;
int32_t nThreads = 0;
}  // namespace core
