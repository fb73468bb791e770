#include "driver/run/device_division.h"

#include <cinttypes>
#include <cstdio>
#include <iterator>

#include "platform/paths.h"

namespace run {
DEVICEDIVISION deviceDivision;
FILE* deviceStatsFile[kMaxDeviceSlots] = {};
}  // namespace run

namespace {

constexpr int32_t kMaxTasksPerDevice = 65536;

}  // namespace

Status CheckDeviceTaskCounts(int32_t tasks, int32_t threads, int32_t blockSize) {
  if (tasks > kMaxTasksPerDevice) {
    printf("Error: Number of tasks per device is greater than %d.\n", kMaxTasksPerDevice);
    return kDeviceError;
  }
  if (tasks % blockSize != 0) {
    printf(
        "Error: The number of GPU tasks per device (%d) is not a multiple of the block size for CUDA kernel execution "
        "(%d).\n",
        tasks, blockSize);
    return kDeviceError;
  }
  if (threads % blockSize != 0) {
    printf(
        "Error: The number of GPU threads per device (%d) is not a multiple of the block size for CUDA kernel "
        "execution (%d).\n",
        threads, blockSize);
    return kDeviceError;
  }
  if (tasks % threads != 0) {
    printf(
        "Error: The number of GPU tasks per device (%d) is not a multiple of the number of threads per device (%d).\n",
        tasks, threads);
    return kDeviceError;
  }
  return kOk;
}

int64_t BankedParticleBytes(bool trackPos, bool complexGeometry, bool storeFreeMotion, bool forcing, int32_t heapMode,
                            double maxBankedRatio) {
  int64_t bytes = 14;  // energy, kind, origin, owner
  if (trackPos) bytes += 48;
  if (complexGeometry) bytes += 6;
  if (complexGeometry && storeFreeMotion) bytes += 32;
  if (forcing) bytes += 10;
  if (heapMode != 2) bytes += static_cast<int64_t>(4.0 * maxBankedRatio);
  return bytes;
}

Status SizeDeviceBank(DEVICESLOT& slot, uint64_t memory, double avgBanked, int64_t particleBytes, int32_t heapMode) {
  const double B = static_cast<double>(particleBytes);
  const double ringSpare = heapMode == 2 ? 2.0 * B * slot.nThreads : 0.0;
  double bankBytes = 0.0;
  if (avgBanked > 0.0) {
    bankBytes = avgBanked * B * slot.nTasks + ringSpare;
    slot.avgBanked = static_cast<int32_t>(avgBanked);
    if (bankBytes >= static_cast<double>(memory)) {
      printf(
          "Error: The specified maximum amount of CUDA device No. %d global memory for banked particles is too "
          "large.\n",
          slot.device + 1);
      return kDeviceError;
    }
  } else {
    bankBytes = -avgBanked * static_cast<double>(memory);
    const double perTask = (bankBytes - ringSpare) / (B * slot.nTasks);
    slot.avgBanked = perTask >= 1.0 ? static_cast<int32_t>(perTask < 2147483647.0 ? perTask : 2147483647.0) : 0;
  }
  if (slot.avgBanked < 1) {
    printf(
        "Error: The specified amount of CUDA device No. %d global memory allocated for banked particles is too "
        "small.\n",
        slot.device + 1);
    return kDeviceError;
  }
  slot.bankMemory = static_cast<uint64_t>(bankBytes);
  return kOk;
}

Status SplitHistories(uint64_t N, int32_t nCpuTasks, uint64_t* hostShare) {
  DEVICEDIVISION& v = run::deviceDivision;
  double S = 0.0;
  uint64_t given = 0;
  for (int32_t d = 0; d < v.nDevices; ++d) {
    S += static_cast<double>(N) * v.slot[d].fraction;
    const uint64_t share = static_cast<uint64_t>(static_cast<int64_t>(S + 0.5)) - given;
    if (share == 0) {
      printf("Error: The number of used CUDA devices is too large: some devices have no particles assigned to them.\n");
      return kDeviceError;
    }
    v.slot[d].share = share;
    given += share;
  }
  // Rounding may give the devices more than N: take histories back from the
  // last slots, one each.
  int64_t cpu = static_cast<int64_t>(N) - static_cast<int64_t>(given);
  for (int32_t d = v.nDevices - 1; d >= 0 && cpu < 0; --d) {
    --v.slot[d].share;
    ++cpu;
  }
  if (cpu < 0) {
    printf(
        "Error: After subtracting the CUDA particle number from the total number of particles, a negative number was "
        "obtained (%" PRId64 ").\n",
        cpu);
    return kDeviceError;
  }
  v.cpuParticleShare = static_cast<uint64_t>(cpu);
  uint64_t host = N;
  uint64_t limit = v.cpuParticleShare;
  for (int32_t d = 0; d < v.nDevices; ++d) {
    if (!v.slot[d].emulated) host -= v.slot[d].share;
    limit += v.slot[d].share;
    v.slot[d].historyLimit = limit;
  }
  *hostShare = host;
  if (nCpuTasks > 0 && host == 0) {
    printf(
        "Error: Although some tasks are assigned to the CPU, all particle histories are simulated by CUDA devices.\n");
    return kDeviceError;
  }
  return kOk;
}

