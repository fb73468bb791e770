#!/usr/bin/env python3
"""Plots Trenqual tally files per source particle, with error bars.

    scripts/plot_tally.py [options] FILE [FILE ...] [-o plot.png]

FILE is a tally file of a result folder Files_<output name>/: a plane tally
(TALLY, ETALLY, PTALLY), a cell-entry tally or a pulse-height tally, 1-D or
2-D. The number of source particles, the energy unit (E_UNIT) and whether the
files are already per source particle (TALLIES_PER_SOURCE) are read from the
copy of the output file in the same folder; --histories and --unit replace
them when that copy is missing.

1-D files are drawn as histograms over the bins (the first column holds each
bin's upper edge) with error bars of RelSDev x value. 2-D files are drawn as a
map. Several files of one stack of planes (names ..._<j>(<distance>)_...)
give one point per plane: the sum of the column over the bins, against the
distance of the plane from the first one; --deposit turns the energy flux of
a stack into the energy deposited per unit depth between neighbouring planes.

Needs matplotlib (pip install matplotlib).
"""

import argparse
import math
import os
import re
import sys

QUANTITY_LABEL = {
    "E": ("energy", "{unit}"),
    "THETA": ("angle \u03b8 to the plane normal", "degrees"),
    "MU": ("cos \u03b8 (\u03b8 the angle to the plane normal)", ""),
    "R": ("distance R of the crossing point from the reference point", "cm"),
    "PHI": ("azimuth \u03c6 of the crossing point", "degrees"),
    "X": ("X coordinate of the crossing point", "cm"),
    "Y": ("Y coordinate of the crossing point", "cm"),
}

STACK_NAME = re.compile(r"^(?P<base>.*)_(?P<plane>\d+)\((?P<distance>[^)]*)\)_(?P<range>.*)\.txt$")


def fail(message):
    sys.stderr.write("plot_tally.py: %s\n" % message)
    sys.exit(1)


class RunInfo:
    """What the copy of the output file says about the run."""

    def __init__(self):
        self.histories = None
        self.unit = "MeV"
        self.per_source = False


def read_run_info(folder):
    """Reads Files_<name>/<name>: the source particles, E_UNIT, TALLIES_PER_SOURCE."""
    info = RunInfo()
    base = os.path.basename(os.path.normpath(folder))
    if not base.startswith("Files_"):
        return info
    path = os.path.join(folder, base[len("Files_"):])
    if not os.path.isfile(path):
        return info
    with open(path, errors="replace") as f:
        text = f.read()
    found = re.search(r"number of source particles(?: =|:) (\d+)", text)
    if found:
        info.histories = int(found.group(1))
    echo = text.split("Input file:", 1)[-1].split("\n-----", 2)
    lines = echo[1] if len(echo) > 1 else ""
    for line in lines.splitlines():
        words = line.split("//", 1)[0].split()
        if len(words) >= 2 and words[0].upper() == "E_UNIT":
            info.unit = {"MEV": "MeV", "KEV": "keV", "EV": "eV"}.get(words[1].upper(), info.unit)
        if len(words) >= 2 and words[0].upper() == "TALLIES_PER_SOURCE":
            try:
                info.per_source = int(float(words[1])) != 0
            except ValueError:
                pass
    return info


class TallyFile:
    """One tally file: header words and rows of numbers."""

    def __init__(self, path):
        self.path = path
        with open(path) as f:
            lines = [line.rstrip("\n") for line in f if line.strip()]
        if not lines:
            fail("%s is empty" % path)
        self.header = lines[0].split("\t")
        self.rows = [[float(x) for x in line.split("\t")] for line in lines[1:]]
        self.quantity = self.header[0]
        self.two_dim = len(self.header) > 1 and self.header[1].startswith("N_")
        self.pulse_height = "E_absorbed" in self.header or os.path.basename(path).startswith("PulseHeight")

    def column(self, name):
        if name not in self.header:
            fail("%s has no column %s (its columns: %s)" % (self.path, name, ", ".join(self.header[1:])))
        k = self.header.index(name)
        return [row[k] for row in self.rows]


def bin_edges(upper):
    """Bin edges from the upper edges of equal bins."""
    if len(upper) > 1:
        width = upper[1] - upper[0]
    else:
        width = abs(upper[0]) or 1.0
    return [upper[0] - width] + list(upper)


