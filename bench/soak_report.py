#!/usr/bin/env python3
"""Writes the soak's report and plot from the soak driver's and the fuzzer's output.

    soak_report.py <soak folder> <SOAK.md> <plot.png>

The soak folder is what soak_driver.exe wrote (soak_summary.tsv,
soak_minutes.tsv, soak_resources.tsv, soak_deviations.tsv) plus what
run_soak.sh noted around it (started, loadavg_before, loadavg_after,
other_wineservers_before, other_wineservers_after, soak_seconds, driver_exit)
and, when the fuzz target ran, its logs (fuzz.log, fuzz-merge.log,
fuzz_seconds, fuzz_exit, fuzz_merge_exit, fuzz_corpus_before,
fuzz_corpus_after, fuzz_runs_asked, the folder fuzz-artifacts).
"""
import os
import platform
import re
import sys

from report_common import command_output, machine, markdown_table, read_text, read_tsv

import matplotlib

matplotlib.use("Agg")
import matplotlib.pyplot as plt  # noqa: E402  (the backend must be chosen first)
from matplotlib.ticker import MaxNLocator  # noqa: E402

# The goals of the soak.
OVERALL_TOLERANCE = 0.0001    # the whole run's rate within 0.01% of the schedule
MINUTE_TOLERANCE = 0.001      # no minute off by more than 0.1%
RSS_TOLERANCE = 0.01          # resident memory: within 1% counts as no growth
FUZZ_RUNS_GOAL = 100_000_000
ERROR_NOT_IMPLEMENTED = 120   # ERROR_CALL_NOT_IMPLEMENTED


def verdict(met):
    return "met" if met else "missed"


# ---- resources -----------------------------------------------------------------------

def gui_text(point):
    """What GetGuiResources gave at a sample point."""
    gdi, user, error = int(point["gdi_objects"]), int(point["user_objects"]), int(point["gui_error"])
    if gdi == 0 and user == 0 and error:
        reason = " (not implemented)" if error == ERROR_NOT_IMPLEMENTED else ""
        return f"0 / 0, error {error}{reason}"
    return f"{gdi} / {user}"


def compare_points(before, after, handles_counted):
    """(text, met) for no growth of the resources from one sample point to another.
    Handles count only where the platform counts them."""
    if before is None or after is None:
        return "not sampled", False
    rss_b, rss_a = int(before["rss_kb"]), int(after["rss_kb"])
    parts, met = [], True
    growth = (rss_a - rss_b) / rss_b if rss_b > 0 else 0.0
    parts.append(f"resident memory {rss_b} -> {rss_a} kB ({growth * 100:+.2f}%)")
    met = met and growth <= RSS_TOLERANCE
    for key, label in (("handles", "handles"), ("threads", "threads"),
                       ("linux_threads", "Linux threads")):
        b, a = int(before[key]), int(after[key])
        if key == "handles" and not handles_counted:
            parts.append("handles not counted by Wine")
            continue
        parts.append(f"{label} {b} -> {a}")
        met = met and a <= b
    gdi_b, user_b = int(before["gdi_objects"]), int(before["user_objects"])
    gdi_a, user_a = int(after["gdi_objects"]), int(after["user_objects"])
    if int(before["gui_error"]) or int(after["gui_error"]):
        parts.append("window-system objects not given by Wine")
    else:
        parts.append(f"GDI / USER objects {gdi_b} / {user_b} -> {gdi_a} / {user_a}")
        met = met and gdi_a <= gdi_b and user_a <= user_b
    return "; ".join(parts), met


# ---- the fuzz campaign --------------------------------------------------------------------