namespace {

Status CheckSlotStreams(const DEVICESLOT& s) {
  if (static_cast<uint64_t>(s.nStreams) <= s.share) return kOk;
  printf(
      "Error: The number of random number streams (%d) assigned to CUDA device No. %d is greater than the number of "
      "particles assigned to it (%" PRIu64 ").\n",
      s.nStreams, s.device + 1, s.share);
  return kDeviceError;
}

}  // namespace

Status CheckStreamShares(int32_t nStreamsCpu, int32_t heapMode) {
  const DEVICEDIVISION& v = run::deviceDivision;
  if (static_cast<uint64_t>(nStreamsCpu) > v.cpuParticleShare) {
    printf("Error: The number of CPU random number streams (%d) is greater than the number of particles (%" PRIu64
           ").\n",
           nStreamsCpu, v.cpuParticleShare);
    return kDeviceError;
  }
  if (heapMode == 2) return kOk;  // the ring hands out histories, not streams
  for (int32_t d = 0; d < v.nDevices; ++d) {
    if (Status code = CheckSlotStreams(v.slot[d])) return code;
  }
  return kOk;
}

std::vector<int32_t> HostStreams(int32_t nStreamsCpu) {
  std::vector<int32_t> streams;
  for (int32_t s = 0; s < nStreamsCpu; ++s) streams.push_back(s);
  const DEVICEDIVISION& v = run::deviceDivision;
  for (int32_t d = 0; d < v.nDevices; ++d) {
    if (!v.slot[d].emulated) continue;
    for (int32_t k = 0; k < v.slot[d].nStreams; ++k) streams.push_back(v.slot[d].firstStream + k);
  }
  return streams;
}

std::vector<int32_t> HostStreamsOfWorker(const std::vector<int32_t>& hostStreams, int32_t t, int32_t nWorkers) {
  std::vector<int32_t> list;
  if (nWorkers <= 0) return list;
  for (size_t i = static_cast<size_t>(t); i < hostStreams.size() && static_cast<int>(list.size()) < kMaxStreams;
       i += static_cast<size_t>(nWorkers)) {
    list.push_back(hostStreams[i]);
  }
  return list;
}

namespace {

// The columns of a device's statistics file: time, sources, removed
// particles, launch figures, then the steps and clock cycles of every stage.
constexpr const char* kDeviceStatsColumns[] = {
    "t",       "src",    "rem",    "tb",     "tcy",     "tcl",    "nk",     "brk",     "cyc",     "nTh",     "maxLoad",
    "nw",      "tw",     "nB",     "nThR",   "nThW",    "nThN",   "nPsig",  "nPdist",  "nPinter", "nCoh",    "nIncoh",
    "nPE",     "nPP",    "nEsig",  "nEdist", "nEinter", "nElast", "nBrems", "nExc",    "nIon",    "nRelax",  "nAnnih",
    "nSource", "nRead",  "tPsig",  "tPdist", "tPinter", "tCoh",   "tIncoh", "tPE",     "tPP",     "tEsig",   "tEdist",
    "tEinter", "tElast", "tBrems", "tExc",   "tIon",    "tRelax", "tAnnih", "tSource", "tRead",   "tCheck1", "tCheck2"};
static_assert(std::size(kDeviceStatsColumns) == 55);

}  // namespace

bool OpenDeviceStatsFile(const std::string& resultFolder, int32_t slot) {
  const DEVICESLOT& s = run::deviceDivision.slot[slot];
  MakeFolder(resultFolder);
  const std::string name = resultFolder + "/d" + std::to_string(s.device + 1) + ".txt";
  FILE* file = fopen(name.c_str(), "w");
  if (file == nullptr) {
    printf("\nFile %s could not be opened for writing.\n", name.c_str());
    return false;
  }
  for (size_t c = 0; c < std::size(kDeviceStatsColumns); ++c) {
    fprintf(file, c == 0 ? "%10s" : c < 6 ? " %10s" : " %8s", kDeviceStatsColumns[c]);
  }
  fputc('\n', file);
  run::deviceStatsFile[slot] = file;
  return true;
}
