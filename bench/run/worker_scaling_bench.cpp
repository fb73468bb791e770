// Histories per second of whole runs of the built Trenqual against the number
// of workers (1, 2, 4, 8) on the lead photon problem: 662 keV photons through
// 1 cm of lead with electrons followed. The time is the run loop's own
// "Elapsed time" (set-up and data loading excluded), one stream per worker.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

namespace {

namespace fs = std::filesystem;

constexpr double kHistories = 4000.0;  // N of lead_photons_run.txt

std::string ReadText(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  std::ostringstream text;
  text << file.rdbuf();
  return text.str();
}

// A folder with the program, its Compton profiles and the input.
std::string PrepareFolder() {
  const std::string folder = (fs::temp_directory_path() / "tq_worker_scaling_bench/").string();
  fs::remove_all(folder);
  fs::create_directories(folder + "Data");
  fs::copy_file(std::string(TQ_SHARED_DATA) + "aux/ComptonProfiles.dat", folder + "Data/ComptonProfiles.dat");
  fs::copy_file(TRENQUAL_PATH, folder + "Trenqual");
  fs::copy_file(std::string(BENCH_SOURCE_DIR) + "lead_photons_run.txt", folder + "lead_photons_run.txt");
  return folder;
}

// The run loop's time in seconds from the output file; negative on failure.
double RunSeconds(const std::string& folder, int workers) {
  const std::string n = std::to_string(workers);
  const std::string command = "cd '" + folder + "' && ./Trenqual in lead_photons_run.txt dir '" +
                              std::string(TQ_SHARED_DATA) + "endf/' tasks " + n + " nStreams " + n +
                              " seed 11 > console.txt 2>&1 < /dev/null";
  if (std::system(command.c_str()) != 0) return -1.0;
  const std::string output = ReadText(folder + "lead_photons_run_out.txt");
  const std::string label = "Elapsed time =";
  const size_t at = output.find(label);
  return at == std::string::npos ? -1.0 : std::atof(output.c_str() + at + label.size());
}

void BM_LeadPhotonRunWorkers(benchmark::State& state) {
  const std::string folder = PrepareFolder();
  const int workers = static_cast<int>(state.range(0));
  for (auto _ : state) {
    const double seconds = RunSeconds(folder, workers);
    if (seconds <= 0.0) {
      state.SkipWithError("Trenqual run failed");
      return;
    }
    state.SetIterationTime(seconds);
  }
  state.counters["histories_per_second"] = benchmark::Counter(kHistories, benchmark::Counter::kIsIterationInvariantRate);
}

}  // namespace

BENCHMARK(BM_LeadPhotonRunWorkers)
    ->Arg(1)
    ->Arg(2)
    ->Arg(4)
    ->Arg(8)
    ->UseManualTime()
    ->Iterations(2)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
