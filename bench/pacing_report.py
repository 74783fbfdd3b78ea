#!/usr/bin/env python3
"""Writes the pacing benchmark's report and plot from the driver's figures.

    pacing_report.py <results folder> <REPORT.md> <plot.png>

The results folder is what pacing_driver.exe wrote (pacing_results.tsv,
pacing_cpu.tsv, pacing_platform.tsv, deviations_<program>_<variant>_<load>_
<rate>_<round>.txt) plus what run_pacing_bench.sh noted around the run
(loadavg_before, loadavg_after, other_wineservers_before,
other_wineservers_after, scheduling_limits, wall_seconds).

Every figure is given as the median of the rounds with their range. Two
sections of an existing report are carried over when it is rewritten: the
timer model's (bench/pacing_timer_model.cpp writes it) and the decision on
the worker's priority (written by hand after a full run on a quiet machine).
"""
import datetime
import os
import platform
import statistics
import sys

from report_common import command_output, machine, markdown_table, read_text, read_tsv

import matplotlib

matplotlib.use("Agg")
import matplotlib.pyplot as plt  # noqa: E402  (the backend must be chosen first)
from matplotlib.ticker import FormatStrFormatter, NullFormatter  # noqa: E402

OURS, BASE = "rivanta", "baseline"
DEFAULT, NO_LOAD, SPIN = "default", "none", "spin"
NO_PRIORITY = -99  # the driver's mark for a priority it could not read

# The goals the figures are held against, each on the median of the rounds.
RATE_TOLERANCE = 0.001            # achieved within 0.1% of scheduled
P99_LIMITS_US = {1000.0: 200.0, 20.0: 100.0}
NO_RESTART_RATE = 1000.0
P99_FACTOR = 10.0                 # times smaller than the baseline's, at P99_FACTOR_FROM and above
P99_FACTOR_FROM = 100.0
STOP_LIMIT_MS = 30.0
PAUSED_LIMIT_PERCENT = 1.0

VARIANT_TEXT = {
    DEFAULT: "default (the program as shipped)",
    "above_normal": "`THREAD_PRIORITY_ABOVE_NORMAL`",
    "highest": "`THREAD_PRIORITY_HIGHEST`",
    "time_critical": "`THREAD_PRIORITY_TIME_CRITICAL`",
    "mmcss_games": "`AvSetMmThreadCharacteristics(\"Games\")`",
}
POLICY_TEXT = {0: "SCHED_OTHER", 1: "SCHED_FIFO", 2: "SCHED_RR", 3: "SCHED_BATCH", 5: "SCHED_IDLE"}

# The sections carried over from the report being rewritten, between these markers.
MODEL_BEGIN = "<!-- pacing timer model: begin -->"
MODEL_END = "<!-- pacing timer model: end -->"
DECISION_BEGIN = "<!-- worker priority decision: begin -->"
DECISION_END = "<!-- worker priority decision: end -->"
DECISION_PLACEHOLDER = (
    "**Decision: not taken yet.** It is written here by hand after a full run of "
    "`./dev.sh bench` on a quiet machine, from the table above and the evidence on Wine's "
    "scheduling; this section is kept when the report is rewritten.")


# ---- reading ------------------------------------------------------------------

def num(row, key):
    return float(row[key])


def load_runs(folder):
    """{(program, variant, load, rate): [row of each round, in round order]}."""
    runs = {}
    for row in read_tsv(os.path.join(folder, "pacing_results.tsv")):
        key = (row["program"], row["variant"], row["load"], float(row["rate"]))
        runs.setdefault(key, []).append(row)
    for rows in runs.values():
        rows.sort(key=lambda r: int(r["round"]))
    return runs


def deviations(folder, row):
    name = (f"deviations_{row['program']}_{row['variant']}_{row['load']}_"
            f"{float(row['rate']):g}_{row['round']}.txt")
    with open(os.path.join(folder, name)) as f:
        return [float(line) for line in f if line.strip()]


def read_cpu(folder):
    """{phase: (percent of a core, seconds measured)} for idle and paused."""
    return {row["phase"]: (float(row["cpu_percent"]), row["seconds"])
            for row in read_tsv(os.path.join(folder, "pacing_cpu.tsv"))}


def marked_section(report_path, begin_marker, end_marker):
    """The marked section of the report as it stands, markers included, or ""."""
    text = read_text(report_path)
    begin = text.find(begin_marker)
    end = text.find(end_marker, begin) if begin >= 0 else -1
    if begin < 0 or end < 0:
        return ""
    return text[begin:end + len(end_marker)] + "\n"


