// Interaction-statistics report: totals, photon and electron tables, the
// energy loss per secondary electron.
#include "driver/results/interaction_report.h"

#include <cstdarg>
#include <string>

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
    Row(out, " source entry      %16lld  %-11.4e  %-11.4e %16lld  %-11.4e  %-11.4e       source escape   %16lld  %-11.4e  %-11.4e\n",
        source, source, sourceEscape, F, U);
    Row(out, " entry             %16lld  %-11.4e  %-11.4e %16lld  %-11.4e  %-11.4e       escape          %16lld  %-11.4e  %-11.4e\n",
        entry, entry, escape, F, U);
  }
}

void PhotonTable(TEXT& out, const STATSLOT* s, bool perCell, double F, const STATSREPORTCONTEXT& ctx) {
  const double U = ctx.energyFactor;
  out.Add("\n photon creation                    Above cutoff energy                            All photons\n");
  out.Add("                                  N    weight       energy                   N    weight       energy          photon events                  N    weight     energy loss\n");
  out.Add("                                      (per source particle)                      (per source particle)                                             (per source particle)\n\n");
  SourceAndEntryRows(out, perCell, Source(s, 4, 1), Source(s, 8, 121), Slots(s, 47, 88, 132, ctx),
                     Slots(s, 48, 89, 133, ctx), F, ctx);
  Row(out, " bremsstrahlung    %16lld  %-11.4e  %-11.4e %16lld  %-11.4e  %-11.4e       energy cutoff   %16lld  %-11.4e  %-11.4e\n",
      Slots(s, 34, 75, 113, ctx), Slots(s, 26, 67, 106, ctx), Slots(s, 33, 74, 122, ctx), F, U);
  TRIPLE annihilation = Scaled(Slots(s, 18, 59, -1, ctx), 2.0, ctx);
  annihilation.e = static_cast<double>(s[18].n) * 2.0 * ctx.restEnergy;
  Row(out, " p-annihilation    %16lld  %-11.4e  %-11.4e %16lld  %-11.4e  %-11.4e       coherent scatter%16lld  %-11.4e  %-11.4e\n",
      Slots(s, 41, 82, 120, ctx), annihilation, Slots(s, 42, 83, -1, ctx), F, U);
  Row(out, " electron x-rays   %16lld  %-11.4e  %-11.4e %16lld  %-11.4e  %-11.4e       compton scatter %16lld  %-11.4e  %-11.4e\n",
      Slots(s, 36, 77, 115, ctx), Slots(s, 28, 69, 108, ctx), Slots(s, 15, 56, 123, ctx), F, U);
  Row(out, " compton fluores   %16lld  %-11.4e  %-11.4e %16lld  %-11.4e  %-11.4e       capture         %16lld  %-11.4e  %-11.4e\n",
      Slots(s, 40, 81, 119, ctx), Slots(s, 32, 73, 112, ctx), Slots(s, 14, 55, 124, ctx), F, U);
  const TRIPLE pairs = Scaled(Slots(s, 16, 57, 125, ctx), 0.5, ctx);
  Row(out, " 1st fluorescence  %16lld  %-11.4e  %-11.4e %16lld  %-11.4e  %-11.4e       pair production %16lld  %-11.4e  %-11.4e\n",
      Slots(s, 38, 79, 117, ctx), Slots(s, 30, 71, 110, ctx), pairs, F, U);
  Row(out, " 2nd fluorescence  %16lld  %-11.4e  %-11.4e %16lld  %-11.4e  %-11.4e       total collisions%16lld  %-11.4e  %-11.4e\n",
      Slots(s, 39, 80, 118, ctx), Slots(s, 31, 72, 111, ctx), Slots(s, 152, 153, 154, ctx), F, U);
  Row(out, "     total         %16lld  %-11.4e  %-11.4e %16lld  %-11.4e  %-11.4e       total loss      %16lld  %-11.4e  %-11.4e\n",
      Slots(s, 140, 144, 148, ctx), Slots(s, 139, 143, 147, ctx), Slots(s, 149, 150, 151, ctx), F, U);
}

