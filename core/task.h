// CTask: the complete transport state of one worker (a CPU thread, or one task
// of a device): the particle being followed and where it is, the particle bank
// of secondaries still to be followed, the worker's random-number streams, its
// statistics and the flags through which the driver and the worker talk.
//
// The record is declared here because every subsystem uses it; its methods are
// defined where they belong: the bank, the history loop, the source and the
// physics steps in transport/, tracking in geometry/, device stages in gpu/.
// Each worker writes only its own record.
//
// Its plain part, TASKSTATE (the particle, the bank, the tallies and
// statistics, the electron step cache and the photon state), is what the
// host/device step functions of transport/ work on; CTask adds the flags that
// other threads read, the stream list and the test seam, and its step methods
// are wrappers of those functions.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>

#include "core/elem.h"
#include "core/interaction_stats.h"
#include "core/photon_state.h"
#include "core/randgen.h"
#include "core/tally.h"
#include "core/track_records.h"
#include "core/tracker_work.h"
#include "core/vector.h"

struct CELL;
struct MATERIAL;

// Particle kinds. Every test for a photon accepts kPhoton and kPhotonNoPosition.
enum ParticleKind : uint8_t {
  kElectron = 0,
  kPhoton = 1,
  kPositron = 2,
  kPhotonNoPosition = 255,  // a photon whose position is not followed (TRACKPOS 0)
};

TQ_CPU_GPU inline bool IsPhoton(uint8_t kind) { return kind == kPhoton || kind == kPhotonNoPosition; }

// Origin codes: how a particle came to exist.
enum ParticleOrigin : uint8_t {
  kOriginSource = 0,
  kOriginBrems = 1,
  kOriginAnnihilation = 2,
  kOriginFluorElectronVacancy = 3,
  kOriginFluorPhotonVacancy = 4,
  kOriginPairElectron = 5,
  kOriginPairPositron = 6,
  kOriginCompton = 7,
  kOriginPhotoelectron = 8,
  kOriginAugerPhotonVacancy = 9,
  kOriginAugerElectronVacancy = 10,
  kOriginKnockOn = 11,
};

// History-loop states (CTask::state); values 1..4 resume an interrupted photon
// rejection loop or relaxation cascade.
constexpr int32_t kStateHistoryEnded = -1;
constexpr int32_t kStateSourceRejected = -2;
constexpr int32_t kStateFollow = 0;
constexpr int32_t kStateCoherentLoop = 1;
constexpr int32_t kStateIncoherentLoop = 2;
constexpr int32_t kStateDopplerLoop = 3;
constexpr int32_t kStateRelaxation = 4;

constexpr int32_t kBankGrowth = 100;          // entries added per growth; also the initial capacity
constexpr int32_t kMaxBankedParticles = 1000000;
constexpr int32_t kReadBankedStage = 27;      // device stage that reads a banked particle
constexpr int32_t kMaxForcedColumns = 4000;   // columns of a material's electron table (forcing flags)
constexpr int32_t kMaxElementsInTask = 100;   // elements of a problem (per-element caches)

// How a step hands control back to the history loop.
enum StepResult : int32_t {
  kStepGoesOn = 0,        // follow the particle further (or the next banked one, already read)
  kStepInteraction = 1,   // an interaction or a cascade ended: the common tail follows
  kStepSuspended = 2,     // a stop request was seen inside a rejection loop or cascade
  kStepFatal = 3,         // fatalError is set
};

// Consecutive source particles that may miss the geometry (or fall outside the
// source cell) before the worker gives up: far beyond any usable acceptance,
// and reached within seconds by a source that never enters.
constexpr int64_t kMaxConsecutiveSourceRejections = 100000000;

class CTask;
// A replacement of the physics step, used by tests and benchmarks only.
using StepFunction = int32_t (*)(CTask& task);