def axis_label(quantity, unit):
    name, u = QUANTITY_LABEL.get(quantity, (quantity, ""))
    u = u.format(unit=unit)
    return "%s (%s)" % (name, u) if u else name


def value_label(tally, column, unit, per_width, quantity):
    energy = column in ("E_flux", "E_absorbed")
    if tally.pulse_height:
        what = "energy deposited" if energy else "histories"
    elif "CELL_ENTRY" in os.path.basename(tally.path):
        what = "energy carried" if energy else "particles"
    else:
        what = "net energy flux" if energy else "net crossings"
    text = what + " per source particle"
    denominator = " per bin"
    if per_width:
        qunit = QUANTITY_LABEL.get(quantity, (quantity, ""))[1]
        denominator = " per " + (qunit.format(unit=unit) or "unit")
    if energy:
        return "%s (%s%s)" % (text, unit, denominator)
    return "%s%s" % (text, denominator)


def normalise(values, info):
    """Per source particle, unless the files are already."""
    if info.per_source:
        return list(values)
    if not info.histories:
        fail("the number of source particles is unknown: give --histories")
    return [v / info.histories for v in values]


def plot_one_dim(ax, tally, info, args):
    column = args.column or ("E_absorbed" if args.energy and tally.pulse_height else "E_flux" if args.energy else "N")
    upper = [row[0] for row in tally.rows]
    values = [v * args.scale for v in normalise(tally.column(column), info)]
    rsd = tally.column("RelSDev")
    errors = [abs(v) * r for v, r in zip(values, rsd)]
    edges = bin_edges(upper)
    if args.per_width:
        widths = [edges[i + 1] - edges[i] for i in range(len(values))]
        values = [v / w for v, w in zip(values, widths)]
        errors = [e / w for e, w in zip(errors, widths)]
    centres = [(edges[i] + edges[i + 1]) / 2 for i in range(len(values))]
    ax.stairs(values, edges, color="C0", linewidth=1.2)
    ax.errorbar(centres, values, yerr=errors, fmt="none", ecolor="C1", elinewidth=0.8, capsize=0)
    ax.set_xlabel(axis_label(tally.quantity, info.unit))
    ax.set_ylabel(value_label(tally, column, info.unit, args.per_width, tally.quantity))
    if args.log:
        ax.set_yscale("log")
    ax.axhline(0.0, color="0.6", linewidth=0.5)


def plot_two_dim(fig, ax, tally, info, args):
    first = [row[0] for row in tally.rows]
    second = []
    step = 3 if any(h.startswith("F_") for h in tally.header) else 2
    for h in tally.header[1::step]:
        second.append(float(h[2:]))
    values = [[v for v in row[1::step]] for row in tally.rows]
    grid = [[v * args.scale for v in normalise(row, info)] for row in values]
    quantity2 = "?"
    name = os.path.basename(tally.path)
    found = re.search(r"_([A-Za-z]+)\d*_([A-Za-z]+)\d*\.txt$", name)
    if found:
        quantity2 = found.group(2).upper()
    mesh = ax.pcolormesh(bin_edges(second), bin_edges(first), grid, shading="flat", cmap="viridis")
    fig.colorbar(mesh, ax=ax, label="net crossings per source particle per bin")
    ax.set_ylabel(axis_label(tally.quantity, info.unit))
    ax.set_xlabel(axis_label(quantity2, info.unit))


