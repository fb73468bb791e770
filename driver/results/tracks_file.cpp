// Tracks file: histories sorted by source-particle number, each history's
// particles sorted by generation and creation point, one segment per particle.
#include "driver/results/tracks_file.h"

#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "driver/results/track_sort.h"
#include "platform/clock.h"
#include "transport/tracks.h"

namespace {

int32_t PointCount(const TRACKSLOT& slot) { return slot.nPoints < 0 ? -slot.nPoints : slot.nPoints; }

// Progress of a long write: "Writing track data" at most once a second.
struct WRITEPROGRESS {
  int64_t total = 0;
  int64_t done = 0;
  double lastShown = 0.0;  // s, when the line was last shown (or the writing began)
  bool shown = false;
};

void ShowProgress(WRITEPROGRESS& p) {
  if (p.done % 1000 != 0) return;
  const double now = SecondsSinceStart();
  if (now - p.lastShown < 1.0) return;
  if (!p.shown) printf("\n");
  p.shown = true;
  p.lastShown = now;
  printf("Writing track data (%.2f %%)\r", 100.0 * static_cast<double>(p.done) / static_cast<double>(p.total));
  fflush(stdout);
}

void WritePoint(FILE* f, const TRACKPOINT& p) { fprintf(f, "%.14g %.14g %.14g %.14g\n", p.x, p.y, p.z, p.energy); }

// One history: its segments in sorted record order. *segment is the number
// of the next segment in the file.
void WriteHistory(FILE* f, const TRACKSLOT& slot, int32_t ordinal, long long* segment, WRITEPROGRESS& progress) {
  const int32_t nRecords = slot.nRecords;
  const int32_t nPoints = PointCount(slot);
  std::vector<int32_t> order(static_cast<size_t>(nRecords));
  if (!SortCollisionRecords(slot, nRecords, order.data())) return;
  std::vector<int32_t> position(static_cast<size_t>(nRecords));  // sorted position of each original record
  for (int32_t i = 0; i < nRecords; ++i) position[static_cast<size_t>(order[static_cast<size_t>(i)])] = i;

  // The points of each particle, in recording order (a counting sort).
  std::vector<int32_t> start(static_cast<size_t>(nRecords) + 1, 0);
  for (int32_t i = 0; i < nPoints; ++i) ++start[Record40At(slot, i)->record + 1];
  for (int32_t r = 0; r < nRecords; ++r) start[static_cast<size_t>(r) + 1] += start[static_cast<size_t>(r)];
  std::vector<int32_t> byRecord(static_cast<size_t>(nPoints));
  std::vector<int32_t> fill(start.begin(), start.end() - 1);
  for (int32_t i = 0; i < nPoints; ++i) byRecord[static_cast<size_t>(fill[Record40At(slot, i)->record]++)] = i;

  const long long first = *segment;
  fprintf(f, "%lld: History No. %d\n%lld\n", first, ordinal, static_cast<long long>(slot.sourceParticle) + 1);
  for (int32_t s = 0; s < nRecords; ++s) {
    const int32_t original = order[static_cast<size_t>(s)];
    const COLLISIONRECORD& rec = *CollisionRecordAt(slot, s);
    const int32_t from = start[static_cast<size_t>(original)];
    const int32_t count = start[static_cast<size_t>(original) + 1] - from;
    const bool hasParent = original != 0;
    if (hasParent) {
      const TRACKPOINT& birth = *Record40At(slot, static_cast<int32_t>(rec.point));
      fprintf(f, "%lld:%d/%d\n", first + s, static_cast<int>(first + position[birth.record]), rec.type);
      fprintf(f, "%d\n", count + 1);
      WritePoint(f, TRACKPOINT{0, birth.x, birth.y, birth.z, rec.energy});
    } else {
      fprintf(f, "%d\n", count);
    }
    for (int32_t i = 0; i < count; ++i) {
      WritePoint(f, *Record40At(slot, byRecord[static_cast<size_t>(from + i)]));
      ++progress.done;
      ShowProgress(progress);
    }
  }
  *segment = first + nRecords;
}

}  // namespace

Status WriteTracksFile(const char* path, CTask* workers, int32_t nWorkers, int32_t nTracks) {
  // Every kept track of every worker (a history still in progress counts too).
  std::vector<const TRACKSLOT*> slots;
  std::vector<int64_t> keys;
  for (int32_t w = 0; w < nWorkers; ++w) {
    const TASKTRACKS* tr = workers[w].trackData;
    if (tr == nullptr) continue;
    for (int32_t i = 0; i < tr->nSlotsUsed; ++i) {
      const TRACKSLOT& slot = tr->slots[i];
      if (PointCount(slot) <= 1) continue;
      slots.push_back(&slot);
      keys.push_back(static_cast<int64_t>(slot.sourceParticle));
    }
  }
  std::vector<int32_t> order(slots.size());
  SortKeys(static_cast<int32_t>(slots.size()), keys.data(), order.data());
  const size_t n =
      slots.size() < static_cast<size_t>(nTracks > 0 ? nTracks : 0) ? slots.size() : static_cast<size_t>(nTracks);

  FILE* f = fopen(path, "w");
  if (f == nullptr) {
    printf("File \"%s\" could not be opened for writing.\n", path);
    return kInputError;
  }
  WRITEPROGRESS progress;
  progress.lastShown = SecondsSinceStart();
  for (size_t i = 0; i < n; ++i) progress.total += PointCount(*slots[static_cast<size_t>(order[i])]);
  long long segment = 1;
  for (size_t i = 0; i < n; ++i) {
    WriteHistory(f, *slots[static_cast<size_t>(order[i])], static_cast<int32_t>(i) + 1, &segment, progress);
  }
  if (progress.shown) printf("Writing track data (%.2f %%)\n", 100.0);
  const bool failed = ferror(f) != 0;
  if (fclose(f) != 0 || failed) {
    printf("Error: File \"%s\" could not be written.\n", path);
    return kInputError;
  }
  return kOk;
}