// The bank: a stack held as parallel arrays of bankCapacity entries; a null
// array is absent (the options do not call for it).
struct PARTICLEBANK {
  double* en = nullptr;          // energy, eV
  uint8_t* p = nullptr;          // kind
  uint8_t* org = nullptr;        // origin
  PARTICLECOORD* pc = nullptr;   // position and momentum; one entry when positions are not followed
  double* wt = nullptr;          // weight (interaction forcing only)
  int16_t* iForced = nullptr;    // forcing state (with wt)
  int32_t* voxelIndex = nullptr; // complex geometry only
  int16_t* cellIndex = nullptr;  // complex geometry only
  double* maxRadius = nullptr;   // stored free-motion radius, cm
  VECTOR* centerFree = nullptr;  // with maxRadius
  uint8_t positionsStored = 0;   // pc grows with the bank
};

// ---------------------------------------------------------------------------
// The plain parts of a worker's record. The transport's host/device functions
// work on these (through TASKSTATE); the CTask record adds what only a CPU
// worker has: the flags that other threads read, its stream list and the
// test seam.
// ---------------------------------------------------------------------------

// The particle being followed, where it is, and the data of the current step.
struct PARTICLESTATE {
  // --- Where the particle is ---
  int16_t cellIndex = 0;            // position of the cell in the voxel's cell list
  int16_t iCell = 0;                // index of the current cell
  CELL* cell = nullptr;             // current cell record
  MATERIAL* material = nullptr;     // current material
  int32_t voxelIndex = -1;          // current voxel; negative = not located
  double maxRadius = -1.0;          // free-motion radius about centerFree, cm; negative = not computed
  VECTOR centerFree{};              // centre of the free-motion sphere, cm
  VECTOR dir{};                     // working unit direction
  int16_t entrySurface = -1;        // surface of entry into the cell; -2 started inside
  // --- The particle ---
  double E = 0.0;                   // energy, eV
  PARTICLECOORD pc{};               // position (cm), then momentum vector (length p c, eV)
  uint8_t kind = kElectron;
  uint8_t org = kOriginSource;
  double weight = 1.0;              // statistical weight (interaction forcing)
  int16_t iForced = 0;              // forcing state
  // --- Step data ---
  uint8_t stepKind = 0;             // kind at the start of the step
  uint8_t subStep = 0;              // track sub-step flag
  int8_t sourceFlag = 0;            // 1 source photon, -1 source electron or positron, 0 neither
  uint8_t escaped = 0;              // the particle left the geometry in this step
  int32_t photonSurvival = 0;       // > 0 while the photon of the step goes on
  double E_stepStart = 0.0;         // energy at the start of the step, eV
  double invMomentum = 0.0;         // 1 / |momentum|, 1/eV
  double E_history = 0.0;           // energy the history brought in, eV
};

// The particle bank and its bookkeeping.
struct TASKBANK {
  PARTICLEBANK bank;
  int32_t nBanked = -1;               // particles in the bank; -1 = no particle is followed
  int32_t maxBanked = -1;             // high-water mark of the bank
  int32_t bankCapacity = 0;           // current capacity of the bank arrays
  PARTICLECOORD* pcCursor = nullptr;  // bank coordinate entry written last
};