# ---- medians and ranges --------------------------------------------------------

def values(rows, key):
    return [num(r, key) for r in rows]


def median(rows, key):
    return statistics.median(values(rows, key))


def fmt(value, digits=1):
    return f"{value:.{digits}f}"


def spread_text(rows, key, digits=1):
    """The median of the rounds and, with more than one, their range."""
    vals = values(rows, key)
    text = fmt(statistics.median(vals), digits)
    if len(vals) > 1:
        text += f" ({fmt(min(vals), digits)} to {fmt(max(vals), digits)})"
    return text


def ratio(ours, base, digits=3):
    if base == 0:
        return "-" if ours == 0 else "inf"
    return f"{ours / base:.{digits}g}"


def released_text(rows):
    bad = [r for r in rows if not (r["unreleased"] == "0" and r["stray_releases"] == "0"
                                   and r["presses"] == r["releases"])]
    if not bad:
        return "yes, every round"
    return "; ".join(f"round {r['round']}: {r['unreleased']} unreleased, "
                     f"{r['stray_releases']} stray releases" for r in bad)


def restarts_text(rows):
    if num(rows[0], "restarts") < 0:
        return "- (no schedule)"
    counts = ", ".join(r["restarts"] for r in rows)
    return f"{spread_text(rows, 'restarts_per_10k', 2)} [{counts} in all]"


def per_round(rows, key, digits=1):
    return ", ".join(fmt(num(r, key), digits) for r in rows)


# ---- the tables -----------------------------------------------------------------

def rate_table(ours, base):
    """The rows of one rate's table: figure, ours, baseline, ratio of the medians."""
    rows = []

    def add(label, key, digits=1, with_ratio=True):
        rows.append((label, spread_text(ours, key, digits), spread_text(base, key, digits),
                     ratio(median(ours, key), median(base, key)) if with_ratio else ""))

    add("Presses recorded", "presses", 0, with_ratio=False)
    add("Run length, first to last press (s)", "seconds", 2, with_ratio=False)
    add("Achieved rate, per second", "achieved_rate", 4)
    add("Achieved / scheduled", "rate_ratio", 6, with_ratio=False)
    rows.append(("Restarts of the schedule per 10,000 presses [restarts per round]",
                 restarts_text(ours), restarts_text(base), ""))
    add("Longest stall between two presses (ms)", "longest_gap_ms", 2)
    add("Press deviation, mean abs (us)", "press_mean_us")
    add("Press deviation, p50 (us)", "press_p50_us")
    add("Press deviation, p99 (us)", "press_p99_us")
    add("Press deviation, max (us)", "press_max_us")
    add("Against one schedule for the whole run, p99 (us)", "period_p99_us")
    add("Against one schedule for the whole run, max (us)", "period_max_us")
    add("Presses at the start (the first and its catch-up)", "start_presses", 0, with_ratio=False)
    add("First press against the schedule (us)", "first_press_us", with_ratio=False)
    add("Hold deviation, mean abs (us)", "hold_mean_us")
    add("Hold deviation, p99 (us)", "hold_p99_us")
    add("Hold deviation, max (us)", "hold_max_us")
    rows.append(("Presses lost / doubled, per round",
                 ", ".join(f"{r['lost']} / {r['doubled']}" for r in ours),
                 ", ".join(f"{r['lost']} / {r['doubled']}" for r in base), ""))
    rows.append(("Every press released", released_text(ours), released_text(base), ""))
    add("Stop sent -> last release (ms)", "stop_release_ms", 2)
    rows.append(("F8 -> \"Stopped by F8.\" shown (ms)", spread_text(ours, "stop_text_ms", 2), "-", ""))
    add("Presses arriving after the stop was sent", "presses_after_stop", 0, with_ratio=False)
    add("Presses delivered more than 1 ms after they were sent", "slow_deliveries", 0,
        with_ratio=False)
    add("Longest delivery, sent to stamped (ms, within 1 ms)", "max_delivery_ms", 2,
        with_ratio=False)
    add("CPU while running (% of a core)", "cpu_percent")
    return rows


