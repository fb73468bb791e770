#include "core/stream_control.h"

RUNSTREAMS runStreams;