// The worker's interaction statistics and tallies, and the scratch of the
// scoring (transport/tally_scoring.h, cell_tally_scoring.h,
// tally_storage.cpp); sized at set-up by AllocateTaskTallies, summed into the
// totals record at the end.
struct TASKTALLIES {
  // --- Statistics ---
  INTERACTIONSTATS* stats = nullptr;      // the record's overall statistics
  INTERACTIONSTATS* cellStats = nullptr;  // per-cell statistics (set by the driver)
  INTERACTIONSTATS* curStats = nullptr;   // the record that scoring uses now
  // --- Tallies ---
  double planeTallyDistance[2][kMaxPlaneTalliesPerClass] = {};  // signed distance at the last scoring, cm: [0] own class, [1] TALLY
  int16_t* rangeBin[kQuantityCount] = {};      // scratch: bin of the crossing per range of each quantity, -1 none
  int64_t** oneDimTallies[kTallyClassCount] = {};   // per class and table slot: counts, two halves
  int64_t** twoDimTallies[kTallyClassCount] = {};
  double** oneDimTallies_wt[kTallyClassCount] = {}; // weighted mode: weight sums, squared weights
  double** twoDimTallies_wt[kTallyClassCount] = {};
  double** oneDimTallies_E[kTallyClassCount] = {};  // energy sums, eV (with eFlux)
  double** twoDimTallies_E[kTallyClassCount] = {};
  int64_t*** cellEntryHist[kTallyClassCount] = {};   // [tally][range]: 2 x bins counts
  double*** cellEntryHist_wt[kTallyClassCount] = {}; // weight sums, squared weights
  double*** cellEntryHist_E[kTallyClassCount] = {};  // energy sums, eV
  int64_t** pulseHeightHist = nullptr;       // [tally][bin] histories
  double** pulseHeightEnergy = nullptr;      // [tally][bin] deposits, eV
  double* cellDeposit = nullptr;             // [pulse-height cell slot] deposit of the current history, eV
  uint64_t unresolvedCellEntries = 0;        // cell crossings whose neighbour slot could not be resolved
  // Plane tallies: a ball around the position of the last full test in which
  // no move can change what the tests decide (transport/tally_scoring.h).
  VECTOR planeTallyAnchor{};        // centre, cm
  double planeTallyClear2 = 0.0;    // squared radius, cm^2 (0: none)
  uint8_t planeTallyAnchorOrg = 0;  // origin of the particle it holds for
};

// The electron and positron step's cache (transport/electron_step.h).
struct ELECTRONSTEPCACHE {
  // Macroscopic cross sections per unit concentration (cm^2 per atom of the
  // material) at the step's energy, and their cache key.
  double sigma_tot = 0.0;
  double sigma_el = 0.0;
  double sigma_inel = 0.0;
  int32_t elSigmaMaterial = -2;     // cache key: material index, -2 = not yet computed
  double elSigmaE = -2.0;           // cache key: energy, eV
  int32_t elSigmaKind = -2;         // cache key: kind (with positron rows)
  int16_t elInterval = 0;           // interval of E on the material's electron grid
  int32_t elRowOffset = 0;          // first row of the column set in use (positron rows follow the electron rows)
  double elIntervalOffset = 0.0;    // E - grid[elInterval], eV
  double momentum = 0.0;            // p c of the particle at the step, eV
  int32_t collisionElement = 0;     // global element index of the colliding column
  int32_t collisionType = 0;        // 0 elastic, 1 bremsstrahlung, 2 excitation, 3 + s ionization of subshell s
  // Interaction forcing of the current material (weights in use).
  double forcedFraction = 0.0;                  // F: forced share of sigma_tot
  double forcedSigma[kMaxForcedColumns] = {};   // per forced-list entry: its share of sigma_tot
  uint8_t forcedEnabled[kMaxForcedColumns] = {}; // per column: the column is forced now
  uint8_t forcedWarned[kMaxForcedColumns] = {};  // per forced-list entry: its exclusion was reported
  // Small-angle elastic model per element: the energy of the cached values,
  // and the screening parameter eta and kappa = eta (10^6 eta + 1).
  double screeningE[kMaxElementsInTask] = {};
  double screeningEta[kMaxElementsInTask] = {};
  double screeningKappa[kMaxElementsInTask] = {};
  // Tabulated elastic distributions per element: the energy and distribution
  // set (0 electrons, 1 positrons) of the cached place on the grid (an
  // electron keeps its energy through elastic collisions, so runs of them
  // reuse the lookup).
  double elasticGridE[kMaxElementsInTask] = {};
  int8_t elasticGridSet[kMaxElementsInTask] = {};
  ELASTICPOINT elasticGridPoint[kMaxElementsInTask] = {};
  double elasticMu = 1.0;           // cosine of the last elastic deflection
  // Intervals of the elements' elastic, excitation and ionization energy
  // grids at the last energies looked up (transport/electron_interactions.h).
  GRIDSPOT gridSpot[kGridSpots] = {};
};

