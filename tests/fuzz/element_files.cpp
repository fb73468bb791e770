#include "tests/fuzz/element_files.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <new>
#include <system_error>

#include "driver/data/element_loader.h"
#include "platform/memory.h"
#include "tests/fuzz/fuzz_support.h"
#include "tests/support/aux_fixture.h"
#include "tests/support/brems_fixture.h"
#include "tests/support/endf_fixture.h"

std::vector<FUZZDATAFILE> EndfDataFiles() {
  const ENDFVIIELEMENT element = MakeEndfViiElement();
  const std::string endf = FuzzScratchFolder() + "endf/";
  std::error_code ignored;
  for (const char* sub : {"electrons", "photoat", "atomic_relax"})
    std::filesystem::create_directories(endf + sub, ignored);
  return {{endf + "electrons/e-003_Li_000.endf", element.electrons},
          {endf + "photoat/photoat-003_Li_000.endf", element.photons},
          {endf + "atomic_relax/atom-003_Li_000.endf", element.relaxation}};
}

ELEMENTLOADOPTIONS PlainLoadOptions() {
  ELEMENTLOADOPTIONS options;
  options.endfFolder = FuzzScratchFolder() + "endf/";
  options.dataFolder = FuzzScratchFolder();
  options.bremsTableFolder = FuzzScratchFolder() + "Brems_angular_prob_dens/";
  options.crossSectionFolder = FuzzScratchFolder() + "Cross sections/";
  options.incohDoppler = 0;
  options.bremsAngularDistr = 0;
  options.ionDwba = 0;
  options.elasticDpw = 0;
  // Fast indexes of 2^8 bins in place of 2^17 and 2^18: the same code,
  // without filling half a megabyte per table at every input.
  options.elasticEIndexExponent = options.excEIndexExponent = options.ionEIndexExponent = 8;
  options.elasticCdfIndexExponent = options.ionSecECdfIndexExponent = 8;
  return options;
}

namespace {

ElemStaging* Staging() {
  static ElemStaging* const staging = [] {
    void* pages = AllocateZeroedPages(sizeof(ElemStaging));
    if (pages == nullptr) std::abort();
    return new (pages) ElemStaging;
  }();
  return staging;
}

}  // namespace

ElemStaging* ClearedStaging() {
  ClearElementStaging(Staging());
  return Staging();
}

void ReleaseStagingTables() { ClearElementStaging(Staging()); }

void WriteDataFile(const FUZZDATAFILE& file, const std::string& bytes) {
  if (!WriteFuzzFile(file.path, bytes)) std::abort();
}

void WriteValidFiles(const std::vector<FUZZDATAFILE>& files) {
  for (const FUZZDATAFILE& file : files) WriteDataFile(file, file.validBytes);
}

namespace {

// The first lines of the real Compton-profile table hold the elements up to
// lithium; without the real table the profiles are read from the corpus only.
std::string ComptonProfilesOfLightElements() {
  const char* shared = std::getenv("TQ_SHARED_DATA");
  std::string path = std::string(shared != nullptr ? shared : TQ_FUZZ_SHARED_DATA) + "/aux/ComptonProfiles.dat";
  FILE* file = std::fopen(path.c_str(), "rb");
  if (file == nullptr) return "";
  std::string text;
  int lines = 0;
  for (int ch; lines < 36 * (kFuzzElementZ + 1) && (ch = std::fgetc(file)) != EOF;) {
    text.push_back(static_cast<char>(ch));
    if (ch == '\n') ++lines;
  }
  std::fclose(file);
  return text;
}

// The bremsstrahlung angular record of the element on its own spectra grid.
BREMS_ELEMENT_RECORD BremsRecordOfElement() {
  ElemStaging* elem = ClearedStaging();
  if (LoadElement(kFuzzElementZ, PlainLoadOptions(), elem) != 0) std::abort();
  std::vector<double> energies;
  std::vector<std::vector<double>> photons;
  for (int e = 0; e < elem->bremsSpecNE; ++e) {
    energies.push_back(elem->bremsSpecEnergy[e]);
    photons.emplace_back(elem->bremsSpecX[e], elem->bremsSpecX[e] + elem->bremsSpecN[e]);
  }
  ReleaseStagingTables();
  return MakeBremsElementRecord(energies, photons, 9);
}

}  // namespace

std::vector<FUZZDATAFILE> AuxDataFiles() {
  const std::string folder = FuzzScratchFolder();
  std::error_code ignored;
  std::filesystem::create_directories(folder + "Brems_angular_prob_dens", ignored);
  const BREMS_ELEMENT_RECORD record = BremsRecordOfElement();
  BREMS_ANGULAR_FIXTURE brems = MakeBremsAngularFixture({}, 2, 2, 2);
  brems.elements[kFuzzElementZ - 1] = record;
  std::vector<FUZZDATAFILE> files(kAuxFileCount);
  files[kBremsBinary] = {folder + "Brems_angular_prob_dens.dat", BremsAngularFileBytes(brems)};
  files[kBremsTextTable] = {folder + "Brems_angular_prob_dens/" + BremsTableFileName(kFuzzElementZ),
                            BremsAngularTextTable(record)};
  files[kDwba] = {folder + "IonDWBA.dat",
                  IonDwbaFileBytes({{kFuzzElementZ, {{1, -1, {{70, 1e4, 2e4}, {1e4, 2e5, 3e5}, {1e11, 1e5, 1e5}}}}}})};
  files[kDpwTotal] = {folder + "ElasticDPW_totalCS.dat", DpwTotalFileBytes({})};
  files[kDpwAngular] = {folder + "ElasticDPW_angularDistr.dat", DpwAngularFileBytes({-1.0, 0.0, 1.0}, {})};
  files[kComptonProfiles] = {folder + "ComptonProfiles.dat", ComptonProfilesOfLightElements()};
  files[kEedlElastic] = {folder + "EEDL_elastic.dat",
                         EedlElasticText({{kFuzzElementZ, {{10.0, 1e8}, {1e4, 1e7}, {1e11, 1e5}}}})};
  files[kAltInfo] = {folder + kAltInfoName, "EXC_FN 3 alt_exc.txt\nION_FN 3 alt_ion.txt\n1e4\n"};
  files[kAltExcitation] = {folder + "alt_exc.txt", AltExcitationText({{10.0, {{12.0, 1e-21}, {1e5, 1e-22}}}})};
  files[kAltIonization] = {folder + "alt_ion.txt", AltIonizationText({{{70.0, 0.0}, {1e3, 1e-21}, {1e7, 1e-22}}})};
  return files;
}
