// The tracks file of the result folder: the tracks of the tracked histories
// of all CPU workers, in ascending history number, at most NTRACKS of them.
#pragma once

#include <cstdint>

#include "core/task.h"
#include "driver/status.h"

// Writes the tracks kept by workers[0 .. nWorkers-1] to path. Returns 0, or
// 1 after printing "File \"%s\" could not be opened for writing.\n" (the file
// cannot be created) or an error naming the file (it could not be written);
// the run then ends with exit code 1. The tracks' record chunks are sorted in
// place.
Status WriteTracksFile(const char* path, CTask* workers, int32_t nWorkers, int32_t nTracks);