// Everything a transport step reads and writes: plain data without atomics
// or host-only members, so the same record can live on a device.
struct TASKSTATE : PARTICLESTATE, TASKBANK, TASKTALLIES, ELECTRONSTEPCACHE {
  PHOTONSTATE phot;                    // photon cross sections, rejection loops, relaxation cascade
  CRandGen* rng = nullptr;             // generator of the current stream
  int32_t state = kStateHistoryEnded;  // history-loop state
  int32_t threadNo = 0;                // worker number, 0-based; messages print it plus 1
  int32_t iStream = 0;                 // current stream (index into the run's stream tables)
  TASKTRACKS* trackData = nullptr;     // tracks of this worker (NTRACKS > 0; host only)
  uint8_t collisionWarned = 0;         // the track collision-limit warning was printed
  uint8_t precisionWarned = 0;         // the tracker's loss-of-precision warning was printed
  uint8_t onDevice = 0;                // a task of a CUDA device: its messages name the task and the device,
                                       // and its bank is a staging stack that does not grow
  TrackerWork tracker;                 // the ray tracker's work arrays (complex geometry; set-up sizes them)
};

// How messages name the worker of a record: "thread" on a CPU worker, "task"
// on a device task.
TQ_CPU_GPU inline const char* WorkerWord(const TASKSTATE& t) { return t.onDevice != 0 ? "task" : "thread"; }

// Where a warning happened ("%s No. %d"): the CPU thread, or the CUDA device
// (number `device` of the record's Constants) of a device task.
TQ_CPU_GPU inline const char* PlaceWord(const TASKSTATE& t) { return t.onDevice != 0 ? "CUDA device" : "thread"; }
TQ_CPU_GPU inline int32_t PlaceNumber(const TASKSTATE& t, int32_t device) {
  return (t.onDevice != 0 ? device : t.threadNo) + 1;
}

// A device task holds a TASKSTATE (gpu/device_records.h): the host and the
// device compilers must agree on its layout, pinned by the sizes of its parts
// and the offsets that the device set-up writes.
static_assert(sizeof(PARTICLESTATE) == 208);
static_assert(offsetof(PARTICLESTATE, cell) == 8);
static_assert(offsetof(PARTICLESTATE, material) == 16);
static_assert(offsetof(PARTICLESTATE, E) == 96);
static_assert(offsetof(PARTICLESTATE, weight) == 160);
static_assert(sizeof(TASKBANK) == 112);
static_assert(offsetof(TASKBANK, nBanked) == 88);
static_assert(offsetof(TASKBANK, maxBanked) == 92);
static_assert(sizeof(TASKTALLIES) == 1968);
static_assert(offsetof(TASKTALLIES, rangeBin) == 1624);
static_assert(offsetof(TASKTALLIES, oneDimTallies) == 1680);
static_assert(offsetof(TASKTALLIES, cellDeposit) == 1912);
static_assert(sizeof(ELECTRONSTEPCACHE) == 50696);
static_assert(sizeof(PHOTONSTATE) == 64584);
static_assert(sizeof(TASKSTATE) == 117648);

// The records of the workers stand side by side in `tasks`; each starts on a
// cache line of its own, so that the particle a worker writes at every step
// never shares a line with the flags its neighbour reads at every step.
class alignas(64) CTask : public TASKSTATE {
 public:
  // With allocate true: the statistics record and the bank arrays for
  // kBankGrowth particles (those that the options call for). With allocate
  // false only the plain fields are set.
  explicit CTask(bool allocate);
  CTask() : CTask(true) {}  // the construction of the array `tasks`
  ~CTask();
  CTask(const CTask&) = delete;
  CTask& operator=(const CTask&) = delete;

  // Bank (transport/bank.cpp).
  int32_t Check_nBanked(int32_t n);
  int32_t ReadBankedParticle();
  void DropFinishedStreams();
  // Gives the record its streams (copied); false when the list cannot be allocated.
  bool SetStreamList(const int32_t* streams, int32_t n);

  // History loop and source (transport/history.cpp).
  void RunHistories();
  int32_t HistoryStart();
  int32_t SourcePosition();
  void SourceDirection();
  int32_t LocateSource();
  void SourceEnergy();
  int32_t EndOfHistory();
  int32_t Step();
  int32_t RejectSource();