def fuzz_figures(folder):
    """The fuzz campaign's figures, or None when it did not run."""
    log = read_text(os.path.join(folder, "fuzz.log"), None)
    if log is None:
        return None
    f = {"log": log}
    for key in ("number_of_executed_units", "average_exec_per_sec", "new_units_added",
                "peak_rss_mb", "slowest_unit_time_sec"):
        m = re.search(rf"stat::{key}:\s*(\d+)", log)
        f[key] = int(m.group(1)) if m else None
    inited = re.search(r"INITED cov: (\d+) ft: (\d+)", log)
    done = None
    for m in re.finditer(r"#\d+\s+\w+\s+cov: (\d+) ft: (\d+)", log):
        done = m
    f["cov_start"], f["ft_start"] = (int(inited.group(1)), int(inited.group(2))) if inited else (None, None)
    f["cov_end"], f["ft_end"] = (int(done.group(1)), int(done.group(2))) if done else (None, None)
    merge = read_text(os.path.join(folder, "fuzz-merge.log"))
    m = re.search(r"MERGE-OUTER: (\d+) new files with (\d+) new features added; (\d+) new coverage edges",
                  merge)
    f["merged_files"], f["merged_features"], f["merged_edges"] = (
        (int(m.group(1)), int(m.group(2)), int(m.group(3))) if m else (None, None, None))
    f["seconds"] = read_text(os.path.join(folder, "fuzz_seconds"), "?")
    f["exit"] = read_text(os.path.join(folder, "fuzz_exit"), "?")
    f["merge_exit"] = read_text(os.path.join(folder, "fuzz_merge_exit"), "?")
    f["corpus_before"] = read_text(os.path.join(folder, "fuzz_corpus_before"), "?")
    f["corpus_after"] = read_text(os.path.join(folder, "fuzz_corpus_after"), "?")
    f["runs_asked"] = int(read_text(os.path.join(folder, "fuzz_runs_asked"), "0") or 0)
    artifacts = os.path.join(folder, "fuzz-artifacts")
    f["artifacts"] = sorted(os.listdir(artifacts)) if os.path.isdir(artifacts) else []
    f["errors"] = [line for line in log.splitlines()
                   if line.startswith(("==", "SUMMARY:", "rate_fuzz:")) or "ERROR" in line][:12]
    return f


def fuzz_section(f):
    out = ["## The rate language's fuzz target\n"]
    if f is None:
        out.append("The fuzz target did not run in this soak (`SOAK_FUZZ_RUNS=0`).\n")
        return out, []
    executed = f["number_of_executed_units"]
    out.append(
        "`tests/fuzz/rate_fuzz` (libFuzzer, with AddressSanitizer and UndefinedBehaviorSanitizer; "
        "built by the `fuzz` preset) ran from the committed corpus `tests/fuzz/corpus`, its new "
        "inputs kept apart, and then every input that adds coverage was merged into the corpus "
        "(`-merge=1`), to be committed with this report.\n")
    rows = [
        ("Executions", f"{executed:,}" if executed is not None else "? (see fuzz.log)"),
        ("Time", f"{f['seconds']} s" + (f", {f['average_exec_per_sec']:,} per second"
                                        if f["average_exec_per_sec"] else "")),
        ("Coverage at the start (the corpus): edges, features",
         f"{f['cov_start']}, {f['ft_start']}"),
        ("Coverage at the end: edges, features", f"{f['cov_end']}, {f['ft_end']}"),
        ("New inputs found in the run", f["new_units_added"]),
        ("Merged into the corpus: files, features, coverage edges",
         f"{f['merged_files']}, {f['merged_features']}, {f['merged_edges']}"),
        ("Corpus files before / after", f"{f['corpus_before']} / {f['corpus_after']}"),
        ("Peak memory (MB)", f["peak_rss_mb"]),
        ("Findings (crashes, leaks, timeouts, out of memory)",
         ", ".join(f["artifacts"]) if f["artifacts"] else "none"),
        ("Exit status of the run / of the merge", f"{f['exit']} / {f['merge_exit']}"),
    ]
    out.append(markdown_table(["", ""], rows))
    out.append("")
    if f["errors"]:
        out.append("What the fuzzer reported:\n")
        out.append("```")
        out += f["errors"]
        out.append("```\n")
    goals = [(f"At least {FUZZ_RUNS_GOAL:,} executions from the committed corpus",
              f"{executed:,}" if executed is not None else "?",
              verdict(executed is not None and executed >= FUZZ_RUNS_GOAL)),
             ("No finding", ", ".join(f["artifacts"]) or "none", verdict(not f["artifacts"] and f["exit"] == "0"))]
    return out, goals