def plot_stack(ax, paths, info, args):
    """One point per plane of a stack: the column summed over the bins."""
    planes = []
    for path in paths:
        found = STACK_NAME.match(os.path.basename(path))
        if not found:
            fail("%s is not a file of a stack of planes (..._<j>(<distance>)_<range>.txt)" % path)
        tally = TallyFile(path)
        column = args.column or ("E_flux" if args.energy or args.deposit else "N")
        values = tally.column(column)
        rsd = tally.column("RelSDev")
        total = sum(values)
        error = math.sqrt(sum((v * r) ** 2 for v, r in zip(values, rsd)))
        planes.append((float(found.group("distance")), total, error))
    planes.sort()
    depth = [p[0] for p in planes]
    total = [v * args.scale for v in normalise([p[1] for p in planes], info)]
    error = normalise([p[2] for p in planes], info)
    if args.add_first:
        total[0] += args.add_first
    energy = column in ("E_flux", "E_absorbed")
    if args.deposit:
        rho = args.density or 1.0
        dose = []
        for j in range(len(depth) - 1):
            dz = depth[j + 1] - depth[j]
            dose.append((total[j] - total[j + 1]) / (dz * rho))
        edges = [depth[0]] + [depth[j + 1] for j in range(len(depth) - 1)]
        ax.stairs(dose, edges, color="C0", linewidth=1.2)
        # The fluxes through neighbouring planes are carried by the same
        # particles: the file's errors say nothing of their difference, so no
        # error bars are drawn (repeat the run with other seeds for them).
        unit = info.unit
        if args.density:
            ax.set_ylabel("energy deposited per source particle\n(%s cm\u00b2/g)" % unit)
        else:
            ax.set_ylabel("energy deposited per source particle\n(%s/cm)" % unit)
    else:
        ax.errorbar(depth, total, yerr=error, fmt="o-", color="C0", ecolor="C1", markersize=3, linewidth=1.0)
        if energy:
            ax.set_ylabel("net energy flux per source particle (%s)" % info.unit)
        else:
            ax.set_ylabel("net crossings per source particle")
    ax.set_xlabel("distance of the plane from the first plane of the stack (cm)")
    ax.axhline(0.0, color="0.6", linewidth=0.5)


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("files", nargs="+", help="tally files (several: the planes of one stack)")
    parser.add_argument("-o", "--output", help="PNG file to write (default: show the plot)")
    parser.add_argument("--energy", action="store_true", help="plot E_flux or E_absorbed instead of N")
    parser.add_argument("--column", help="the column to plot, by its header name (N, E_flux, E_absorbed, dose)")
    parser.add_argument("--per-width", action="store_true", help="divide by the bin width (a density)")
    parser.add_argument("--log", action="store_true", help="logarithmic value axis")
    parser.add_argument("--histories", type=float, help="number of source particles of the run")
    parser.add_argument("--unit", choices=["MeV", "keV", "eV"], help="energy unit of the run (E_UNIT)")
    parser.add_argument("--deposit", action="store_true",
                        help="stack: energy deposited per unit depth between neighbouring planes")
    parser.add_argument("--density", type=float, help="with --deposit: divide by the density (g/cm^3)")
    parser.add_argument("--add-first", type=float, default=0.0,
                        help="stack: add this per-source value to the first plane (the incident beam, "
                             "whose particles start on the plane and are not counted)")
    parser.add_argument("--scale", type=float, default=1.0,
                        help="multiply the values by this factor (-1 shows particles crossing against the normal "
                             "as positive)")
    parser.add_argument("--title", help="title of the plot")
    parser.add_argument("--size", default="6,4", help="figure size in inches, W,H (default 6,4)")
    parser.add_argument("--dpi", type=int, default=80, help="resolution of the PNG (default 80)")
    args = parser.parse_args()

    try:
        import matplotlib
        if args.output:
            matplotlib.use("Agg")
        import matplotlib.pyplot as plt
    except ImportError:
        fail("matplotlib is missing: pip install matplotlib")

    for path in args.files:
        if not os.path.isfile(path):
            fail("no file %s" % path)
    info = read_run_info(os.path.dirname(os.path.abspath(args.files[0])))
    if args.histories:
        info.histories = args.histories
    if args.unit:
        info.unit = args.unit

    width, height = (float(x) for x in args.size.split(","))
    fig, ax = plt.subplots(figsize=(width, height))
    if len(args.files) > 1:
        plot_stack(ax, args.files, info, args)
    else:
        tally = TallyFile(args.files[0])
        if tally.two_dim:
            plot_two_dim(fig, ax, tally, info, args)
        else:
            plot_one_dim(ax, tally, info, args)
    ax.set_title(args.title or os.path.basename(args.files[0] if len(args.files) == 1 else
                                                  os.path.dirname(os.path.abspath(args.files[0]))),
                 fontsize=10)
    ax.yaxis.label.set_size(9)
    ax.xaxis.label.set_size(9)
    fig.tight_layout()
    if args.output:
        fig.savefig(args.output, dpi=args.dpi)
    else:
        plt.show()


if __name__ == "__main__":
    main()
