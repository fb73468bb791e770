// Interaction-statistics report: totals, photon and electron tables, the
// energy loss per secondary electron.
#include "driver/results/interaction_report.h"

#include <cstdarg>
#include <iterator>
#include <string>

using namespace statslot;

namespace {

// A block of text built first, then written to the console and the file.
struct TEXT {
  std::string s;
  void Add(const char* format, ...) __attribute__((format(printf, 2, 3))) {
    char buffer[512];
    va_list args;
    va_start(args, format);
    vsnprintf(buffer, sizeof buffer, format, args);
    va_end(args);
    s += buffer;
  }
};

// One printed column: count, weight, energy (eV).
struct TRIPLE {
  long long n;
  double w;
  double e;
};

// Count, weight and energy of slots (c, w, e): without weights the weight is
// the count; with weights the count is the weight sum rounded. e < 0: no energy.
TRIPLE Slots(const STATSLOT* s, int c, int w, int e, const STATSREPORTCONTEXT& ctx) {
  const double energy = e >= 0 ? s[e].e : 0.0;
  if (ctx.weights) return TRIPLE{static_cast<long long>(s[w].e + 0.5), s[w].e, energy};
  const long long n = static_cast<long long>(s[c].n);
  return TRIPLE{n, static_cast<double>(n), energy};
}

// Source rows print the source counts, also with weights.
TRIPLE Source(const STATSLOT* s, int c, int e) {
  const long long n = static_cast<long long>(s[c].n);
  return TRIPLE{n, static_cast<double>(n), s[e].e};
}

// A column scaled by k (2 annihilation photons per event, 1/2 pair event per
// pair particle); with weights the count is the scaled weight rounded.
TRIPLE Scaled(TRIPLE t, double k, const STATSREPORTCONTEXT& ctx) {
  if (ctx.weights) return TRIPLE{static_cast<long long>(t.w * k + 0.5), t.w * k, t.e};
  const long long n = static_cast<long long>(static_cast<double>(t.n) * k);
  return TRIPLE{n, static_cast<double>(n), t.e};
}

void Row(TEXT& out, const char* format, TRIPLE a, TRIPLE b, TRIPLE c, double F, double U) {
  out.Add(format, a.n, a.w * F, a.e * U * F, b.n, b.w * F, b.e * U * F, c.n, c.w * F, c.e * U * F);
}

const char* const kSourceRow =
    " %s      %16lld  %-11.4e  %-11.4e %16lld  %-11.4e  %-11.4e       escape          %16lld  %-11.4e  %-11.4e\n";

void SourceRow(TEXT& out, const char* label, TRIPLE a, TRIPLE b, TRIPLE c, double F, double U) {
  out.Add(kSourceRow, label, a.n, a.w * F, a.e * U * F, b.n, b.w * F, b.e * U * F, c.n, c.w * F, c.e * U * F);
}

// The first rows of a creation table: the source row (with the escapes) for the
// whole problem, or for a cell the source entry row (with the source escapes)
// and the entry row (with all escapes).
void SourceAndEntryRows(TEXT& out, bool perCell, TRIPLE source, TRIPLE sourceEscape, TRIPLE entry, TRIPLE escape,
                        double F, const STATSREPORTCONTEXT& ctx) {
  const double U = ctx.energyFactor;
  if (!perCell) {
    SourceRow(out, ctx.complexGeometry ? "source entry" : "source      ", source, source, escape, F, U);
  } else {
    Row(out,
        " source entry      %16lld  %-11.4e  %-11.4e %16lld  %-11.4e  %-11.4e       source escape   %16lld  %-11.4e  "
        "%-11.4e\n",
        source, source, sourceEscape, F, U);
    Row(out,
        " entry             %16lld  %-11.4e  %-11.4e %16lld  %-11.4e  %-11.4e       escape          %16lld  %-11.4e  "
        "%-11.4e\n",
        entry, entry, escape, F, U);
  }
}

// One column of a table row: a count slot, its weight slot and an energy
// slot (kNoEnergy: none; kAnnihilationEnergy: two rest energies per event),
// the count scaled by `scale` (2 photons per annihilation, 1/2 pair event per
// pair particle).
constexpr int kAnnihilationEnergy = -2;
struct COLUMN {
  int count;
  int weight;
  int energy;
  double scale = 1.0;
};

// A created-particle or event column (weight in WeightOf(count)).
constexpr COLUMN Counted(int count, int energy, double scale = 1.0) {
  return COLUMN{count, WeightOf(count), energy, scale};
}

// A derived total (its own weight slot).
constexpr COLUMN Total(int count, int weight, int energy) { return COLUMN{count, weight, energy}; }

// A row of a creation table: the particles created above the cutoff and in
// all, and beside them one kind of event.
struct TABLEROW {
  const char* label;  // created particles
  COLUMN above;
  COLUMN all;
  const char* eventLabel;  // the event
  COLUMN event;
};

const TABLEROW kPhotonRows[] = {
    {"bremsstrahlung", Counted(nBremsPhotonsAbove, eBremsPhotonsAbove), Counted(nBremsPhotons, eBremsPhotons),
     "energy cutoff", Counted(nPhotonCutoff, ePhotonCutoff)},
    {"p-annihilation", Counted(nAnnihilationPhotonsAbove, eAnnihilationPhotonsAbove),
     Counted(nAnnihilation, kAnnihilationEnergy, 2.0), "coherent scatter", Counted(nCoherent, kNoEnergy)},
    {"electron x-rays", Counted(nXrayPhotonsAbove, eXrayPhotonsAbove), Counted(nXrayPhotons, eXrayPhotons),
     "compton scatter", Counted(nCompton, eComptonLoss)},
    {"compton fluores", Counted(nComptonFluorPhotonsAbove, eComptonFluorPhotonsAbove),
     Counted(nComptonFluorPhotons, eComptonFluorPhotons), "capture", Counted(nCapture, eCaptureLoss)},
    {"1st fluorescence", Counted(nFluor1PhotonsAbove, eFluor1PhotonsAbove), Counted(nFluor1Photons, eFluor1Photons),
     "pair production", Counted(nPairParticles, ePairLoss, 0.5)},
    {"2nd fluorescence", Counted(nFluor2PhotonsAbove, eFluor2PhotonsAbove), Counted(nFluor2Photons, eFluor2Photons),
     "total collisions", Total(nPhotonCollisions, wPhotonCollisions, ePhotonCollisions)},
    {"    total", Total(nPhotonsAbove, wPhotonsAbove, ePhotonsAbove), Total(nPhotonsAll, wPhotonsAll, ePhotonsAll),
     "total loss", Total(nPhotonLoss, wPhotonLoss, ePhotonLoss)},
};

const TABLEROW kElectronRows[] = {
    {"pair production", Counted(nPairParticlesAbove, ePairParticlesAbove), Counted(nPairParticles, ePairParticles),
     "energy cutoff", Counted(nElectronCutoff, eElectronCutoff)},
    {"compton recoil", Counted(nComptonAbove, eComptonAbove), Counted(nCompton, eCompton), "elastic scatter",
     Counted(nElastic, kNoEnergy)},
    {"photo-electric", Counted(nCaptureAbove, eCaptureAbove), Counted(nCapture, eCapture), "bremsstrahlung",
     Counted(nBremsPhotons, eBremsLoss)},
    {"photon auger", Counted(nPhotonAugerAbove, ePhotonAugerAbove), Counted(nPhotonAuger, ePhotonAuger),
     "p-annihilation", Counted(nAnnihilation, eAnnihilation)},
    {"electron auger", Counted(nElectronAugerAbove, eElectronAugerAbove), Counted(nElectronAuger, eElectronAuger),
     "atomic exc.", Counted(nExcitation, eExcitation)},
    {"knock-on", Counted(nKnockOnAbove, eKnockOnAbove), Counted(nKnockOn, eKnockOn), "electroion.",
     Counted(nElectroionization, eElectroionization)},
    {"    total", Total(nElectronsAbove, wElectronsAbove, eElectronsAbove),
     Total(nElectronsAll, wElectronsAll, eElectronsAll), "total collisions",
     Total(nElectronCollisions, wElectronCollisions, eElectronCollisions)},
};

TRIPLE Read(const STATSLOT* s, const COLUMN& c, const STATSREPORTCONTEXT& ctx) {
  TRIPLE t = Slots(s, c.count, c.weight, c.energy >= 0 ? c.energy : kNoEnergy, ctx);
  if (c.scale != 1.0) t = Scaled(t, c.scale, ctx);
  if (c.energy == kAnnihilationEnergy) t.e = static_cast<double>(s[c.count].n) * 2.0 * ctx.restEnergy;
  return t;
}

// A creation table: its headings, its source and entry rows and its rows.
struct CREATIONTABLE {
  const char* title;    // the first heading line
  const char* columns;  // the column heading line
  int nSource, eSource, nSourceEscape, eSourceEscape;
  COLUMN entries, escapes;
  const TABLEROW* rows;
  int nRows;
};

const CREATIONTABLE kPhotonTable = {
    "\n photon creation                    Above cutoff energy                            All photons\n",
    "                                  N    weight       energy                   N    weight       energy          "
    "photon events                  N    weight     energy loss\n",
    nSourcePhotons,
    eSourcePhotons,
    nSourceEscapePhotons,
    eSourceEscapePhotons,
    Counted(nPhotonEntries, ePhotonEntries),
    Counted(nPhotonEscapes, ePhotonEscapes),
    kPhotonRows,
    static_cast<int>(std::size(kPhotonRows))};

const CREATIONTABLE kElectronTable = {
    "\n\n electron creation                  Above cutoff energy                           All electrons\n",
    "                                  N    weight       energy                   N    weight       energy          "
    "electron events                N    weight     energy loss\n",
    nSourceElectrons,
    eSourceElectrons,
    nSourceEscapeElectrons,
    eSourceEscapeElectrons,
    Counted(nElectronEntries, eElectronEntries),
    Counted(nElectronEscapes, eElectronEscapes),
    kElectronRows,
    static_cast<int>(std::size(kElectronRows))};

void CreationTable(TEXT& out, const CREATIONTABLE& table, const STATSLOT* s, bool perCell, double F,
                   const STATSREPORTCONTEXT& ctx) {
  const double U = ctx.energyFactor;
  out.Add("%s", table.title);
  out.Add("%s", table.columns);
  out.Add(
      "                                      (per source particle)                      (per source particle)          "
      "                                   (per source particle)\n\n");
  SourceAndEntryRows(out, perCell, Source(s, table.nSource, table.eSource),
                     Source(s, table.nSourceEscape, table.eSourceEscape), Read(s, table.entries, ctx),
                     Read(s, table.escapes, ctx), F, ctx);
  for (int i = 0; i < table.nRows; ++i) {
    const TABLEROW& row = table.rows[i];
    const TRIPLE a = Read(s, row.above, ctx), b = Read(s, row.all, ctx), c = Read(s, row.event, ctx);
    out.Add(" %-18s%16lld  %-11.4e  %-11.4e %16lld  %-11.4e  %-11.4e       %-16s%16lld  %-11.4e  %-11.4e\n", row.label,
            a.n, a.w * F, a.e * U * F, b.n, b.w * F, b.e * U * F, row.eventLabel, c.n, c.w * F, c.e * U * F);
  }
}

void PhotonTable(TEXT& out, const STATSLOT* s, bool perCell, double F, const STATSREPORTCONTEXT& ctx) {
  CreationTable(out, kPhotonTable, s, perCell, F, ctx);
}

void ElectronTable(TEXT& out, const STATSLOT* s, bool perCell, double F, const STATSREPORTCONTEXT& ctx) {
  CreationTable(out, kElectronTable, s, perCell, F, ctx);
  const TRIPLE loss = Read(s, Total(nElectronLoss, wElectronLoss, eElectronLoss), ctx);
  out.Add(
      "                                                                                                               "
      "total loss      %16lld  %-11.4e  %-11.4e\n",
      loss.n, loss.w * F, loss.e * ctx.energyFactor * F);
}

// Mean energy lost per secondary electron: absorbed energy over the electrons
// created (above cutoff, all) beyond the source or entering ones. The weight
// of a creation column is its count when no weights are in use.
void EnergyLossLine(TEXT& out, const STATSLOT* s, bool perCell, int32_t cell, const STATSREPORTCONTEXT& ctx) {
  const double n =
      perCell ? Read(s, Counted(nElectronEntries, kNoEnergy), ctx).w : static_cast<double>(s[nSourceElectrons].n);
  const double above = Slots(s, nElectronsAbove, wElectronsAbove, kNoEnergy, ctx).w;
  const double all = Slots(s, nElectronsAll, wElectronsAll, kNoEnergy, ctx).w;
  const double absorbed = s[eAbsorbed].e * ctx.energyFactor;
  const double a = above > n ? absorbed / (above - n) : 0.0;
  const double b = all > n ? absorbed / (all - n) : 0.0;
  if (!perCell) {
    out.Add(
        "\n           Energy loss per one secondary electron:  1) above cutoff: %-11.4e  2) all electrons: %-11.4e\n",
        a, b);
    return;
  }
  const int32_t u = ctx.cellUnion != nullptr ? ctx.cellUnion[cell] : -1;
  const char* what = u >= 0 ? "union of cells" : "cell";
  const int32_t id = u >= 0 ? ctx.unionId[u] : ctx.cellId[cell];
  out.Add(
      "\n           Energy loss per one secondary electron in %s No. %d:  1) above cutoff: %-11.4e  2) all electrons: "
      "%-11.4e\n",
      what, id, a, b);
}

void Heading(TEXT& out, const STATSLOT* s, int32_t cell, int32_t blockNo, const STATSREPORTCONTEXT& ctx) {
  const char* lead = ctx.gpuBuild ? "\n" : "";
  if (ctx.complexGeometry) {
    if (cell < 0) {
      out.Add("%sOverall interaction statistics\n", lead);
      return;
    }
    const int32_t u = ctx.cellUnion != nullptr ? ctx.cellUnion[cell] : -1;
    if (u >= 0)
      out.Add("%s(%d) Interaction statistics for union of cells No. %d\n", lead, blockNo, ctx.unionId[u]);
    else
      out.Add("%s(%d) Interaction statistics for cell No. %d\n", lead, blockNo, ctx.cellId[cell]);
    return;
  }
  if (!ctx.photonSource && !ctx.trackPos) {
    out.Add("\n");
    return;
  }
  const int nSlot = ctx.photonSource ? nSourcePhotons : nSourceElectrons;
  const int eSlot = ctx.photonSource ? eSourcePhotons : eSourceElectrons;
  const double nSource = static_cast<double>(s[nSlot].n);
  const double interacted = static_cast<double>(s[nSourceInteracted].n);
  out.Add("%sNumber of source particles absorbed or scattered = %lld (%-.10g %%)\n", lead,
          static_cast<long long>(s[nSourceInteracted].n), nSource != 0.0 ? 100.0 * interacted / nSource : 0.0);
  out.Add("Absorbed energy = %-.10g %s (%-.10g %%)\n", s[eAbsorbed].e * ctx.energyFactor, ctx.energyUnit,
          s[eSlot].e != 0.0 ? 100.0 * s[eAbsorbed].e / s[eSlot].e : 0.0);
}

bool LaterUnionMember(int32_t cell, const STATSREPORTCONTEXT& ctx) {
  if (ctx.cellUnion == nullptr || ctx.cellUnion[cell] < 0) return false;
  return ctx.unionFirstCell[ctx.cellUnion[cell]] != cell;
}

}  // namespace