# ---- the plot ----------------------------------------------------------------------

def plot(minutes, rate, path):
    fig, (top, bottom) = plt.subplots(2, 1, figsize=(9, 6), sharex=True)
    xs = [int(m["minute"]) for m in minutes]
    rates = [float(m["rate"]) for m in minutes]
    top.plot(xs, rates, marker="o", markersize=3, color="tab:blue", label="achieved in the minute")
    top.axhline(rate, color="black", linewidth=0.8, label=f"scheduled ({rate:g}/s)")
    top.axhspan(rate * (1 - MINUTE_TOLERANCE), rate * (1 + MINUTE_TOLERANCE), color="tab:green",
                alpha=0.15, label="within 0.1%")
    top.set_ylabel("presses per second")
    top.legend(fontsize=8)
    top.set_title("Achieved rate per minute", fontsize=10)
    bottom.plot(xs, [int(m["rss_kb"]) / 1024 for m in minutes], marker="o", markersize=3,
                color="tab:orange")
    bottom.set_ylabel("resident memory (MB)")
    bottom.set_xlabel("minute of the run")
    bottom.xaxis.set_major_locator(MaxNLocator(integer=True))
    bottom.set_title("rivanta.exe's resident memory at each minute's end", fontsize=10)
    fig.suptitle("Soak under Wine: rivanta.exe at 1000 per second", fontsize=11)
    fig.tight_layout()
    fig.savefig(path, dpi=90)


# ---- the report ----------------------------------------------------------------------