  // Physics steps: one-line wrappers of the free functions of
  // transport/photon_step.h and electron_step.h, plus the host's part of a
  // step (tracks, the run monitor, the next banked particle, the fatal flag).
  int32_t PhotonStep();
  int32_t ElectronStep();
  int32_t ResumeInterruptedStep();

  // Electron and positron transport (transport/electron_flight.cpp,
  // electron_interactions.cpp, cutoffs.cpp).
  int32_t Sigma_el();
  void ElectronForcingSetUp();
  int32_t SampleCollisionType_el(double sigmaColl, int32_t nColumns);
  int32_t ElectronInteraction();
  int32_t TrackedInteraction();  // ElectronInteraction with its track point
  void DetermineElasticScatteringModel();
  void ElasticScattering();
  int32_t Bremsstrahlung();
  void Excitation();
  int32_t Electroionization();
  int32_t ElectronEnergyBelowCutoff(char positron);
  int32_t PositronEnergyCutoff();
  int32_t PositronAnnihilation();
  void ElectronEscape();
  void UpdateAbsorbedEnergy(double energy);
  int32_t EndChargedParticleAtCutoff();

  // --- Sharing of histories (GPU build) and counts ---
  int64_t historyLimit = -1;       // further histories after which the record stops; -1 none
  uint64_t nLimitedHistories = 0;  // histories ended since the limit was set
  uint64_t nHistories = 0;         // histories started
  // --- Streams and the flags that other threads read ---
  int32_t nStreams = 0;                 // streams in streamList
  std::atomic<int32_t> fatalError{0};   // non-zero after a fatal condition; the run ends with exit code 1
  int32_t* streamList = nullptr;        // the record's streams, nStreams entries (owned)
  int32_t streamCursor = 0;             // position of iStream in streamList
  VECTOR sourceMin{1.0, 1.0, 1.0};      // extent of the volume-source points of this worker, cm
  VECTOR sourceMax{0.0, 0.0, 0.0};      // (empty while min > max)
  std::atomic<uint8_t> running{0};      // the worker thread runs; cleared by ThreadFunc
  std::atomic<uint8_t> stopRequest{0};  // the worker shall stop as soon as possible
  // --- Tally snapshot of the run monitor: the monitor raises the request, the
  //     worker copies its tally arrays between two histories and answers. ---
  std::atomic<uint32_t> snapshotRequest{0};  // generation of the copy asked for
  std::atomic<uint32_t> snapshotTaken{0};    // generation of the last copy made
  // --- Source rejections and test seam ---
  int64_t sourceRejections = 0;  // consecutive source particles that did not enter the geometry
  int64_t sourceRejectionLimit =
      kMaxConsecutiveSourceRejections;  // more than this ends the run (a source that never enters)
  StepFunction stepOverride = nullptr;  // tests only: replaces the physics step
  uint32_t ticksUntilMonitorCall = 1;   // run-monitor ticks before the next call of the monitor
                                        // (transport/history.h); the first tick calls it

  // --- Photon transport (transport/photon_flight.cpp, photon_interactions.cpp,
  //     relaxation.cpp): flight and collision sampling, the interactions with
  //     their resumable rejection loops (states 1..3) and the relaxation
  //     cascade (state 4). The data live in `phot` (core/photon_state.h). ---
  void Sigma_phot();
  int32_t CheckTotalSigma_phot();
  int32_t Distance_phot();
  void PhotonEscape();
  void PhotonEnergyBelowCutoff();
  void SampleCollisionType_phot();
  int32_t PhotonInteraction();
  int32_t CoherentScattering0();
  int32_t CohRejectionLoop();
  int32_t IncoherentScattering0();
  int32_t IncohRejectionLoop();
  int32_t DopplerRejectionLoop();
  int32_t PostDoppler_NoDoppler(int32_t shell);
  int32_t PhotoelectricAbsorption();
  int32_t PairProduction();
  int32_t AtomicTransition();
};

namespace core {
// The CPU workers' records (built by the driver) and their number.
extern CTask* tasks;
extern int32_t nThreads;
}  // namespace core

// Thread entry handed to StartThread: arg points to the worker's number.
void ThreadFunc(void* arg);
