// The element the data-file fuzz targets load: the small synthetic lithium of
// the ENDF fixture (Z = 3), with auxiliary files that match it. A target
// writes the valid files into the scratch folder, replaces one of them by the
// fuzz input and loads the element as the program does.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "driver/data/element_staging.h"
#include "driver/data/load_options.h"

constexpr int kFuzzElementZ = 3;

// One file of the element's data: its path under the scratch folder and its
// valid bytes.
struct FUZZDATAFILE {
  std::string path;
  std::string validBytes;
};

// The three ENDF files (electrons, photoat, atomic_relax) in this order.
std::vector<FUZZDATAFILE> EndfDataFiles();

// Options that load the element from the scratch folder with no auxiliary
// data and no Compton profiles.
ELEMENTLOADOPTIONS PlainLoadOptions();

// The staging record of the process (on zero pages), cleared for the next load.
// The tables of a load are freed by the next ClearedStaging or ReleaseStagingTables
// (the leak checker does not look into the record's pages for their pointers).
ElemStaging* ClearedStaging();
void ReleaseStagingTables();

// Writes every file's valid bytes; aborts when the folder cannot be written.
void WriteValidFiles(const std::vector<FUZZDATAFILE>& files);

// The auxiliary files of the element in the order of the auxdata target's
// selector byte.
enum AuxFile {
  kBremsBinary,      // "Brems_angular_prob_dens.dat"
  kBremsTextTable,   // "Brems_angular_prob_dens/003-Li_brems_angular_prob_dens.txt"
  kDwba,             // "IonDWBA.dat"
  kDpwTotal,         // "ElasticDPW_totalCS.dat"
  kDpwAngular,       // "ElasticDPW_angularDistr.dat"
  kComptonProfiles,  // "ComptonProfiles.dat"
  kEedlElastic,      // "EEDL_elastic.dat"
  kAltInfo,          // the alternative cross-sections information file
  kAltExcitation,    // the alternative excitation file it names
  kAltIonization,    // the alternative ionization file it names
  kAuxFileCount
};

inline constexpr char kAltInfoName[] = "alt_info.txt";

// The auxiliary files with valid contents matching the element (the
// ENDF files must be written first: the bremsstrahlung record follows the
// element's spectra). The Compton profiles are the real table's lines up to
// the element, or empty when the shared data are absent.
std::vector<FUZZDATAFILE> AuxDataFiles();

// Writes the fuzz input in place of file `chosen`, runs load(), and puts the
// valid bytes back.
template <typename Load>
void WithReplacedFile(const std::vector<FUZZDATAFILE>& files, size_t chosen, const std::string& bytes, Load load);

// Writes file `chosen` with the given bytes (aborting on failure).
void WriteDataFile(const FUZZDATAFILE& file, const std::string& bytes);

template <typename Load>
void WithReplacedFile(const std::vector<FUZZDATAFILE>& files, size_t chosen, const std::string& bytes, Load load) {
  WriteDataFile(files[chosen], bytes);
  load();
  WriteDataFile(files[chosen], files[chosen].validBytes);
}
