// Track recording on the CPU workers: the points where the particles of a
// tracked history interacted and one record per particle telling where, in
// which generation, with which energy and of which origin it was created.
// Every call does nothing unless the record keeps tracks (task.trackData) and
// the current history is tracked.
#pragma once

#include <cstdint>

#include "core/task.h"
#include "core/track_records.h"

// Sets up the worker's track state (NTRACKS > 0); false when memory runs out.
bool AllocateTaskTracks(CTask& task);
void FreeTaskTracks(CTask& task);

// True while the current history's track is being recorded.
bool TrackRecording(const CTask& task);

// History start, after the source particle's position and energy are known:
// closes the previous slot, decides whether this history is tracked, and
// records the source point and the source record.
void TrackHistoryStart(CTask& task);

// History end: counts a kept track on its stream and carries the stream's
// unused quota to the worker's next history.
void TrackHistoryEnd(CTask& task);

// Records the current position as a point of the current particle (before its
// interaction there). FinishTrackPoint then stores the energy after the
// interaction (0 when negative) and cuts a track that reached the limit. Both
// come at every interaction, and most runs keep no tracks: the test of that is
// inline, the recording (RecordKeptTrackPoint, FinishKeptTrackPoint) is not.
void RecordKeptTrackPoint(CTask& task);
void FinishKeptTrackPoint(CTask& task);
inline void RecordTrackPoint(CTask& task) {
  if (task.trackData != nullptr) RecordKeptTrackPoint(task);
}
inline void FinishTrackPoint(CTask& task) {
  if (task.trackData != nullptr) FinishKeptTrackPoint(task);
}

// The exit point of a source particle that never interacted: recorded only
// when SKIP_TRACKS_WITHOUT_COLLISIONS is 0.
void RecordTrackExit(CTask& task);

// A secondary just pushed onto the bank (entry task.nBanked - 1): gives it a
// record when its generation is recorded, else marks it with -1.
void TrackSecondary(CTask& task, uint8_t origin, double energy);

// A secondary that continues in place of the current particle (Compton,
// pair or photoelectron, knock-on): its record becomes the current one and
// the sub-step flag is cleared.
void TrackReplacement(CTask& task, uint8_t origin, double energy);

// Around a pop from the bank: before it, the last point of the ended particle
// gets energy 0 (unless the particle escaped); after it, the popped entry's
// record (bank index `entry`) becomes the current one.
void TrackBeforePop(CTask& task);
void TrackAfterPop(CTask& task, int32_t entry);

// Appends a particle record to the current slot.
void AddCollisionRecord(CTask& task, uint8_t type, double energy);

// A track that reached NCOLLISIONS_TRACK points: recording stops for the rest
// of the history; the first time on a worker a warning is printed.
void CollisionLimitWarning(CTask& task);

// Record i and point i of a slot (chunk i div CHUNKSIZE_TRACKS).
COLLISIONRECORD* CollisionRecordAt(const TRACKSLOT& slot, int32_t i);
TRACKPOINT* Record40At(const TRACKSLOT& slot, int32_t i);
