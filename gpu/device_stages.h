// The stage methods of a device task: the photon and electron transport, the
// source, the relaxation cascade, the cutoffs and escapes and the tallies, cut
// into the 28 states of the device scheduler. Each stage is a thin wrapper of
// the host/device step functions of transport/ and geometry/ that the CPU
// workers run (photon_step.h, electron_step.h, cutoffs.h, history_start.h, the
// tracker of cell_location.h), so that a device task follows exactly the
// particles a CPU worker would follow with the same random-number stream.
//
// Contract of every stage: it runs on one task (DEVICETASK) with the record of
// the running thread in task.control.thread (set by the scheduler), writes the
// task's next state into task.control.nextState and returns kStageGoesOn (0),
// or kStageLeaves (-1) when the task takes no further step in this launch. A
// stage that meets a fatal error sets the block's stop flag, exchanges the
// status record's error with its task number, prints its message when it was
// the first, and leaves.
//
// A stage that ends the current particle (escape, absorption, cutoff) sets
// next state 27 and runs ReadBankedParticle at once, so that the task goes on
// with its next banked particle, a new history, or waits in state 27.
//
// Banked particles: the transport functions push secondaries onto the task's
// staging stack (TASKSTATE::bank, kDeviceStagingCapacity entries); at the end
// of every stage that may bank, BankStagedParticles moves them, in order,
// into the device's pool (per-task stacks of slots, banking modes 0 and 1) or
// its ring (mode 2). ReadBankedParticle takes them back in the reverse order
// of banking in modes 0 and 1, as the CPU worker's bank does.
#pragma once

#include <cstdint>

#include "core/hostdevice.h"
#include "core/task.h"
#include "core/vector.h"
#include "gpu/device_records.h"

// Results of a stage.
constexpr int32_t kStageGoesOn = 0;
constexpr int32_t kStageLeaves = -1;

// Entries of a task's staging stack: the particles one stage may bank before
// they are moved into the pool (a relaxation cascade, the copies of forced
// interactions).
constexpr int32_t kDeviceStagingCapacity = 64;

// The scheduler's states, one per stage (the state numbers are the scheduler's
// and the kinds of setup_kernels.h StateKindOf).
enum DeviceTaskState : int32_t {
  kSigma_phot = 0,                     // neutral
  kCheckTotalSigma_phot = 1,           // neutral
  kDistance_phot = 2,                  // neutral
  kSampleCollisionType_phot = 3,       // neutral
  kCoherentScattering0 = 4,            // neutral
  kCohRejectionLoop = 5,               // neutral
  kIncoherentScattering0 = 6,          // neutral
  kSigma_el = 7,                       // neutral
  kDistance_el = 8,                    // neutral
  kSampleCollisionType_el = 9,         // neutral
  kIncohRejectionLoop = 10,            // neutral
  kDopplerRejectionLoop = 11,          // neutral
  kPostDoppler_NoDoppler = 12,         // write
  kHistoryStart = 13,                  // neutral
  kSourceEnergy = 14,                  // neutral
  kPairProduction = 15,                // write
  kBremsstrahlung = 16,                // write
  kExcitation = 17,                    // neutral
  kElectroionization = 18,             // write
  kAtomicTransition = 19,              // write
  kCheck_nBanked = 20,                 // write
  kElasticScattering = 21,             // neutral
  kDistanceToInelasticCollision = 22,  // neutral
  kDiffusion = 23,                     // neutral
  kPhotoelectricAbsorption = 24,       // neutral
  kSourcePosition = 25,                // neutral
  kSourceDirection = 26,               // neutral
  kReadBankedParticle = 27,            // read
};

// What a stage knows of the block that runs it.
struct STAGECONTEXT {
  int32_t* blockStop;                   // the block's stop flag (shared memory); a fatal error sets it
  uint8_t bankTheHigherEnergyElectron;  // Electroionization banks the higher-energy electron of the two
};

// ---------------------------------------------------------------------------
// The stages. "->" lists the next states a stage may write; "27" always means
// that ReadBankedParticle has run already within the stage (its own next
// states apply).
// ---------------------------------------------------------------------------

