#include "driver/directives/region_checks.h"

#include <cstdio>
#include <cstdlib>

#include "core/allocation.h"
#include "driver/directives/directive_words.h"

RegionReader::RegionReader(bool isCell, int32_t identifier) : isCell_(isCell), identifier_(identifier) {
  if (!isCell) return;
  surfaces_ = static_cast<uint16_t*>(CheckedMalloc(kMaxBoundingEntries * sizeof(uint16_t), "bounding surfaces"));
  senses_ = static_cast<int8_t*>(CheckedMalloc(kMaxBoundingEntries * sizeof(int8_t), "bounding surface senses"));
}

RegionReader::~RegionReader() {
  std::free(surfaces_);
  std::free(senses_);
  std::free(surfMacrobody_);
  std::free(surfFacet_);
}

int RegionReader::Add(char** token) {
  return AddBoundingSurface(&state_, DirectiveDefinitionReader(), ParserTables(), token, isCell_, identifier_, &count_,
                            &surfaces_, &senses_, &surfMacrobody_, &surfFacet_, kListGrowth);
}

int RegionReader::Finish() {
  char* end = nullptr;
  return Add(&end);
}

void RegionReader::AppendTo(REGIONLIST* region) const {
  for (uint16_t k = 0; k < count_; ++k) region->Append(surfaces_[k], senses_[k], surfMacrobody_[k], surfFacet_[k]);
}

Status FindRedundantHalfSpaces(const REGIONLIST& region, const char* disjointMessage, int32_t identifier,
                               std::vector<bool>* removed) {
  const GeometryAnalysis g = AnalysisTables();
  const int n = static_cast<int>(region.size());
  removed->assign(region.size(), false);
  uint8_t notParameterised = 0;
  for (int i = 0; i < n; ++i) {
    if ((*removed)[i]) continue;
    for (int j = i + 1; j < n; ++j) {
      if ((*removed)[j]) continue;
      const int relation = SurfacePairRelation(g, region.surfaces.data(), i, j, region.senses.data(),
                                               directives::geometryPrecision.distancePrecision, &notParameterised);
      if (relation == 0) {
        printf(disjointMessage, identifier, RegionItemText(region, i).c_str(), RegionItemText(region, j).c_str());
        return kInputError;
      }
      if (relation == -2) (*removed)[j] = true;
      if (relation == -1) {
        (*removed)[i] = true;
        break;
      }
    }
  }
  return kOk;
}

Status CheckRegionVolume(const REGIONLIST& region, const char* zeroVolumeMessage, int32_t identifier,
                         VECTOR* interiorPoint, uint8_t* pointKind, int32_t* status) {
  *status = 0;
  const int result =
      AnalyzeCell(AnalysisTables(), static_cast<int>(region.size()), region.surfaces.data(), region.senses.data(),
                  interiorPoint, pointKind, &directives::geometryPrecision.distancePrecision);
  if (result == kRegionEmpty || (result == kRegionUndecided && *pointKind == kPointNone)) {
    printf(zeroVolumeMessage, identifier);
    return kInputError;
  }
  if (result < 0) *status = result;
  return kOk;
}
