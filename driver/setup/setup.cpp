#include "driver/setup/setup.h"

#include <cstdio>
#include <cstdlib>

#include "core/element_table.h"
#include "driver/data/aux_electron_data.h"
#include "driver/data/aux_files.h"
#include "driver/directives/geometry_tables.h"
#include "driver/directives/material_directives.h"
#include "driver/directives/run_directives.h"
#include "driver/directives/source_directives.h"
#include "driver/directives/transport_directives.h"
#include "driver/input/input_reader.h"
#include "driver/input/options.h"
#include "driver/setup/constants_fill.h"
#include "driver/setup/geometry_reports.h"
#include "driver/setup/geometry_setup.h"
#include "driver/setup/input_checks.h"
#include "driver/setup/material_table_builder.h"
#include "driver/setup/setup_reports.h"
#include "driver/setup/tally_tables_fill.h"

namespace {

const char* const kCrossSectionFolder = "Cross sections/";
ELEMENTPOOL elementPool;  // the block that elementArray points into

// The auxiliary files, the alternative cross sections and every element of
// every material, into a fresh element array.
int LoadProblemElements() {
  const ELEMENTLOADOPTIONS options = ElementLoadOptionsOfRun();
  AUXELECTRONDATA aux;
  int code = OpenAuxiliaryDataFiles(options, &aux.files);
  if (code == 0) {
    code = ReadAltCrossSectionsInfo(setup::altFile, input::altFileName, directives::elementZ, directives::nElem_tot,
                                    input::outputFile, &aux.alt);
    setup::altFile = nullptr;  // closed by the reader
  }
  if (code == 0) code = LoadElements(directives::elementZ, directives::nElem_tot, options, &aux, &elementPool);
  core::elementArray = elementPool.elements;
  core::elementArrayBytes = elementPool.bytes;
  CloseAuxiliaryDataFiles(&aux.files);
  return code;
}

// The layer of the simple geometry, its output lines and the source checks.
int SetUpSimpleGeometry() {
  SetUpLayerCell(core::elementArray);
  return CheckSourceAgainstLayer();
}

}  // namespace

ELEMENTLOADOPTIONS ElementLoadOptionsOfRun() {
  const TRANSPORTOPTIONS& t = directives::transportOptions;
  const PHYSICSMODELOPTIONS& m = directives::physicsModels;
  ELEMENTLOADOPTIONS o;
  o.endfFolder = input::endfFolder;
  o.dataFolder = input::dataFolder;
  o.minEnergy = t.cutE;
  o.maxEnergy = directives::sourceSpectrum.highestSourceEnergy;
  o.constants = input::physicalConstants;
  o.elastic = t.elastic;
  o.elasticDpw = m.useDPWelasticScatteringCrossSections;
  o.elasticSmallAngle = m.elasticSmallAngle;
  o.elasticPdfError = t.elasticPDFError;
  o.elasticCdfStep = t.elasticCDFStep;
  o.elasticCdfCutoff = t.elasticCDFCutoff;
  o.smoothCdfElastic = t.smoothCDF_elastic > 0 ? 1 : 0;
  o.incohDoppler = m.dopplerBroadening;
  o.peAngularDistr = m.nonIsotropicPE;
  o.peAngularDistrN = m.pe_angularDistr_nPoints;
  o.peAngularDistrThr = m.pe_angularDistrThr;
  o.ppEnergyDistr = m.nonUniformPPenergy;
  o.bremsAngularDistr = m.nonIsotropicBrems;
  o.bremsBinaryData = m.bremsBinaryData;
  o.bremsTableFolder = input::bremsTableFolder;
  o.ionDwba = m.ionDWBA;
  o.outputCs = input::runOptions.output_cs;
  o.crossSectionFolder = kCrossSectionFolder;
  o.elasticEIndexType = t.elasticE.type;
  o.elasticEIndexExponent = t.elasticE.exponent;
  o.elasticCdfIndexType = t.elasticCDF.type;
  o.elasticCdfIndexExponent = t.elasticCDF.exponent;
  o.elasticCdfExcludeFirst = t.elasticCDFExcludeFirst != 0;
  o.excEIndexType = t.excE.type;
  o.excEIndexExponent = t.excE.exponent;
  o.ionEIndexType = t.ionE.type;
  o.ionEIndexExponent = t.ionE.exponent;
  o.ionSecECdfIndexType = t.ionSecECDF.type;
  o.ionSecECdfIndexExponent = t.ionSecECDF.exponent;
  o.ionSecECdfExcludeFirst = t.ionSecECDFExcludeFirst != 0;
  return o;
}

void ReleaseSetUp() {
  for (int i = 0; i < directives::nMaterials && i < static_cast<int>(directives::materials.size()); ++i)
    FreeMaterialTable(&directives::materials[i]);
  FreeElementPool(&elementPool);
  core::elementArray = nullptr;
  core::elementArrayBytes = 0;
  setup::use_electron_logE = 0;
  setup::useDifferentCSforPositrons = 0;
  setup::maxElectronEntries = setup::maxElectronEnergies = 0;
  ResetSetupReports();
  ResetGeometrySetUp();
}

Status RunSetUp() {
  // The tables live to the end of the process; released at its exit, before
  // the material records that point at them go.
  static const bool releaseAtExit = std::atexit([] { ReleaseSetUp(); }) == 0;
  (void)releaseAtExit;
  ReleaseSetUp();
  if (int code = CheckInputConsistency()) return code;
  if (directives::complexGeometry > 0) {
    if (Status s = SetUpComplexGeometry()) return s;
  }
  if (int code = CheckAfterGeometrySetup()) return code;
  if (int code = LoadProblemElements()) return code;
  CompleteMaterialComposition(core::elementArray);
  if (directives::complexGeometry > 0) {
    CompleteCellDensities();
    WriteGeometryTables(input::outputFile);
    if (Status s = CheckSourceInGeometry()) return s;
    if (input::runOptions.check < 0) {
      FillHostConstants();
      if (input::outputFile != nullptr) std::fflush(input::outputFile);
      return kOk;
    }
    if (int code = BuildMaterialTables(directives::geometry.cell.data(), directives::geometry.nCells)) return code;
    FillHostConstants();
    FillTallyTables();
    if (input::outputFile != nullptr) std::fflush(input::outputFile);
    std::fflush(stdout);
    return kOk;
  }
  if (int code = SetUpSimpleGeometry()) return code;
  if (int code = BuildMaterialTables(directives::geometry.cell.data(), directives::geometry.nCells)) return code;
  FillHostConstants();
  FillTallyTables();
  if (input::outputFile != nullptr) std::fflush(input::outputFile);
  std::fflush(stdout);
  return kOk;
}