def load_table(runs, rate):
    """The load case at one rate: each figure without and with the spinning process."""
    cols = [runs.get((OURS, DEFAULT, NO_LOAD, rate)), runs.get((OURS, DEFAULT, SPIN, rate)),
            runs.get((BASE, "-", NO_LOAD, rate)), runs.get((BASE, "-", SPIN, rate))]
    if any(c is None for c in cols):
        return None
    figures = [
        ("Achieved / scheduled", "rate_ratio", 6),
        ("Restarts per 10,000 presses", "restarts_per_10k", 2),
        ("Longest stall (ms)", "longest_gap_ms", 2),
        ("Press deviation, p50 (us)", "press_p50_us", 1),
        ("Press deviation, p99 (us)", "press_p99_us", 1),
        ("Press deviation, max (us)", "press_max_us", 1),
        ("Hold deviation, p99 (us)", "hold_p99_us", 1),
        ("Stop sent -> last release (ms)", "stop_release_ms", 2),
        ("Presses delivered more than 1 ms late", "slow_deliveries", 0),
        ("CPU of the sender (% of a core)", "cpu_percent", 1),
        ("CPU of the spinning process (% of a core)", "spinner_cpu_percent", 1),
    ]
    rows = []
    for label, key, digits in figures:
        cells = []
        for c in cols:
            if key == "restarts_per_10k" and num(c[0], key) < 0:
                cells.append("-")
            elif key == "spinner_cpu_percent" and num(c[0], key) < 0:
                cells.append("-")
            else:
                cells.append(spread_text(c, key, digits))
        rows.append([label] + cells)
    return rows


def priority_rows(runs, variants, rates):
    rows = []
    for rate in rates:
        for load in (NO_LOAD, SPIN):
            for v in variants:
                r = runs.get((OURS, v, load, rate))
                if not r:
                    continue
                rows.append((f"{rate:g}/s", load, VARIANT_TEXT.get(v, v),
                             spread_text(r, "rate_ratio", 5),
                             restarts_text(r),
                             spread_text(r, "press_p99_us"),
                             spread_text(r, "press_max_us"),
                             spread_text(r, "longest_gap_ms", 2),
                             spread_text(r, "cpu_percent"),
                             spread_text(r, "worker_cpu_percent"),
                             spread_text(r, "spinner_cpu_percent") if load == SPIN else "-",
                             spread_text(r, "slow_deliveries", 0),
                             spread_text(r, "stop_release_ms", 2)))
    return rows


def scheduling_rows(runs, variants, rates):
    """Per build: what Windows' side reports for the worker, and what Linux does with it."""
    rows = []
    for v in variants:
        # The busiest thread is the worker only where the worker spins.
        sample = [r for rate in rates for load in (NO_LOAD, SPIN)
                  for r in runs.get((OURS, v, load, rate), [])]
        if not sample:
            continue
        win = sorted({int(r["worker_win_priority"]) for r in sample})
        nice = sorted({int(r["worker_nice"]) for r in sample})
        policy = sorted({int(r["worker_policy"]) for r in sample})
        rt = sorted({int(r["worker_rt_priority"]) for r in sample})
        rows.append((VARIANT_TEXT.get(v, v),
                     ", ".join("?" if p == NO_PRIORITY else str(p) for p in win),
                     ", ".join(str(n) for n in nice),
                     ", ".join(POLICY_TEXT.get(p, str(p)) for p in policy),
                     ", ".join(str(p) for p in rt),
                     spread_text(sample, "worker_cpu_percent")))
    return rows


def wine_maps_priorities(runs, variants, rates):
    """None without evidence; else whether any worker ran at other than nice 0, SCHED_OTHER."""
    sample = [r for v in variants for rate in rates for load in (NO_LOAD, SPIN)
              for r in runs.get((OURS, v, load, rate), []) if int(r["worker_nice"]) != NO_PRIORITY]
    if not sample:
        return None
    return any(int(r["worker_nice"]) != 0 or int(r["worker_policy"]) != 0 for r in sample)


# ---- the goals ------------------------------------------------------------------------