// Photon cross sections of the current material at E (cached).
//   -> 1 without positions when secondary photons are followed (the zero test
//        and the end of a photon that can no longer lose energy), 2 flight,
//        3 a photon without position (it collides where it is)
TQ_CPU_GPU int32_t Sigma_phot(DEVICETASK& task, STAGECONTEXT& ctx);
// The zero test of the total cross section (fatal: "total photon collision
// cross section is zero") and the end of a position-less photon that cannot
// lose energy any more. -> 2, 3, 27
TQ_CPU_GPU int32_t CheckTotalSigma_phot(DEVICETASK& task, STAGECONTEXT& ctx);
// Flight to the collision (layer, or cell to cell), or escape (scored).
//   -> 3 collision, 0 entered a cell of another material, 27 escaped or cut off
TQ_CPU_GPU int32_t Distance_phot(DEVICETASK& task, STAGECONTEXT& ctx);
// Element, interaction and subshell. -> 4 coherent, 6 incoherent, 24
// photoelectric, 15 pair production
TQ_CPU_GPU int32_t SampleCollisionType_phot(DEVICETASK& task, STAGECONTEXT& ctx);
// Coherent scattering: the form-factor set-up. -> 5
TQ_CPU_GPU int32_t CoherentScattering0(DEVICETASK& task, STAGECONTEXT& ctx);
// Its rejection loop and the deflection. -> 0 (the photon goes on)
TQ_CPU_GPU int32_t CohRejectionLoop(DEVICETASK& task, STAGECONTEXT& ctx);
// Incoherent scattering: the scattering-function set-up. -> 10
TQ_CPU_GPU int32_t IncoherentScattering0(DEVICETASK& task, STAGECONTEXT& ctx);
// Its rejection loop (Klein-Nishina with S(x)). -> 11 Doppler broadening,
// 12 free electron at rest
TQ_CPU_GPU int32_t IncohRejectionLoop(DEVICETASK& task, STAGECONTEXT& ctx);
// The struck electron's subshell and momentum from the Compton profiles. -> 12
TQ_CPU_GPU int32_t DopplerRejectionLoop(DEVICETASK& task, STAGECONTEXT& ctx);
// The recoil electron (banked or taking the record), the scattered photon and
// the vacancy. -> 19 relaxation, 0 photon goes on, 7 the electron took the
// record, 27 both ended
TQ_CPU_GPU int32_t PostDoppler_NoDoppler(DEVICETASK& task, STAGECONTEXT& ctx);
// Photoabsorption: the photoelectron takes the record. -> 19
TQ_CPU_GPU int32_t PhotoelectricAbsorption(DEVICETASK& task, STAGECONTEXT& ctx);
// Pair production (positron banked or annihilated at once).
//   -> 7 a charged particle took the record, 27 none did
TQ_CPU_GPU int32_t PairProduction(DEVICETASK& task, STAGECONTEXT& ctx);
// The relaxation cascade of the vacancy left by a photoabsorption, an
// incoherent scattering or an ionization (fluorescence and Auger particles
// banked). -> 0 photon goes on, 7 charged particle goes on, 20 charged
// particle at or below its cutoff, 27
TQ_CPU_GPU int32_t AtomicTransition(DEVICETASK& task, STAGECONTEXT& ctx);

// Electron and positron cross sections of the current material at E (cached;
// forcing set up). Fatal without positions: "total inelastic electron
// collision cross section is zero".
//   -> 8 flight, 9 collision in place (no positions), 17/18/16/21 a forced
//      copy interacting where it was made, 27 nothing to collide with (escape)
TQ_CPU_GPU int32_t Sigma_el(DEVICETASK& task, STAGECONTEXT& ctx);
// Free flight to the next collision, or out of the layer (scored); in the
// complex geometry the whole flight through the cells.
//   -> 9 collision, 22 Gaussian diffusion where elastic scattering dominates,
//      7 a new cell entered or no column left, 17/18/16/21 (complex geometry:
//      the collision sampled with the flight), 27 escaped or cut off
TQ_CPU_GPU int32_t Distance_el(DEVICETASK& task, STAGECONTEXT& ctx);
// The colliding column (and the banked copies of forced interactions).
//   -> 21 elastic, 16 bremsstrahlung, 17 excitation, 18 ionization,
//      7 no analogue column was left
TQ_CPU_GPU int32_t SampleCollisionType_el(DEVICETASK& task, STAGECONTEXT& ctx);
// The Gaussian walk of one inelastic path (diffusion) and its end (a new
// isotropic direction). -> 23, 27 escaped
TQ_CPU_GPU int32_t DistanceToInelasticCollision(DEVICETASK& task, STAGECONTEXT& ctx);
// The inelastic collision at the end of the walk. -> 16, 17, 18, 7 (no
// column left)
TQ_CPU_GPU int32_t Diffusion(DEVICETASK& task, STAGECONTEXT& ctx);
// Elastic deflection (energy kept). -> 7
TQ_CPU_GPU int32_t ElasticScattering(DEVICETASK& task, STAGECONTEXT& ctx);
// Mean excitation loss. -> 7, 20 at or below the cutoff, 27 dropped
TQ_CPU_GPU int32_t Excitation(DEVICETASK& task, STAGECONTEXT& ctx);
// Bremsstrahlung photon (banked when followed). -> 7, 20, 27
TQ_CPU_GPU int32_t Bremsstrahlung(DEVICETASK& task, STAGECONTEXT& ctx);
// Electroionization: knock-on electron and vacancy. -> 19, 7, 20, 27
TQ_CPU_GPU int32_t Electroionization(DEVICETASK& task, STAGECONTEXT& ctx);
// The end of an electron or positron at or below its cell's cutoff (a
// positron's annihilation photons banked). -> 27
TQ_CPU_GPU int32_t Check_nBanked(DEVICETASK& task, STAGECONTEXT& ctx);