void CompleteInteractionTotals(INTERACTIONSTATS& record, bool perCell, const STATSREPORTCONTEXT& ctx) {
  STATSLOT* s = record.slot;
  // Source terms: the source particles overall, the entering particles in a
  // cell (source weights are their counts). The sums add their terms in this
  // order, so that the doubles come out the same on every build.
  const uint64_t A = perCell ? s[nElectronEntries].n : s[nSourceElectrons].n;
  const uint64_t B = perCell ? s[nPhotonEntries].n : s[nSourcePhotons].n;
  const double C = perCell ? s[wElectronEntries].e : static_cast<double>(s[nSourceElectrons].n);
  const double D = perCell ? s[wPhotonEntries].e : static_cast<double>(s[nSourcePhotons].n);
  const double E = perCell ? s[eElectronEntries].e : s[eSourceElectrons].e;
  const double F = perCell ? s[ePhotonEntries].e : s[eSourcePhotons].e;
  const double restEn2 = 2.0 * ctx.restEnergy;
  auto w = [s](int countSlot) { return s[WeightOf(countSlot)].e; };
  // Created electrons and photons: all, and above the cutoff of their kind.
  s[nElectronsAll].n += s[nAuger].n + s[nKnockOn].n + s[nCompton].n + s[nCapture].n + A + s[nPairParticles].n;
  s[nElectronsAbove].n +=
      s[nPairParticlesAbove].n + s[nComptonAbove].n + s[nCaptureAbove].n + s[nAugerAbove].n + s[nKnockOnAbove].n + A;
  s[nPhotonsAll].n += 2 * s[nAnnihilation].n + s[nRelaxPhotons].n + s[nBremsPhotons].n + B;
  s[nPhotonsAbove].n += s[nAnnihilationPhotonsAbove].n + s[nRelaxPhotonsAbove].n + s[nBremsPhotonsAbove].n + B;
  s[wElectronsAll].e += C + w(nKnockOn) + w(nAuger) + w(nCapture) + w(nCompton) + w(nPairParticles);
  s[wElectronsAbove].e +=
      C + w(nKnockOnAbove) + w(nAugerAbove) + w(nCaptureAbove) + w(nComptonAbove) + w(nPairParticlesAbove);
  s[wPhotonsAll].e += D + w(nBremsPhotons) + w(nRelaxPhotons) + 2.0 * w(nAnnihilation);
  s[wPhotonsAbove].e += D + w(nBremsPhotonsAbove) + w(nRelaxPhotonsAbove) + w(nAnnihilationPhotonsAbove);
  s[eElectronsAll].e += E + s[eKnockOn].e + s[eAuger].e + s[eCapture].e + s[eCompton].e + s[ePairParticles].e;
  s[eElectronsAbove].e +=
      E + s[eKnockOnAbove].e + s[eAugerAbove].e + s[eCaptureAbove].e + s[eComptonAbove].e + s[ePairParticlesAbove].e;
  s[ePhotonsAll].e += F + s[eBremsPhotons].e + s[eRelaxPhotons].e + static_cast<double>(s[nAnnihilation].n) * restEn2;
  s[ePhotonsAbove].e += F + s[eBremsPhotonsAbove].e + s[eRelaxPhotonsAbove].e + s[eAnnihilationPhotonsAbove].e;
  // Photon events: losses (escape, cutoff, pair production, capture) and collisions.
  s[nPhotonLoss].n += s[nPhotonEscapes].n + s[nPhotonCutoff].n + s[nPairParticles].n / 2 + s[nCapture].n;
  s[wPhotonLoss].e += w(nPhotonEscapes) + w(nPhotonCutoff) + w(nCapture) + 0.5 * w(nPairParticles);
  s[ePhotonLoss].e += s[ePhotonEscapes].e + s[ePhotonCutoff].e + s[eComptonLoss].e + s[eCaptureLoss].e + s[ePairLoss].e;
  s[nPhotonCollisions].n += s[nPairParticles].n / 2 + s[nCoherent].n + s[nCompton].n + s[nCapture].n;
  s[wPhotonCollisions].e += w(nCoherent) + w(nCompton) + w(nCapture) + 0.5 * w(nPairParticles);
  s[ePhotonCollisions].e += s[eComptonLoss].e + s[eCaptureLoss].e + s[ePairLoss].e;
  // Electron events: losses (escape, cutoff, annihilation) and collisions.
  s[nElectronLoss].n += s[nElectronEscapes].n + s[nElectronCutoff].n + s[nAnnihilation].n;
  s[wElectronLoss].e += w(nElectronEscapes) + w(nElectronCutoff) + w(nAnnihilation);
  s[eElectronLoss].e += s[eElectronEscapes].e + s[eElectronCutoff].e + s[eAnnihilation].e + s[eBremsLoss].e +
                        s[eExcitation].e + s[eElectroionization].e;
  s[nElectronCollisions].n += s[nElectroionization].n + s[nExcitation].n + s[nElastic].n + s[nBremsPhotons].n;
  s[wElectronCollisions].e += w(nElastic) + w(nBremsPhotons) + w(nExcitation) + w(nElectroionization);
  s[eElectronCollisions].e += s[eExcitation].e + s[eBremsLoss].e + s[eElectroionization].e;
}