def goals(runs, rates, cpu, load_before):
    """(goal, measured, verdict) rows and notes on every goal missed."""
    rows, notes = [], []

    def ours(rate):
        return runs[(OURS, DEFAULT, NO_LOAD, rate)]

    def base(rate):
        return runs[(BASE, "-", NO_LOAD, rate)]

    def why_late(rows_):
        restarts = ", ".join(r["restarts"] for r in rows_)
        stalls = per_round(rows_, "longest_gap_ms", 2)
        slow = ", ".join(r["slow_deliveries"] for r in rows_)
        return (f"restarts per round {restarts}; longest stalls {stalls} ms; presses delivered "
                f"more than 1 ms late {slow}; load average {load_before} before the run. The "
                f"worker spins only for the last 0.2 ms before a deadline and yields the core "
                f"before that, so a press is late whenever another thread has the core at the "
                f"deadline; here the X server, the Wine server, the recorder and the driver "
                f"share {machine()[1]} cores with it")

    worst = max(rates, key=lambda r: abs(median(ours(r), "rate_ratio") - 1))
    err = abs(median(ours(worst), "rate_ratio") - 1)
    met = err <= RATE_TOLERANCE
    rows.append(("Achieved rate within 0.1% of scheduled, every rate",
                 f"largest error {err * 100:.4f}% (at {worst:g}/s)", "met" if met else "missed"))
    if not met:
        notes.append(f"The rate at {worst:g}/s is off by {err * 100:.4f}% (median), "
                     f"{(err - RATE_TOLERANCE) * 100:.4f} points beyond the goal: each restart "
                     f"drops the slots of the stall that caused it; {why_late(ours(worst))}.")

    if NO_RESTART_RATE in rates:
        r = ours(NO_RESTART_RATE)
        restarts = median(r, "restarts")
        met = restarts == 0
        rows.append((f"No restart of the schedule at {NO_RESTART_RATE:g}/s",
                     f"median {restarts:g} (per round: {', '.join(x['restarts'] for x in r)})",
                     "met" if met else "missed"))
        if not met:
            notes.append(f"At {NO_RESTART_RATE:g}/s the worker fell more than four periods behind "
                         f"and restarted its schedule: {why_late(r)}.")

    for rate, limit in sorted(P99_LIMITS_US.items()):
        if rate not in rates:
            continue
        p99 = median(ours(rate), "press_p99_us")
        met = p99 <= limit
        rows.append((f"p99 press deviation at most {limit:.0f} us at {rate:g}/s",
                     f"{p99:.1f} us (per round: {per_round(ours(rate), 'press_p99_us')})",
                     "met" if met else "missed"))
        if not met:
            notes.append(f"At {rate:g}/s the p99 is {p99:.1f} us (median), {p99 - limit:.1f} us "
                         f"over the goal: {why_late(ours(rate))}.")

    for rate in [r for r in rates if r >= P99_FACTOR_FROM]:
        o, b = median(ours(rate), "press_p99_us"), median(base(rate), "press_p99_us")
        factor = b / o if o > 0 else float("inf")
        met = factor >= P99_FACTOR
        rows.append((f"p99 press deviation at least {P99_FACTOR:.0f}x smaller than the sleep "
                     f"loop's at {rate:g}/s", f"{o:.1f} us vs {b:.1f} us: {factor:.1f}x",
                     "met" if met else "missed"))
        if not met:
            notes.append(
                f"At {rate:g}/s ours is {factor:.1f}x smaller, short of {P99_FACTOR:.0f}x. The sleep "
                f"loop's deviations are taken from the schedule fitted to its own run, which "
                f"absorbs its rate error (it achieved {median(base(rate), 'rate_ratio') * 100:.2f}% "
                f"of its rate); what remains is the jitter of its sleeps, which under Wine are "
                f"accurate to a fraction of a millisecond. On Windows, Sleep wakes on whole timer "
                f"ticks, so the loop's jitter, and this ratio, would be far larger.")

    worst = max(rates, key=lambda r: median(ours(r), "stop_release_ms"))
    stop = median(ours(worst), "stop_release_ms")
    met = stop < STOP_LIMIT_MS
    rows.append((f"Stop latency under {STOP_LIMIT_MS:.0f} ms, F8 -> last release",
                 f"largest median {stop:.2f} ms (at {worst:g}/s)", "met" if met else "missed"))
    if not met:
        notes.append(f"At {worst:g}/s the last release came {stop:.2f} ms after F8 (median), "
                     f"{stop - STOP_LIMIT_MS:.2f} ms over the goal. The worker looks at the stop "
                     f"flag between sleeps of at most 20 ms, so F8's delivery and the window "
                     f"thread's stop add to up to 20 ms.")

    idle, idle_s = cpu["idle"]
    rows.append(("CPU zero while idle", f"{idle:.2f}% of a core over {idle_s} s",
                 "met" if idle == 0 else "missed"))
    if idle != 0:
        notes.append(f"Idle, rivanta.exe used {idle:.2f}% of a core; one 10 ms clock tick that "
                     f"Linux counts over {idle_s} s is {1 / float(idle_s):.2f}%.")
    paused, paused_s = cpu["paused"]
    met = paused < PAUSED_LIMIT_PERCENT
    rows.append(("CPU under 1% of a core while paused", f"{paused:.2f}% over {paused_s} s",
                 "met" if met else "missed"))
    if not met:
        notes.append(f"Paused, rivanta.exe used {paused:.2f}% of a core, "
                     f"{paused - PAUSED_LIMIT_PERCENT:.2f} points over the goal.")
    running = ", ".join(f"{r:g}/s {median(ours(r), 'cpu_percent'):.1f}%" for r in rates)
    rows.append(("CPU while running (reported; about one core at 333/s and above by design)",
                 running, "-"))
    return rows, notes


