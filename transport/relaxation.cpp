// The CPU worker's wrappers of the relaxation cascade of photon_step.h
// (state 4 of the history loop).
#include "transport/relaxation.h"

#include "core/task.h"
#include "transport/history.h"
#include "transport/photon_step.h"

int32_t StartRelaxation(CTask& task, int32_t element, int32_t designator) {
  return RaiseFatal(task, BeginRelaxation(task, element, designator, StopRequested(task)));
}

int32_t CTask::AtomicTransition() { return RaiseFatal(*this, RelaxationCascade(*this, StopRequested(*this))); }
