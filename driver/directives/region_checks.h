// The bounding lists of cells and general macrobodies: read item by item with
// the cell parser, then checked as soon as the definition ends: half-spaces
// made redundant by another are dropped, two half-spaces without a common
// point are refused, and the region must have a volume.
#pragma once

#include <cstdint>
#include <vector>

#include "driver/directives/geometry_tables.h"
#include "driver/status.h"

// The cell parser's arrays for one definition (it grows them with
// CheckedRealloc; a cell's surfaces and senses have the full capacity of a
// bounding list for the time of the definition).
class RegionReader {
 public:
  RegionReader(bool isCell, int32_t identifier);
  ~RegionReader();
  RegionReader(const RegionReader&) = delete;
  RegionReader& operator=(const RegionReader&) = delete;

  // One item at *token (AddBoundingSurface): 1 appended, 0 after a message,
  // -1 the token held closing brackets only (*token is the next one).
  int Add(char** token);
  // The end of the definition: 1, or 0 after the message of an open bracket.
  int Finish();
  uint16_t count() const { return count_; }
  // The items read, appended to region.
  void AppendTo(REGIONLIST* region) const;

 private:
  CellParserState state_{};
  bool isCell_;
  int32_t identifier_;
  uint16_t count_ = 0;
  uint16_t* surfaces_ = nullptr;
  int8_t* senses_ = nullptr;
  int16_t* surfMacrobody_ = nullptr;
  int16_t* surfFacet_ = nullptr;
};

// Classifies every pair of half-spaces of the region (SurfacePairRelation):
// a pair without common point is refused with disjointMessage (a format with
// the identifier and the two items); a redundant half-space is marked in
// *removed. The region is not changed.
Status FindRedundantHalfSpaces(const REGIONLIST& region, const char* disjointMessage, int32_t identifier,
                               std::vector<bool>* removed);

// AnalyzeCell on the region: kOk with *status 0 when it has a point inside,
// or the negative result when the analysis was doubtful; kInputError after
// zeroVolumeMessage (a format with the identifier) when it has no volume.
Status CheckRegionVolume(const REGIONLIST& region, const char* zeroVolumeMessage, int32_t identifier,
                         VECTOR* interiorPoint, uint8_t* pointKind, int32_t* status);