# ---- the plot ------------------------------------------------------------------------

def plot(folder, runs, rates, path):
    fig, axes = plt.subplots(len(rates), 1, figsize=(9, 2.6 * len(rates)), squeeze=False)
    for ax, rate in zip(axes[:, 0], rates):
        ours = [d for r in runs[(OURS, DEFAULT, NO_LOAD, rate)] for d in deviations(folder, r)]
        base = [d for r in runs[(BASE, "-", NO_LOAD, rate)] for d in deviations(folder, r)]
        both = sorted(abs(d) for d in ours + base) or [0.0]
        # The range holds 99.9% of both programs' presses; the rest are counted
        # in the legend rather than stretching the axis.
        limit = max(both[min(len(both) - 1, int(len(both) * 0.999))], 10.0)
        bins = [-limit + 2 * limit * i / 80 for i in range(81)]
        for data, label, colour in ((ours, "rivanta.exe", "tab:blue"),
                                    (base, "sleep loop", "tab:orange")):
            outside = sum(1 for d in data if abs(d) > limit)
            inside = [d for d in data if abs(d) <= limit]
            text = f"{label} ({len(data)} presses" + (
                f", {outside} beyond +/-{limit:.0f} us)" if outside else ")")
            ax.hist(inside, bins=bins, alpha=0.6, label=text, color=colour)
        ax.set_yscale("log")
        ax.yaxis.set_major_formatter(FormatStrFormatter("%d"))
        ax.yaxis.set_minor_formatter(NullFormatter())
        period = int(num(runs[(OURS, DEFAULT, NO_LOAD, rate)][0], "period_us"))
        ax.set_title(f"{rate:g} per second (period {period} us), all rounds", fontsize=10)
        ax.set_ylabel("presses")
        ax.legend(fontsize=8)
    axes[-1, 0].set_xlabel("deviation of each press from its sender's own schedule (us)")
    fig.suptitle("Press timing under Wine: rivanta.exe against a plain Sleep loop", fontsize=11)
    fig.tight_layout()
    fig.savefig(path, dpi=90)


# ---- the report ------------------------------------------------------------------------

