#!/usr/bin/env python3
"""Plots of the physics validation: one PNG per compared quantity, written
beside the CSV file that tq_validate wrote (scripts/validate.sh runs both).

Quantities measured at several energies get two panels: the program's values
(markers with statistical error bars) and the published references (lines)
against energy, one colour per element, and below them the ratio program /
reference. Single-case quantities (the thick target) get one panel.

Usage: scripts/plot_validation.py <folder>/validation.csv
"""
import csv
import math
import os
import re
import sys
from collections import OrderedDict


def read_rows(path):
    with open(path, newline="") as f:
        rows = list(csv.DictReader(f))
    for r in rows:
        r["program"] = float(r["program"])
        r["reference"] = float(r["reference"])
        stat = r["stat_error_percent"]
        r["sdev"] = abs(r["program"]) * float(stat) / 100.0 if stat else 0.0
        r["energy"] = float(r["energy_MeV"]) if r["energy_MeV"] else None
        low, high = r.get("reference_low"), r.get("reference_high")
        r["band"] = (float(low), float(high)) if low and high else None
    return rows


def file_name(quantity):
    return re.sub(r"[^a-z0-9]+", "_", quantity.lower()).strip("_") + ".png"


def plot_against_energy(plt, quantity, rows, path):
    by_element = OrderedDict()
    for r in rows:
        by_element.setdefault(r["element"], []).append(r)
    fig, (top, bottom) = plt.subplots(2, 1, sharex=True, figsize=(7.5, 7.0),
                                      gridspec_kw={"height_ratios": [2, 1]})
    values = [r["program"] for r in rows] + [r["reference"] for r in rows]
    log_y = min(values) > 0 and max(values) / min(values) > 20
    for i, (element, group) in enumerate(by_element.items()):
        group = sorted(group, key=lambda r: r["energy"])
        colour = "C%d" % (i % 10)
        e = [r["energy"] for r in group]
        top.plot(e, [r["reference"] for r in group], "-", color=colour, label=element + " reference")
        top.errorbar(e, [r["program"] for r in group], yerr=[r["sdev"] for r in group], fmt="o",
                     color=colour, markerfacecolor="none", capsize=3, label=element + " program")
        ratio = [r["program"] / r["reference"] for r in group]
        ratio_err = [r["sdev"] / r["reference"] for r in group]
        bottom.errorbar(e, ratio, yerr=ratio_err, fmt="o-", color=colour, capsize=3, label=element)
    top.set_xscale("log")
    if log_y:
        top.set_yscale("log")
    top.set_ylabel(quantity)
    top.set_title(quantity, fontsize=10)
    top.legend(fontsize=7, ncol=2)
    top.grid(True, which="both", alpha=0.3)
    bottom.axhline(1.0, color="k", linewidth=0.8)
    bottom.set_xscale("log")
    bottom.set_xlabel("energy (MeV)")
    bottom.set_ylabel("program / reference")
    ratios = [r["program"] / r["reference"] for r in rows]
    if max(ratios) / max(min(ratios), 1e-9) > 3:
        bottom.set_yscale("log")
    bottom.grid(True, which="both", alpha=0.3)
    fig.tight_layout()
    fig.savefig(path, dpi=110)
    plt.close(fig)


def plot_single(plt, quantity, rows, path):
    fig, ax = plt.subplots(figsize=(7.5, 3.5))
    labels = [r["case"] for r in rows]
    x = list(range(len(rows)))
    ax.errorbar(x, [r["program"] for r in rows], yerr=[r["sdev"] for r in rows], fmt="o", capsize=4,
                label="program")
    ax.plot(x, [r["reference"] for r in rows], "s", markerfacecolor="none", markersize=10, label="reference")
    for xi, r in zip(x, rows):
        if r["band"]:
            ax.fill_between([xi - 0.3, xi + 0.3], *r["band"], color="C1", alpha=0.2,
                            label="published range" if xi == 0 else None)
    ax.set_xticks(x)
    ax.set_xticklabels(labels, fontsize=7)
    ax.set_xlim(-0.5, len(rows) - 0.5)
    ax.set_title(quantity, fontsize=10)
    ax.legend(fontsize=8)
    ax.grid(True, alpha=0.3)
    fig.tight_layout()
    fig.savefig(path, dpi=110)
    plt.close(fig)


def main():
    if len(sys.argv) != 2:
        print("usage: plot_validation.py <folder>/validation.csv", file=sys.stderr)
        return 2
    try:
        import matplotlib
        matplotlib.use("Agg")
        import matplotlib.pyplot as plt
    except ImportError:
        print("matplotlib is not installed: no plots (the table and the CSV file are complete).")
        return 0
    csv_path = sys.argv[1]
    rows = read_rows(csv_path)
    by_quantity = OrderedDict()
    for r in rows:
        by_quantity.setdefault(r["quantity"], []).append(r)
    folder = os.path.dirname(os.path.abspath(csv_path))
    written = []
    for quantity, group in by_quantity.items():
        path = os.path.join(folder, file_name(quantity))
        energies = {r["energy"] for r in group}
        if len(energies) > 1 and None not in energies:
            plot_against_energy(plt, quantity, group, path)
        else:
            plot_single(plt, quantity, group, path)
        written.append(path)
    print("Plots written to %s (%d files)" % (folder, len(written)))
    return 0


if __name__ == "__main__":
    sys.exit(main())
