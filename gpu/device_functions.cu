// Device code of the host/device functions of core/, transport/ and
// geometry/ (the steps are in device_steps.cu): kernels that call the
// samplers, the lookups, the tally scoring and the ray tracker, so that nvcc
// compiles all of them for each device architecture of the build. Nothing
// launches these kernels; the GPU build's scheduler and its kernels are built
// on the same functions.
#include <cstdint>

#include "core/constants.h"
#include "core/element_table.h"
#include "core/hostdevice.h"
#include "core/material_tables.h"
#include "core/physical_constants.h"
#include "core/randgen.h"
#include "core/stream_control.h"
#include "core/tally.h"
#include "core/tally_tables.h"
#include "core/task.h"
#include "core/transform.h"
#include "core/vector.h"
#include "geometry/curve_functions.h"
#include "geometry/frames.h"
#include "geometry/free_motion_radius.h"
#include "geometry/ray_tracking.h"
#include "geometry/simple_layer.h"
#include "geometry/surface_functions.h"
#include "geometry/voxel_lookup.h"
#include "gpu/device_work.h"
#include "transport/bank.h"
#include "transport/cell_tally_scoring.h"
#include "transport/cutoffs.h"
#include "transport/directions.h"
#include "transport/electron_flight.h"
#include "transport/electron_interactions.h"
#include "transport/electron_scoring.h"
#include "transport/electron_step.h"
#include "transport/host_hooks.h"
#include "transport/lookup.h"
#include "transport/photon_flight.h"
#include "transport/photon_interactions.h"
#include "transport/photon_step.h"
#include "transport/relaxation.h"
#include "transport/source_sampling.h"
#include "transport/stats_scoring.h"
#include "transport/tally_scoring.h"

// Random numbers, directions and the source.
__global__ void SamplingKernel(DEVICEWORK w) {
  const int i = ThreadIndex();
  const Constants& k = GetConstants();
  CRandGen& rng = RandGenOf(i);
  STREAMCONTROL& control = StreamControlOf(i);
  CRandGen fresh;
  fresh.RandomInitialise(i, 1);
  double sum = fresh.RandomUniform() + rng.random() + rng.random2() + rng.RandomGaussian(0.0, 1.0);
  VECTOR d = Isotropic(rng, 1.0);
  PARTICLECOORD pc{};
  Isotropic(rng, &pc, 2.0);
  NonIsotropic(&pc, 2.0, 0.5, 0.3, 1.0);
  d = NonIsotropic(d, 1.0, 1.0, 0.5, kTwoPi * rng.random());
  d += ConeDirection(rng, k.sourceConeCos, k.Q_source_direction);
  d -= BeamOffset(rng, k.sourceConstantDensityRadius, k.sourceRMSwidth);
  const ANNIHILATIONPAIR pair = AnnihilationDirections(rng, k.restEn);
  d = (d + pair.first - pair.second) * 0.5;
  d = 2.0 * (-d) / 3.0;
  d /= 2.0;
  sum += Norm(Cross(d, pc.dir)) + Dot(d, pc.pos);
  int32_t bin = 0;
  sum += SpectrumEnergy(rng.random(), k.nEnerg, k.E_source, k.cumulativeWeight.Table(), bin);
  sum += SpectrumBin(0.5, k.nEnerg, k.cumulativeWeight.Table()) + k.cumulativeWeight[0] + RestEnergyTwice(k);
  control.nextParticle += 1;
  w.values[i] = sum;
}

// Interval searches, interpolation and inversion of tabulated distributions.
__global__ void LookupKernel(DEVICEWORK w) {
  const int i = ThreadIndex();
  const double x = w.grid[0] + 1e-3 * i;
  int16_t hint = static_cast<int16_t>(i % 4);
  int16_t interval = 0;
  double sum = Interp(x, w.grid, w.table, w.slope, w.n, hint) + InterpLog(log(x), w.grid, w.table, w.slope, w.n, hint);
  sum += Interp2(x, w.grid, w.table, w.slope, w.n, hint) + InterpLog2(log(x), w.grid, w.table, w.slope, w.n, hint);
  sum += Find(x, w.grid, w.n, hint) + Find2(x, w.grid, w.n, hint) + SearchFrom(x, w.grid, w.n, 0);
  sum += FindIndexed(x, w.grid, w.n, w.index, 0) + IndexBin(w.index, x) + ClampInterval(i, w.n);
  sum += EnergyInterval(x, w.grid, w.n, w.index);
  sum += ValueFromProb(0.5, w.grid, w.table, w.cumulative, w.slope, w.n, 0, 1, interval);
  sum += ValueFromProb2(0.5, w.grid, w.table, w.cumulative, w.slope, w.n, 0, 0, interval);
  sum += ValueFromProbIndexed(0.5, w.grid, w.table, w.cumulative, w.slope, &w.index, w.n, 0, 1, interval);
  sum +=
      LogLogOrZero(log(x), w.grid, w.table, w.slope, w.n, hint) + LinearOrZero(x, w.grid, w.table, w.slope, w.n, hint);
  sum += LinearThenLogLog(x, w.grid, w.table, w.grid, w.table, w.slope, w.n, hint);
  double lowest = 0.0, highest = 0.0;
  TableRange(w.grid, w.table, w.n, x, &lowest, &highest);
  sum += lowest + highest + GridFraction(x, 1.0, 2.0) + LogGridFraction(x, 1.0, 2.0);
  sum += ForcedProcessOfSection(i % 12);
  const MATERIAL& m = GetConstants().material[0];
  sum += ElectronSigmaAt(m, 0, false, 0, x) + ElectronSigmaRow(m, 0, true)[0] + ElectronSigmaSlopeRow(m, 0, false)[0];
  w.values[i] = sum;
}