def main(argv):
    if len(argv) != 4:
        print(__doc__, file=sys.stderr)
        return 2
    folder, report_path, plot_path = argv[1:]
    runs = load_runs(folder)
    rates = sorted(rate for (p, v, l, rate) in runs if (p, v, l) == (OURS, DEFAULT, NO_LOAD)
                   and (BASE, "-", NO_LOAD, rate) in runs)
    load_rates = sorted(rate for (p, v, l, rate) in runs if (p, v, l) == (OURS, DEFAULT, SPIN))
    variants = [DEFAULT] + sorted({v for (p, v, _, _) in runs if p == OURS and v != DEFAULT})
    priority_rates = sorted({rate for (p, v, _, rate) in runs if p == OURS and v != DEFAULT}) or \
        load_rates
    rounds = max(int(r["round"]) for rows in runs.values() for r in rows)
    cpu = read_cpu(folder)
    platform_row = read_tsv(os.path.join(folder, "pacing_platform.tsv"))[0]
    limits = dict(line.split("\t", 1) for line in
                  read_text(os.path.join(folder, "scheduling_limits")).splitlines() if "\t" in line)
    model, cores = machine()
    load = read_text(os.path.join(folder, "loadavg_before")).split()
    load_after = read_text(os.path.join(folder, "loadavg_after")).split()
    others = (read_text(os.path.join(folder, "other_wineservers_before"), "?") + " / " +
              read_text(os.path.join(folder, "other_wineservers_after"), "?"))
    wall = read_text(os.path.join(folder, "wall_seconds"), "?")
    wine = limits.get("wine") or command_output(["wine", "--version"])
    # The run's date: when the driver last wrote its figures.
    ran = datetime.datetime.fromtimestamp(
        os.path.getmtime(os.path.join(folder, "pacing_results.tsv")), datetime.timezone.utc
    ).strftime("%Y-%m-%d %H:%M UTC")

    out = []
    out.append("# Pacing benchmark\n")
    out.append(f"Written by `bench/run_pacing_bench.sh` (which `./dev.sh bench` runs) from a run "
               f"on {ran}: {rounds} rounds, {wall} s under Wine. Every figure is the median of "
               f"the rounds, with the lowest and highest round in brackets.\n")
    out.append(markdown_table(["", ""], [
        ("Machine", f"{model}, {cores} cores"),
        ("Kernel", platform.release()),
        ("Wine", wine),
        ("Load average before / after the run (1, 5, 15 min)",
         f"{' '.join(load[:3])} / {' '.join(load_after[:3])}"),
        ("Wine servers of other prefixes (other Wine programs) at the start / end", others),
        ("User, RLIMIT_NICE, RLIMIT_RTPRIO", f"{limits.get('user', '?')}, "
         f"{limits.get('rlimit_nice', '?')}, {limits.get('rlimit_rtprio', '?')}"),
    ]))
    out.append("")
    out.append(
        "**Read these figures as Wine's, not Windows'.** Under Wine `timeBeginPeriod` does "
        "nothing and `Sleep` wakes within a fraction of a millisecond, while Windows sleeps in "
        "whole timer ticks (1 ms at best, with `timeBeginPeriod(1)`). The absolute figures here "
        "are therefore better than a Windows machine would give, for both programs; the "
        "comparison between them stands, and on Windows it would tilt further towards "
        "rivanta.exe, whose waits end in a spin on the performance counter rather than in a "
        "sleep.\n")
    out.append("## How it is measured\n")
    out.append(
        "The driver (`bench/pacing_driver.cpp`) starts the real `rivanta.exe` in a fresh Wine "
        "prefix with a virtual desktop and uses it as a user would: it types the rate into the "
        "per-second box, brings the recorder window (from the end-to-end tests) to the front, "
        "presses F6 with `SendInput`, lets the run go on for 200 presses (at least 4 s, at most "
        "6 s, so the 1 per second run has only a few presses and its p99 is its maximum), "
        "and presses F8 right after a press has arrived, so that the stop falls inside a hold "
        "and the release must come from the stop. The recorder stamps every key message with "
        "the performance counter. The baseline (`bench/sleep_loop_baseline.cpp`) is the plain "
        "loop press, `Sleep(hold)`, release, `Sleep(period - hold)` with `timeBeginPeriod(1)`, "
        "the same Schedule rounded to whole milliseconds, started as a process of its own and "
        "stopped by an event set right after a press. Every rate runs once in each round, each "
        "round with a fresh copy of the program, and the builds compared below run in every "
        "round too, so that a change of the machine's load falls on all of them alike.\n")
    out.append(
        "- *Restarts*: the worker drops a backlog of more than four periods and restarts its "
        "schedule from the late moment (`next_deadline`). Against the grid of whole periods "
        "through the earliest press so far, a worker that has not restarted comes back to "
        "within four periods once its backlog is worked off, while after a restart every later "
        "press stays more than four periods behind; a segment therefore begins at the press "
        "from which on every press lies more than four periods behind the grid of the presses "
        "before it (`split_at_restarts` in `bench/pacing_stats.cpp`, checked against the "
        "worker's own cycle on a simulated clock). A gap of more than 4.5 periods between two "
        "presses does not tell: after a press on time, a stall of 4.5 to 5 periods is worked "
        "off without a restart. Given per 10,000 presses after the start, with the count of "
        "each round. The sleep loop has no schedule to restart.\n"
        "- *Longest stall*: the longest time between two presses after the start.\n"
        "- *Press deviation*: each press's stamp minus its sender's own schedule, taken by "
        "absolute value; percentiles are nearest-rank. For rivanta.exe the schedule is whole "
        "scheduled periods from an offset fitted by least squares to each segment, so that a "
        "stall costs its own presses and not every press after it; the sleep loop has no "
        "schedule but its cadence, so its presses are held against the evenly spaced schedule "
        "fitted to its run (period and offset), which absorbs its rate error. *Against one "
        "schedule for the whole run*: at the scheduled period, one offset, as a single fit "
        "would measure it: every restart and every drift shows there. The first press of a "
        "run goes out as the sender starts, and its lateness is the cost of starting rather "
        "than the cadence; when it is late by more than a period, the presses right after it "
        "go out back to back (less than half a period apart) to catch up. The figures are "
        "taken after that start, and the first press is shown apart.\n"
        "- *Achieved rate*: presses after the start, less one, over the time from the first of "
        "them to the last; *scheduled*: 1 / `period_us`. A restart drops the slots of its "
        "stall, so restarts lower it.\n"
        "- *Hold deviation*: release minus press, minus `hold_us`, for the pairs after the "
        "start up to the last one released before the stop (the stop cuts the hold it falls "
        "in).\n"
        "- *Lost / doubled*: the program's own count (rivanta.exe's stop text, the loop's exit "
        "code) against the presses recorded; rivanta.exe does not count a pair whose hold the "
        "stop cut short, so one press more than its count is expected.\n"
        "- *Stop latency*: from sending the stop (F8, or the loop's event) to the last release "
        "the recorder saw, and for rivanta.exe to the status line showing \"Stopped by F8.\", "
        "polled without sleeping.\n"
        "- *Delivery*: the recorder's stamp minus the message's own time, which Wine sets "
        "from the tick count (whole milliseconds on the same clock) when `SendInput` queues "
        "the input; more than 2 ms means the press was delivered more than 1 ms after it was "
        "sent, and that part of its lateness lies in the delivery (the application in front "
        "got the core late), not in the sender.\n"
        "- *CPU*: user plus system time of the Wine process running the program, from "
        "`/proc/<pid>/stat`, over the run (first press to stop) per second of wall time, as a "
        "percentage of one core; one clock tick of 10 ms is the resolution. The worker's CPU "
        "is that of the process's busiest Linux thread (`/proc/<pid>/task`).\n"
        "- *Load case*: the same runs while `bench/cpu_spinner.cpp`, a plain process that "
        "only computes, keeps one core busy.\n")

    goal_rows, notes = goals(runs, rates, cpu, load[0] if load else "?")
    out.append("## Goals\n")
    out.append(markdown_table(["Goal (median of the rounds)", "Measured", "Verdict"], goal_rows))
    out.append("")
    if notes:
        out.append("Where a goal is missed:\n")
        out += [f"- {n}" for n in notes]
        out.append("")
        others_before, _, others_after = others.partition(" / ")
        if others_before not in ("0", "?") or others_after not in ("0", "?"):
            out.append(
                f"Other Wine programs ran beside this benchmark ({others} Wine servers of other "
                f"prefixes at its start / end, load average {load[0] if load else '?'} before "
                f"it): they compete for the same cores, each with its own X display and Wine "
                f"server, so part of the lateness above may come from them.\n")

    firsts = [num(r, "first_press_us") / 1000 for rate in rates
              for r in runs[(OURS, DEFAULT, NO_LOAD, rate)]]
    base_firsts = [num(r, "first_press_us") / 1000 for rate in rates
                   for r in runs[(BASE, "-", NO_LOAD, rate)]]
    out.append(
        f"The first press of a run came {min(firsts):.2f} to {max(firsts):.2f} ms after its slot "
        f"for rivanta.exe (the sleep loop: {min(base_firsts):.2f} to {max(base_firsts):.2f} ms). "
        f"The worker reads its first deadline and then sends its first input, and under Wine "
        f"the first `SendInput` call of a new thread is slow: measured by the driver in a thread "
        f"of its own, the first call took {num(platform_row, 'first_send_input_ms'):.2f} ms and "
        f"the second {num(platform_row, 'second_send_input_ms'):.3f} ms. At rates whose period "
        f"is shorter than that lag, the presses after the first go out back to back until the "
        f"schedule is caught up (or, beyond four periods, restarted), as the worker's catch-up "
        f"rule says.\n")

    out.append("## Figures per rate\n")
    out.append("Median of the rounds (lowest to highest); ratio: rivanta.exe's median over the "
               "sleep loop's.\n")
    for rate in rates:
        ours, base = runs[(OURS, DEFAULT, NO_LOAD, rate)], runs[(BASE, "-", NO_LOAD, rate)]
        out.append(f"### {rate:g} per second (period {ours[0]['period_us']} us, hold "
                   f"{ours[0]['hold_us']} us)\n")
        out.append(markdown_table(["Figure", "rivanta.exe", "sleep loop", "ratio"],
                                  rate_table(ours, base)))
        out.append("")

    if load_rates:
        out.append("## Under load: one core kept busy\n")
        out.append("The same runs while a plain spinning process keeps one core busy, beside the "
                   "runs without it from the same rounds. Median of the rounds (lowest to "
                   "highest).\n")
        for rate in load_rates:
            rows = load_table(runs, rate)
            if rows is None:
                continue
            out.append(f"### {rate:g} per second\n")
            out.append(markdown_table(["Figure", "rivanta.exe", "rivanta.exe, loaded",
                                       "sleep loop", "sleep loop, loaded"], rows))
            out.append("")

    if len(variants) > 1:
        out.append("## The worker's priority\n")
        out.append(
            "Builds of `rivanta.exe` that differ from the shipped one only in the worker's "
            "priority, set at the worker's start (`bench/CMakeLists.txt`, "
            "`pacing/pacing_worker_win.cpp`), run side by side in every round, with and without "
            "the load. The shipped program has no command line and no environment, so the "
            "builds are separate programs; they exist only for this benchmark.\n")
        out.append("What each build's worker was given, from its runs: the priority Windows' "
                   "side reports for the thread the run started (`GetThreadPriority`), and the "
                   "scheduling of the busiest Linux thread of the process, the worker "
                   "(`/proc/<pid>/task/<tid>/stat`: nice value, policy, real-time priority):\n")
        out.append(markdown_table(["Build", "Windows priority", "Linux nice", "Linux policy",
                                   "Real-time priority", "Worker's CPU (% of a core)"],
                                  scheduling_rows(runs, variants, priority_rates)))
        out.append("")
        mapped = wine_maps_priorities(runs, variants, priority_rates)
        if mapped is False:
            out.append(
                "**Wine did not pass any of these priorities on to Linux**: every worker ran at "
                "nice 0 under SCHED_OTHER, whatever Windows' side reports for it. On this Wine, "
                "then, the builds differ in nothing the scheduler sees, and the differences "
                "between their rows below are the noise of the machine; a priority can only be "
                "kept for a reason from Windows' documentation.\n")
        elif mapped:
            out.append("Wine passed at least one of these priorities on to Linux (see the "
                       "table): the rows below compare what the scheduler did with them.\n")
        out.append(
            "Median of the rounds (lowest to highest). *Slow deliveries* count the presses the "
            "recorder, the application in front, got more than 1 ms after they were sent: a "
            "worker that starves the application in front raises them. *Spinner* is the CPU the "
            "spinning process got meanwhile.\n")
        out.append(markdown_table(
            ["Rate", "Load", "Build", "Achieved / scheduled", "Restarts per 10,000",
             "p99 (us)", "max (us)", "Longest stall (ms)", "CPU (%)", "Worker CPU (%)",
             "Spinner CPU (%)", "Slow deliveries", "Stop -> release (ms)"],
            priority_rows(runs, variants, priority_rates)))
        out.append("")
        decision = marked_section(report_path, DECISION_BEGIN, DECISION_END)
        out.append(decision or f"{DECISION_BEGIN}\n{DECISION_PLACEHOLDER}\n{DECISION_END}\n")

    out.append("## CPU of rivanta.exe while idle and paused\n")
    out.append(markdown_table(["State", "CPU (% of a core)", "Measured over"], [
        ("Idle (no run, another window in front)", fmt(cpu["idle"][0], 2), f"{cpu['idle'][1]} s"),
        ("Paused (a run at 1000/s, its own window in front)", fmt(cpu["paused"][0], 2),
         f"{cpu['paused'][1]} s"),
    ]))
    out.append("")
    out.append("## Press deviations\n")
    out.append(f"![Histogram of press deviations per rate, rivanta.exe against the sleep loop]"
               f"({os.path.basename(plot_path)})\n")

    timer_model = marked_section(report_path, MODEL_BEGIN, MODEL_END)
    if timer_model:
        out.append(timer_model)

    plot(folder, runs, rates, plot_path)
    with open(report_path, "w") as f:
        f.write("\n".join(out))
    print(f"wrote {report_path} and {plot_path}")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