void PrintInteractionStats(FILE* out, const INTERACTIONSTATS& overall, const INTERACTIONSTATS* perCell, double factor,
                           int32_t first, int32_t last, bool console, const STATSREPORTCONTEXT& ctx) {
  int32_t blockNo = 0;
  for (int32_t cell = first; cell <= last; ++cell) {
    if (cell >= 0 && LaterUnionMember(cell, ctx)) continue;
    const bool isCell = cell >= 0;
    if (isCell) ++blockNo;
    const STATSLOT* s = isCell ? perCell[cell].slot : overall.slot;
    TEXT block;
    Heading(block, s, cell, blockNo, ctx);
    PhotonTable(block, s, isCell, factor, ctx);
    ElectronTable(block, s, isCell, factor, ctx);
    EnergyLossLine(block, s, isCell, cell, ctx);
    if (console) fputs(block.s.c_str(), stdout);
    if (out == nullptr) continue;
    if (ctx.trackPos || ctx.photonSource) fputs("\n", out);
    fputs(block.s.c_str(), out);
  }
}

Status WriteCellInteractionStats(const char* path, const INTERACTIONSTATS& overall, const INTERACTIONSTATS* perCell,
                                 double factor, const STATSREPORTCONTEXT& ctx) {
  FILE* f = fopen(path, "w");
  if (f == nullptr) {
    printf("File \"%s\" could not be opened for writing.\n", path);
    return kInputError;
  }
  PrintInteractionStats(f, overall, perCell, factor, 0, ctx.nCells - 1, false, ctx);
  const bool failed = ferror(f) != 0;
  if (fclose(f) != 0 || failed) {
    printf("Error: File \"%s\" could not be written.\n", path);
    return kInputError;
  }
  return kOk;
}