// The samplers of the photon and electron interactions on element 0.
__global__ void InteractionSamplerKernel(DEVICEWORK w) {
  const int i = ThreadIndex();
  const Constants& k = GetConstants();
  const Elem& el = GetElem(0);
  CRandGen& rng = *w.tasks[i].rng;
  PHOTONELEMENTCACHE c;
  const double E = 1e5 + i;
  double sum = PhotonElementCrossSections(el, E, log(E), true, RestEnergyTwice(k), c);
  sum += PairCrossSection(el, E, RestEnergyTwice(k), c.hintPair) + MaxComptonTransfer(E, k.restEn);
  int32_t shell = -1;
  sum += SelectPhotonInteraction(c, el.nSubshells, 0.5 * c.total, &shell);
  CoherentSetUp(el, E, k.restEn, k.constFact_coh, c);
  double mu = 0.0, ratio = 0.0, rho = 0.0, eps = 0.0;
  sum += CoherentTry(el, c, rng, &mu, &ratio) ? mu : ratio;
  sum += CoherentMomentumTransfer(el, c, 0.5, &rho) + CoherentFactorRatio(el, c, 0.5);
  IncoherentSetUp(el, E, k.restEn, k.constFact_coh, c);
  sum += IncoherentTry(el, c, k.constFact_incoh, rng, &mu, &eps) ? mu : eps;
  sum += ShellFromOccupation(el, FirstShellBoundBelow(el, E), 0.5) + OccupationBelow(el, 1);
  sum += DopplerScatteredEnergy(c.k, mu, DopplerPzMax(c.k, 0.5, mu, k.fineStr_inv), k.fineStr, k.restEn);
  sum += ProfileMomentum(el, 0, 0.3, k.smoothCDF_inelastic) + PairEmissionCosine(0.5, E, 1.0 / k.restEn);
  sum += SampleTransition(el, 1, 0.5).energy;
  const ELASTICSET electrons = ElectronElasticSet(el);
  const ELASTICSET positrons = PositronElasticSet(el);
  const ELASTICPOINT point = ElasticPointAt(el, electrons, E);
  sum += SampleElasticCosineAt(0.5, electrons, point, 1) + SampleElasticCosine(0.5, el, positrons, E, 0);
  sum += ElasticCosineAt(0.5, electrons, 0, 1) + ElasticEnergyInterval(el, E);
  sum += SmallAngleCosine(0.5, ScreeningEta(el.screeningEta0, el.screeningCoulomb, E, k.restEn), 1e-3);
  sum += WentzelMap(1e-3, 1e-4, 2e-4) + WentzelCdf(1e-3, 1e-4) + WentzelQuantile(0.5, 1e-4);
  const BREMSSAMPLE b = SampleBremsPhotonEnergy(0.5, el, E, 1);
  sum += b.k + BremsMixWeight(el, 0, E) + SampleBremsTableCosine(0.5, el, b, 1) + BremsTableCosine(0.5, el, 0, 0, 0);
  sum += DipoleBremsCosine(0.5, ElectronBeta(E, k.restEn));
  sum += SampleKnockOnEnergy(0.5, el, 0, E, 1) + IonizationVacancy(el, 0) + IonizationBindingEnergy(el, 0);
  sum += IonizationPrimaryCosine(E, 0.5 * E, RestEnergyTwice(k)) + KnockOnCosine(2.0, 1.0, 1.5);
  const ELECTRONCOLUMNS columns{w.tasks[i].material->electronSigma, w.tasks[i].material->electronSigmaSlope, 0, 0.0};
  sum += SampleColumn(rng, columns, 4, ColumnValue(columns, 3), nullptr) + ColumnWidth(columns, 1);
  sum += FirstColumnAbove(columns, 0.5, 4) + static_cast<double>(PlanDiffusion(1.0, 0.5, 10.0, 3.0).n);
  w.values[i] = sum;
}

