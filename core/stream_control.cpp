#include "core/stream_control.h"

namespace core {
RUNSTREAMS runStreams;
}  // namespace core