def main(argv):
    if len(argv) != 4:
        print(__doc__, file=sys.stderr)
        return 2
    folder, report_path, plot_path = argv[1:]
    summary = {row["name"]: row["value"] for row in read_tsv(os.path.join(folder, "soak_summary.tsv"))}
    minutes = read_tsv(os.path.join(folder, "soak_minutes.tsv"))
    points = {row["point"]: row for row in read_tsv(os.path.join(folder, "soak_resources.tsv"))}
    histogram = read_tsv(os.path.join(folder, "soak_deviations.tsv"))
    model, cores = machine()
    load_before = read_text(os.path.join(folder, "loadavg_before")).split()
    load_after = read_text(os.path.join(folder, "loadavg_after")).split()
    others = (read_text(os.path.join(folder, "other_wineservers_before"), "?") + " / " +
              read_text(os.path.join(folder, "other_wineservers_after"), "?"))
    rate = 1e6 / float(summary["period_us"])
    n_minutes = int(summary["minutes"])

    def value(key, cast=float):
        return cast(summary[key])

    out = ["# Soak\n"]
    out.append(f"Written by `bench/run_soak.sh` (which `./dev.sh soak` runs) from a soak begun "
               f"{read_text(os.path.join(folder, 'started'), '?')}: {n_minutes} minutes at "
               f"{rate:g} per second, then {value('cycles', int):,} starts and stops by F6 "
               f"({read_text(os.path.join(folder, 'soak_seconds'), '?')} s under Wine).\n")
    mean_load = (sum(float(m["load"]) for m in minutes) / len(minutes)) if minutes else float("nan")
    out.append(markdown_table(["", ""], [
        ("Machine", f"{model}, {cores} cores"),
        ("Kernel", platform.release()),
        ("Wine", command_output(["wine", "--version"])),
        ("Load average before / after (1, 5, 15 min)",
         f"{' '.join(load_before[:3])} / {' '.join(load_after[:3])}"),
        ("Load average over the long run (mean of the minutes' 1-minute figures)",
         f"{mean_load:.2f}"),
        ("Wine servers of other prefixes (other Wine programs) at the start / end", others),
    ]))
    out.append("")
    out.append(
        "**Under Wine, not Windows**: `Sleep` wakes within a fraction of a millisecond here and "
        "the program shares the cores with the X server, the Wine server and the driver with "
        "its recorder window (the application in front). How each figure is taken is the "
        "pacing benchmark's (bench/REPORT.md): presses are the recorder's stamps of Space, "
        "restarts and the longest stall are found from them as there, and the deviation of "
        "each press is taken from its segment's schedule at the scheduled period.\n")

    # ---- goals
    overall = value("rate_ratio")
    worst_minute = max(minutes, key=lambda m: abs(float(m["rate"]) / rate - 1)) if minutes else None
    worst_error = abs(float(worst_minute["rate"]) / rate - 1) if worst_minute else float("nan")
    unreleased = value("unreleased", int) + value("stray_releases", int)
    cycles_unreleased = value("cycles_unreleased", int)
    # Both while running: the sample after the warm-up and the last minute's.
    warm = points.get("after the warm-up")
    end = minutes[-1] if minutes else None
    first_short = points.get("after the first short run")
    last_short = points.get("after the last short run")
    # GetProcessHandleCount, asked by the driver about itself before and after
    # it opened a few handles: a count that did not move means the platform
    # does not count them (Wine gives 0 for every process).
    handles_counted = (value("handle_probe_after", int) - value("handle_probe_before", int) ==
                       value("handle_probe_opened", int))
    long_growth, long_met = compare_points(warm, end, handles_counted)
    short_growth, short_met = compare_points(first_short, last_short, handles_counted)
    goals = [
        ("Achieved rate within 0.01% of the schedule over the whole run",
         f"{value('achieved_rate'):.4f}/s, {(overall - 1) * 100:+.4f}%",
         verdict(abs(overall - 1) <= OVERALL_TOLERANCE)),
        ("No minute off by more than 0.1%",
         f"worst: minute {worst_minute['minute']}, {worst_minute['rate']}/s, "
         f"{(float(worst_minute['rate']) / rate - 1) * 100:+.3f}%" if worst_minute else "no minute",
         verdict(worst_minute is not None and worst_error <= MINUTE_TOLERANCE)),
        ("Restarts of the schedule per hour (reported)",
         f"{value('restarts_per_hour'):.1f} ({value('restarts', int)} in the run; longest stall "
         f"{value('longest_gap_ms'):.2f} ms)", "-"),
        ("Every press released, in the long run and in every short run",
         f"long run: {value('presses', int):,} presses, {value('releases', int):,} releases, "
         f"{unreleased} unreleased or stray; short runs: {cycles_unreleased} of "
         f"{value('cycles', int):,} with a press unreleased",
         verdict(unreleased == 0 and cycles_unreleased == 0 and value('cycles', int) > 0)),
        ("No growth of the resources after the warm-up, to the last minute of the long run "
         "(resident memory within 1%)",
         long_growth, verdict(long_met)),
        ("After the last short run the same as after the first", short_growth, verdict(short_met)),
    ]
    fuzz = fuzz_figures(folder)
    fuzz_out, fuzz_goals = fuzz_section(fuzz)
    out.append("## Goals\n")
    out.append(markdown_table(["Goal", "Measured", "Verdict"], goals + fuzz_goals))
    out.append("")
    failures = value("failures", int)
    if failures or read_text(os.path.join(folder, "driver_exit"), "0") != "0":
        out.append(f"**The driver reported {failures} failed check(s)**; its output says which.\n")

    # ---- the long run
    out.append("## The long run\n")
    out.append(markdown_table(["Figure", "Value"], [
        ("Presses (the program counted)", f"{value('presses', int):,} ({value('sent', int):,})"),
        ("Run length, first to last press after the start (s)", f"{value('seconds'):.3f}"),
        ("Achieved rate (per second) / scheduled", f"{value('achieved_rate'):.5f} / {rate:g}"),
        ("Restarts / per hour", f"{value('restarts', int)} / {value('restarts_per_hour'):.1f}"),
        ("Longest stall (ms)", f"{value('longest_gap_ms'):.2f}"),
        ("Press deviation p50 / p99 / max (us)",
         f"{value('press_p50_us'):.1f} / {value('press_p99_us'):.1f} / {value('press_max_us'):.1f}"),
        ("Presses the recorder dropped / the driver could not keep",
         f"{value('recorder_dropped', int)} / {value('presses_not_stored', int)}"),
    ]))
    out.append("")
    out.append("### Per minute\n")
    out.append(f"![Achieved rate and resident memory per minute]({os.path.basename(plot_path)})\n")
    rows = []
    for m in minutes:
        r = float(m["rate"])
        rows.append((m["minute"], m["presses"], m["rate"], f"{(r / rate - 1) * 100:+.3f}",
                     m["restarts"], m["longest_gap_ms"], m["cpu_percent"], m["rss_kb"],
                     m["handles"], m["threads"], m["linux_threads"], m["load"]))
    out.append(markdown_table(["Minute", "Presses", "Rate (/s)", "Off (%)", "Restarts",
                               "Longest stall (ms)", "CPU (% of a core)", "Resident (kB)",
                               "Handles", "Threads", "Linux threads", "Load"], rows))
    out.append("")
    if histogram:
        total = sum(int(h["presses"]) for h in histogram)
        rows = []
        for limit in (50, 100, 200, 500, 1000, 5000):
            within = sum(int(h["presses"]) for h in histogram if float(h["from_us"]) < limit)
            rows.append((f"{limit}", f"{within:,}", f"{within * 100 / total:.3f}"))
        out.append("Presses by deviation from their segment's schedule (from the driver's "
                   "histogram of 10 us bins, soak_deviations.tsv):\n")
        out.append(markdown_table(["Within (us)", "Presses", "Share (%)"], rows))
        out.append("")

    # ---- resources
    out.append("## The program's resources\n")
    out.append(
        "Resident memory and Linux threads from `/proc/<pid>/status` of the Wine process that "
        "runs `rivanta.exe`; handles from `GetProcessHandleCount` and threads from a Toolhelp "
        "snapshot, both on Windows' side, with a handle that has `PROCESS_QUERY_INFORMATION`; "
        "window-system objects from `GetGuiResources` (GDI / USER).\n")
    rows = []
    for name, p in points.items():
        rows.append((name, f"{float(p['seconds']):.0f}", p["rss_kb"], p["handles"], p["threads"],
                     p["linux_threads"], gui_text(p), f"{float(p['cpu_s']):.1f}"))
    out.append(markdown_table(["When", "Seconds since start", "Resident (kB)", "Handles",
                               "Threads", "Linux threads", "GDI / USER objects", "CPU so far (s)"],
                              rows))
    out.append("")
    if not handles_counted:
        out.append(f"`GetProcessHandleCount` succeeds under Wine but does not count: asked about "
                   f"itself, the driver got {value('handle_probe_before', int)} before and "
                   f"{value('handle_probe_after', int)} after opening "
                   f"{value('handle_probe_opened', int)} handles. The handle counts above are "
                   f"therefore Wine's 0, not the program's; on Windows they are real.\n")
    if any(int(p["gui_error"]) for p in points.values()):
        out.append("`GetGuiResources` gives 0 under Wine and sets the error shown: Wine does not "
                   "count a process's GDI and USER objects, so they cannot be followed here.\n")

    # ---- short runs
    out.append("## Starts and stops by F6\n")
    out.append(
        "Each short run: F6 with the recorder in front, its first press awaited, a hold of 0 to "
        "20 ms, F6 again, and the status line \"Stopped by F6.\" awaited; then every press of "
        "the run must have been released.\n")
    out.append(markdown_table(["Figure", "Value"], [
        ("Short runs done / asked", f"{value('cycles', int):,} / {value('cycles_asked', int):,}"),
        ("Presses in them", f"{value('cycle_presses', int):,}"),
        ("Runs that left a press unreleased", value("cycles_unreleased", int)),
        ("Presses lost / doubled against the program's count",
         f"{value('cycle_lost', int)} / {value('cycle_doubled', int)}"),
    ]))
    out.append("")

    out += fuzz_out
    plot(minutes, rate, plot_path)
    with open(report_path, "w") as f:
        f.write("\n".join(out))
    print(f"wrote {report_path} and {plot_path}")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