void ElectronTable(TEXT& out, const STATSLOT* s, bool perCell, double F, const STATSREPORTCONTEXT& ctx) {
  const double U = ctx.energyFactor;
  out.Add("\n\n electron creation                  Above cutoff energy                           All electrons\n");
  out.Add("                                  N    weight       energy                   N    weight       energy          electron events                N    weight     energy loss\n");
  out.Add("                                      (per source particle)                      (per source particle)                                             (per source particle)\n\n");
  SourceAndEntryRows(out, perCell, Source(s, 3, 0), Source(s, 7, 126), Slots(s, 49, 90, 134, ctx),
                     Slots(s, 50, 91, 135, ctx), F, ctx);
  Row(out, " pair production   %16lld  %-11.4e  %-11.4e %16lld  %-11.4e  %-11.4e       energy cutoff   %16lld  %-11.4e  %-11.4e\n",
      Slots(s, 25, 66, 105, ctx), Slots(s, 16, 57, 98, ctx), Slots(s, 17, 58, 127, ctx), F, U);
  Row(out, " compton recoil    %16lld  %-11.4e  %-11.4e %16lld  %-11.4e  %-11.4e       elastic scatter %16lld  %-11.4e  %-11.4e\n",
      Slots(s, 24, 65, 104, ctx), Slots(s, 15, 56, 97, ctx), Slots(s, 43, 84, -1, ctx), F, U);
  Row(out, " photo-electric    %16lld  %-11.4e  %-11.4e %16lld  %-11.4e  %-11.4e       bremsstrahlung  %16lld  %-11.4e  %-11.4e\n",
      Slots(s, 23, 64, 103, ctx), Slots(s, 14, 55, 96, ctx), Slots(s, 26, 67, 129, ctx), F, U);
  Row(out, " photon auger      %16lld  %-11.4e  %-11.4e %16lld  %-11.4e  %-11.4e       p-annihilation  %16lld  %-11.4e  %-11.4e\n",
      Slots(s, 21, 62, 101, ctx), Slots(s, 12, 53, 94, ctx), Slots(s, 18, 59, 128, ctx), F, U);
  Row(out, " electron auger    %16lld  %-11.4e  %-11.4e %16lld  %-11.4e  %-11.4e       atomic exc.     %16lld  %-11.4e  %-11.4e\n",
      Slots(s, 22, 63, 102, ctx), Slots(s, 13, 54, 95, ctx), Slots(s, 44, 85, 130, ctx), F, U);
  Row(out, " knock-on          %16lld  %-11.4e  %-11.4e %16lld  %-11.4e  %-11.4e       electroion.     %16lld  %-11.4e  %-11.4e\n",
      Slots(s, 19, 60, 99, ctx), Slots(s, 10, 51, 92, ctx), Slots(s, 45, 86, 131, ctx), F, U);
  Row(out, "     total         %16lld  %-11.4e  %-11.4e %16lld  %-11.4e  %-11.4e       total collisions%16lld  %-11.4e  %-11.4e\n",
      Slots(s, 138, 142, 146, ctx), Slots(s, 137, 141, 145, ctx), Slots(s, 158, 159, 160, ctx), F, U);
  const TRIPLE loss = Slots(s, 155, 156, 157, ctx);
  out.Add("                                                                                                               total loss      %16lld  %-11.4e  %-11.4e\n",
          loss.n, loss.w * F, loss.e * U * F);
}