// Plane-crossing, cell-entry and pulse-height tallies and the statistics.
__global__ void TallyKernel(DEVICEWORK w) {
  const int i = ThreadIndex();
  TASKSTATE& t = w.tasks[i];
  const TALLYTABLES& tt = GetTallyTables();
  ResetPlaneTallyDistances(t, TallyKindOf(t.kind));
  ScorePlaneCrossings(t);
  UpdatePlaneTallies(t, 1);
  if (CellHasEntryTallies(t.iCell, 0)) UpdateCellEntryTallies(t, 0, 0, -1, +1);
  UpdatePulseHeightTallies(t);
  DepositInCell(t, 1.0);
  DepositEnergy(t, 2.0);
  AddStats(t, t.curStats, statslot::nCoherent, -1, 0.0);
  AddStatsEnergy(t, t.curStats, statslot::eComptonLoss, 1.0);
  ScoreElectronEvent(t, statslot::nElastic);
  ScoreElectronEnergy(t, statslot::eBremsLoss, 1.0);
  double sum = StatsWeight(t) + PhotonCutoff(t) + ElectronCutoff(t) + (WeightsInUse(t) ? 1.0 : 0.0);
  sum += TopClosedBin(0.5, tt.rangeData[0][0]) + PlaneTallyBin(0.5, tt.rangeData[0][0]);
  sum += TopClosedBin(0.5, 0.0, 10.0, 10) + PlaneTallyBin(0.5, 0.0, 10.0, 10) + PulseHeightSlotOfCell(t.iCell);
  const PLANETALLY& plane = tt.tallyData[0][0];
  int32_t lo = 0, hi = 0;
  sum += plane_tally::CrossedPlanes(plane, -1.0, 1.0, true, false, &lo, &hi) ? lo + hi : 0;
  sum += plane_tally::PositionValue(plane_tally::PositionOf(plane, t.pc.pos), kQuantityPhi);
  sum += plane_tally::WithinLimits(plane, kQuantityE, t.E) ? 1.0 : 0.0;
  sum += plane_tally::LastPlaneAtOrBelow(2.5, 1.0) + cell_tally::ResolveInnerSlot(tt, 0, 1);
  w.values[i] = sum;
}

// The ray tracker and the other geometry functions.
__global__ void TrackingKernel(GeometryTables g, TrackerWork work, TrackerState* states, VECTOR* points, CURVE* curves,
                               double* values) {
  const int i = ThreadIndex();
  TrackerState* state = &states[i];
  VECTOR out{}, u = Init(0.0, 0.0, 1.0);
  double distance = 0.0;
  int16_t surface = -1;
  const VECTOR start = points[i];
  double sum = EntryExitPoint(g, work, state, &out, &start, &u, &distance, &surface, -1.0) + distance;
  const int voxel = VoxelAt(g.grid, start, u, g.distancePrecision);
  sum += DistanceToNearestFace(g.grid, &start, voxel) + FindXplane(g.grid, start.x, true, g.distancePrecision);
  sum +=
      FindYplane(g.grid, start.y, false, g.distancePrecision) + FindZplane(g.grid, start.z, true, g.distancePrecision);
  sum += FreeMotionRadiusAt(g.surf, g.cells, g.grid.voxels[0], start, 0, g.distancePrecision);
  double t[4];
  VECTOR crossings[4];
  sum += RaySurfaceIntersection(&start, &u, &g.surf[0], t, crossings, 0, g.distancePrecision, g.anglePrecision);
  sum += DistanceToSurface(&start, &g.surf[0]) + (SameSurface(&g.surf[0], &g.surf[1], 1e-9, 1e-9) ? 1.0 : 0.0);
  sum += SideOf(&g.surf[0], start, &u, 0.0, g.distancePrecision);
  VECTOR n{};
  sum += SurfaceNormal(&n, &g.surf[0], start, g.distancePrecision)->z;
  double lo = 0.0, hi = 0.0;
  StableQuadraticRoots(1.0, -3.0, 2.0, 1.0, &lo, &hi);
  double frame[9], other[9];
  MakeFrame(frame, u, g.anglePrecision);
  MakeFrameRef(other, u, Init(1.0, 0.0, 0.0), g.anglePrecision);
  ComposeRotation(frame, other);
  SetFrameColumns(other, u, Init(0.0, 1.0, 0.0));
  VECTOR r{};
  RotateVector(&r, frame, start);
  RotateVectorTransposed(&r, frame, r);
  TransformPoint(&r, frame, start, r);
  ApplyTransform(&r, start, frame, r);
  const TRANSFORM shift{};
  ApplyTransform(&r, shift, r);
  const LAYER layer{u, 0.0, 1.0};
  sum += lo + hi + r.x + LayerDepth(layer, start) + LayerEntryDistance(layer, start, u);
  CURVE* c = &curves[i];
  CurveParameterRange(c, g.distancePrecision, 1e6);
  sum += CurvePoint(c, 0, 0.5, g.distancePrecision).x + CurveTangent(c, 0, 0.5).y + ClampedRoot(4.0, 1e-12);
  values[i] = sum;
}
