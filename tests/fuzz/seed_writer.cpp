// Writes the seeds of the data-file fuzz targets and of the splitter into a corpus folder: the
// valid files of the synthetic element behind their selector bytes, and
// small real sections of the ENDF/B library (the head of each of lithium's
// files, cut after a few sections).
//   fuzz_seed_writer <corpus folder with endf/, auxdata/ and splitter/>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "tests/fuzz/element_files.h"
#include "tests/fuzz/fuzz_support.h"

namespace {

void WriteSeed(const std::string& path, int selector, const std::string& bytes) {
  if (!WriteFuzzFile(path, std::string(1, static_cast<char>(selector)) + bytes)) {
    std::fprintf(stderr, "cannot write %s\n", path.c_str());
    std::exit(1);
  }
}

// The first `lines` lines of a file ("" when it cannot be read).
std::string HeadOf(const std::string& path, int lines) {
  std::ifstream in(path, std::ios::binary);
  std::string text, line;
  for (int i = 0; i < lines && std::getline(in, line); ++i) text += line + "\n";
  return text;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: fuzz_seed_writer <corpus folder>\n");
    return 2;
  }
  const std::string corpus = std::string(argv[1]) + "/";
  EnterFuzzScratchFolder();
  const std::vector<FUZZDATAFILE> endf = EndfDataFiles();
  WriteValidFiles(endf);
  const char* const endfNames[] = {"electrons", "photoat", "atomic_relax"};
  for (size_t i = 0; i < endf.size(); ++i)
    WriteSeed(corpus + "endf/synthetic-" + endfNames[i], static_cast<int>(i), endf[i].validBytes);
  // Real sections: the whole relaxation file of lithium (7 kB) and the first
  // sections of its electro-atomic and photo-atomic files.
  const char* shared = std::getenv("TQ_SHARED_DATA");
  const std::string library = std::string(shared != nullptr ? shared : TQ_FUZZ_SHARED_DATA) + "/endf/";
  const std::string realFiles[] = {library + "electrons/e-003_Li_000.endf", library + "photoat/photoat-003_Li_000.endf",
                                   library + "atomic_relax/atom-003_Li_000.endf"};
  const int realLines[] = {120, 120, 200};
  for (size_t i = 0; i < endf.size(); ++i) {
    const std::string head = HeadOf(realFiles[i], realLines[i]);
    if (!head.empty()) WriteSeed(corpus + "endf/real-" + endfNames[i], static_cast<int>(i), head);
  }
  const std::vector<FUZZDATAFILE> aux = AuxDataFiles();
  const char* const auxNames[kAuxFileCount] = {"brems-binary",   "brems-text",    "dwba", "dpw-total",
                                               "dpw-angular",    "compton",       "eedl", "alt-info",
                                               "alt-excitation", "alt-ionization"};
  for (int i = 0; i < kAuxFileCount; ++i)
    if (!aux[i].validBytes.empty()) WriteSeed(corpus + "auxdata/" + auxNames[i], i, aux[i].validBytes);
  // Sarvetto reads the same binary file, without a selector byte.
  if (!WriteFuzzFile(corpus + "splitter/valid-smallest-grids", aux[kBremsBinary].validBytes)) return 1;
  return 0;
}
