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
    code = ReadAltCrossSectionsInfo(altFile, altFileName, elementZ, nElem_tot, outputFile, &aux.alt);
    altFile = nullptr;  // closed by the reader
  }
  if (code == 0) code = LoadElements(elementZ, nElem_tot, options, &aux, &elementPool);
  elementArray = elementPool.elements;
  elementArrayBytes = elementPool.bytes;
  CloseAuxiliaryDataFiles(&aux.files);
  return code;
}

// The layer of the simple geometry, its output lines and the source checks.
int SetUpSimpleGeometry() {
  SetUpLayerCell(elementArray);
  return CheckSourceAgainstLayer();
}

}  // namespace

ELEMENTLOADOPTIONS ElementLoadOptionsOfRun() {
  const TRANSPORTOPTIONS& t = transportOptions;
  const PHYSICSMODELOPTIONS& m = physicsModels;
  ELEMENTLOADOPTIONS o;
  o.endfFolder = endfFolder;
  o.dataFolder = dataFolder;
  o.minEnergy = t.cutE;
  o.maxEnergy = sourceSpectrum.highestSourceEnergy;
  o.constants = physicalConstants;
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
  o.bremsTableFolder = bremsTableFolder;
  o.ionDwba = m.ionDWBA;
  o.outputCs = runOptions.output_cs;
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
  for (int i = 0; i < nMaterials && i < static_cast<int>(materials.size()); ++i) FreeMaterialTable(&materials[i]);
  FreeElementPool(&elementPool);
  elementArray = nullptr;
  elementArrayBytes = 0;
  use_electron_logE = 0;
  useDifferentCSforPositrons = 0;
  maxElectronEntries = maxElectronEnergies = 0;
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
  if (complexGeometry > 0) {
    if (Status s = SetUpComplexGeometry()) return s;
  }
  if (int code = CheckAfterGeometrySetup()) return code;
  if (int code = LoadProblemElements()) return code;
  CompleteMaterialComposition(elementArray);
  if (complexGeometry > 0) {
    CompleteCellDensities();
    WriteGeometryTables(outputFile);
    if (Status s = CheckSourceInGeometry()) return s;
    if (runOptions.check < 0) {
      FillHostConstants();
      if (outputFile != nullptr) std::fflush(outputFile);
      return kOk;
    }
    if (int code = BuildMaterialTables(geometry.cell.data(), geometry.nCells)) return code;
    FillHostConstants();
    FillTallyTables();
    if (outputFile != nullptr) std::fflush(outputFile);
    std::fflush(stdout);
    return kOk;
  }
  if (int code = SetUpSimpleGeometry()) return code;
  if (int code = BuildMaterialTables(geometry.cell.data(), geometry.nCells)) return code;
  FillHostConstants();
  FillTallyTables();
  if (outputFile != nullptr) std::fflush(outputFile);
  std::fflush(stdout);
  return kOk;
}