// The source particle's position (beam, point or volume). -> 26, 25 a volume
// point outside the source cell (drawn again)
TQ_CPU_GPU int32_t SourcePosition(DEVICETASK& task, STAGECONTEXT& ctx);
// Its direction and where it enters the geometry.
//   -> 13 fixed energy, 14 energy spectrum, 25 missed the geometry (drawn
//      again; fatal after too many misses in a row)
TQ_CPU_GPU int32_t SourceDirection(DEVICETASK& task, STAGECONTEXT& ctx);
// The energy from the spectrum. -> 13
TQ_CPU_GPU int32_t SourceEnergy(DEVICETASK& task, STAGECONTEXT& ctx);
// The rest of the history's start: momentum, cell and material, source counts
// and tallies. -> 0 photon, 7 electron or positron
TQ_CPU_GPU int32_t HistoryStart(DEVICETASK& task, STAGECONTEXT& ctx);

// The read state: the task's next banked particle (-> 0 photon, 7 electron or
// positron), or, with none left, the end of the history (pulse-height tallies,
// stream advance) and the start of the next one (-> 25, counted in the
// thread's record) or, with no history left, kStageLeaves (modes 0 and 1) or
// 27 with kStageGoesOn (mode 2: polls the ring).
TQ_CPU_GPU int32_t ReadBankedParticle(DEVICETASK& task, STAGECONTEXT& ctx);

// Runs the stage of `state` on the task.
TQ_CPU_GPU int32_t RunStage(int32_t state, DEVICETASK& task, STAGECONTEXT& ctx);

// ---------------------------------------------------------------------------
// The bank protocol and the fatal-error path
// ---------------------------------------------------------------------------

// Moves the task's staged particles into the pool (modes 0 and 1: slots
// claimed with compare-and-swap, pushed on the task's stack) or the ring
// (mode 2). Returns kStageGoesOn, or kStageLeaves after a fatal error
// (bank overflow, no free slot, ring overflow or overwrite).
TQ_CPU_GPU int32_t BankStagedParticles(DEVICETASK& task, STAGECONTEXT& ctx);

// The fatal-error path of a stage: block stop, the task number into the
// status record's error; true when this was the device's first fatal error
// (the caller prints its message then).
TQ_CPU_GPU bool RaiseStageFatal(DEVICETASK& task, STAGECONTEXT& ctx);

// ---------------------------------------------------------------------------
// Geometry services of a device task
// ---------------------------------------------------------------------------

// EntryExitPoint (geometry/ray_tracking.h) for the task's particle with the
// work arrays of the running thread (CThread2::work); the loss-of-precision
// warning names the CUDA device. Returns kTrackingOk or kTrackingFatal.
TQ_CPU_GPU int32_t EntryExitPoint2(CThread2& thread, TASKSTATE& t, VECTOR* out, const VECTOR* start, const VECTOR* u,
                                   double* distance, int16_t* surface, double maxDistance);

// The free-motion radius about the task's particle in its cell and voxel.
TQ_CPU_GPU void CalculateFreeMotionRadius2(TASKSTATE& t);
