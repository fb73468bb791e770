// AuxDataBuilder: builds the simulator's auxiliary data files from the
// PENELOPE-2018 tables and the ENDF/B-VIII.1 library.
//   AuxDataBuilder <PENELOPE-2018 folder> <ENDF/B-VIII.1 folder> <output folder>
#include <cstdio>
#include <string>

#include "tools/auxdata/aux_data_builder.h"

namespace {

std::string Folder(const char* name) {
  std::string folder = name;
  if (folder.empty() || folder.back() != '/') folder += '/';
  return folder;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4) {
    std::printf("Usage: AuxDataBuilder <PENELOPE-2018 folder> <ENDF/B-VIII.1 folder> <output folder>\n");
    return 1;
  }
  return BuildAuxiliaryDataFiles({Folder(argv[1]), Folder(argv[2])}, Folder(argv[3]));
}
