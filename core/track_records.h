// Track records: the points and particle records of the histories whose
// tracks the CPU workers keep, in chunked arrays that grow without moving
// earlier entries, and the run's track options and per-stream quotas.
#pragma once

#include <cstddef>
#include <cstdint>

// One particle of a tracked history. The first 64 bits (point in the low
// half, generation in the high half) are the record's sort key.
struct COLLISIONRECORD {
  uint32_t point;        // index of the track point where the particle was created (source: 0)
  uint32_t generation;   // 0 for the source particle
  double energy;         // energy at creation, eV
  uint8_t type;          // origin code (0 for the source particle)
  uint32_t nPoints;      // track points recorded for this particle
};
static_assert(offsetof(COLLISIONRECORD, point) == 0);
static_assert(offsetof(COLLISIONRECORD, generation) == 4);

// One recorded point.
struct TRACKPOINT {
  uint32_t record;       // index of the COLLISIONRECORD of the particle that made the point
  double x, y, z;        // position, cm
  double energy;         // energy after the interaction, eV; 0 when the particle ended here
};

// The track of one history on a worker.
struct TRACKSLOT {
  int32_t nRecords = 0;            // particle records
  int32_t nPoints = 0;             // collision counter: 1 = the source point only; negative once cut
  uint64_t sourceParticle = 0;     // source-particle number of the history
  COLLISIONRECORD** recordChunks = nullptr;
  int32_t nRecordChunks = 0;
  TRACKPOINT** pointChunks = nullptr;
  int32_t nPointChunks = 0;
};

// Track state of one worker (CTask::trackData).
struct TASKTRACKS {
  TRACKSLOT* slots = nullptr;      // grown in blocks of TRACKOPTIONS::blockSize
  int32_t nSlotsAllocated = 0;
  int32_t iSlot = 0;               // current slot
  int32_t nSlotsUsed = 0;          // slots holding a track (iSlot + 1 once started)
  uint8_t started = 0;             // the worker has opened its first slot
  uint8_t tracked = 0;             // the current history is tracked
  int32_t recordMark = 0;          // record count at which a new record chunk is needed
  int32_t pointMark = 0;           // collision counter at which a new point chunk is needed
  int32_t curRecord = 0;           // record of the current particle
  int64_t curGeneration = 0;       // its generation; -1 = nothing recorded for it
  int32_t carried = 0;             // track quota carried to the next history
  int32_t* bankRecord = nullptr;   // creation record of each banked particle, -1 none
  int32_t bankRecordCapacity = 0;
};

// The track options of the run and the per-stream quotas (driver-filled).
struct TRACKOPTIONS {
  int32_t NTRACKS = 0;                         // histories whose tracks are kept
  int32_t NCOLLISIONS_TRACK = 100000;          // most points of one track
  uint8_t SKIP_TRACKS_WITHOUT_COLLISIONS = 1;  // a source particle that never interacts leaves no track
  int32_t MAXGEN_TRACKS = -1;                  // highest generation recorded, -1 = no limit
  int32_t CHUNKSIZE_TRACKS = 10000;            // entries per chunk
  int32_t blockSize = 1;                       // slots per growth: ceil(NTRACKS / CPU workers)
  int32_t* streamQuota = nullptr;              // tracks to record per stream
  int32_t* streamDone = nullptr;               // tracks recorded per stream
};

namespace core {
inline TRACKOPTIONS trackOptions;
}  // namespace core