// Mean energy lost per secondary electron: absorbed energy over the electrons
// created (above cutoff, all) beyond the source or entering ones. The weight
// of a creation column is its count when no weights are in use.
void EnergyLossLine(TEXT& out, const STATSLOT* s, bool perCell, int32_t cell, const STATSREPORTCONTEXT& ctx) {
  const double n = perCell ? Slots(s, 49, 90, -1, ctx).w : static_cast<double>(s[3].n);
  const double above = Slots(s, 138, 142, -1, ctx).w;
  const double all = Slots(s, 137, 141, -1, ctx).w;
  const double absorbed = s[2].e * ctx.energyFactor;
  const double a = above > n ? absorbed / (above - n) : 0.0;
  const double b = all > n ? absorbed / (all - n) : 0.0;
  if (!perCell) {
    out.Add("\n           Energy loss per one secondary electron:  1) above cutoff: %-11.4e  2) all electrons: %-11.4e\n", a, b);
    return;
  }
  const int32_t u = ctx.cellUnion != nullptr ? ctx.cellUnion[cell] : -1;
  const char* what = u >= 0 ? "union of cells" : "cell";
  const int32_t id = u >= 0 ? ctx.unionId[u] : ctx.cellId[cell];
  out.Add("\n           Energy loss per one secondary electron in %s No. %d:  1) above cutoff: %-11.4e  2) all electrons: %-11.4e\n",
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
    if (u >= 0) out.Add("%s(%d) Interaction statistics for union of cells No. %d\n", lead, blockNo, ctx.unionId[u]);
    else out.Add("%s(%d) Interaction statistics for cell No. %d\n", lead, blockNo, ctx.cellId[cell]);
    return;
  }
  if (!ctx.photonSource && !ctx.trackPos) {
    out.Add("\n");
    return;
  }
  const int nSlot = ctx.photonSource ? 4 : 3;
  const int eSlot = ctx.photonSource ? 1 : 0;
  const double nSource = static_cast<double>(s[nSlot].n);
  const double interacted = static_cast<double>(s[5].n);
  out.Add("%sNumber of source particles absorbed or scattered = %lld (%-.10g %%)\n", lead, static_cast<long long>(s[5].n),
          nSource != 0.0 ? 100.0 * interacted / nSource : 0.0);
  out.Add("Absorbed energy = %-.10g %s (%-.10g %%)\n", s[2].e * ctx.energyFactor, ctx.energyUnit,
          s[eSlot].e != 0.0 ? 100.0 * s[2].e / s[eSlot].e : 0.0);
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
  const uint64_t A = perCell ? s[49].n : s[3].n;
  const uint64_t B = perCell ? s[47].n : s[4].n;
  const double C = perCell ? s[90].e : static_cast<double>(s[3].n);
  const double D = perCell ? s[88].e : static_cast<double>(s[4].n);
  const double E = perCell ? s[134].e : s[0].e;
  const double F = perCell ? s[132].e : s[1].e;
  const double restEn2 = 2.0 * ctx.restEnergy;
  s[137].n += s[11].n + s[10].n + s[15].n + s[14].n + A + s[16].n;
  s[138].n += s[25].n + s[24].n + s[23].n + s[20].n + s[19].n + A;
  s[139].n += 2 * s[18].n + s[27].n + s[26].n + B;
  s[140].n += s[41].n + s[35].n + s[34].n + B;
  s[141].e += C + s[51].e + s[52].e + s[55].e + s[56].e + s[57].e;
  s[142].e += C + s[60].e + s[61].e + s[64].e + s[65].e + s[66].e;
  s[143].e += D + s[67].e + s[68].e + 2.0 * s[59].e;
  s[144].e += D + s[75].e + s[76].e + s[82].e;
  s[145].e += E + s[92].e + s[93].e + s[96].e + s[97].e + s[98].e;
  s[146].e += E + s[99].e + s[100].e + s[103].e + s[104].e + s[105].e;
  s[147].e += F + s[106].e + s[107].e + static_cast<double>(s[18].n) * restEn2;
  s[148].e += F + s[113].e + s[114].e + s[120].e;
  s[149].n += s[48].n + s[33].n + s[16].n / 2 + s[14].n;
  s[150].e += s[89].e + s[74].e + s[55].e + 0.5 * s[57].e;
  s[151].e += s[133].e + s[122].e + s[123].e + s[124].e + s[125].e;
  s[152].n += s[16].n / 2 + s[42].n + s[15].n + s[14].n;
  s[153].e += s[83].e + s[56].e + s[55].e + 0.5 * s[57].e;
  s[154].e += s[123].e + s[124].e + s[125].e;
  s[155].n += s[50].n + s[17].n + s[18].n;
  s[156].e += s[91].e + s[58].e + s[59].e;
  s[157].e += s[135].e + s[127].e + s[128].e + s[129].e + s[130].e + s[131].e;
  s[158].n += s[45].n + s[44].n + s[43].n + s[26].n;
  s[159].e += s[84].e + s[67].e + s[85].e + s[86].e;
  s[160].e += s[130].e + s[129].e + s[131].e;
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

int WriteCellInteractionStats(const char* path, const INTERACTIONSTATS& overall, const INTERACTIONSTATS* perCell,
                              double factor, const STATSREPORTCONTEXT& ctx) {
  FILE* f = fopen(path, "w");
  if (f == nullptr) {
    printf("File \"%s\" could not be opened for writing.\n", path);
    return 1;
  }
  PrintInteractionStats(f, overall, perCell, factor, 0, ctx.nCells - 1, false, ctx);
  const bool failed = ferror(f) != 0;
  if (fclose(f) != 0 || failed) {
    printf("Error: File \"%s\" could not be written.\n", path);
    return 1;
  }
  return 0;
}
