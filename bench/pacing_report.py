#!/usr/bin/env python3
"""Writes the pacing benchmark's report and plot from the driver's figures.

    pacing_report.py <results folder> <REPORT.md> <plot.png>

The results folder is what pacing_driver.exe wrote (pacing_results.tsv,
pacing_cpu.tsv, pacing_platform.tsv, deviations_<program>_<rate>.txt) plus what
run_pacing_bench.sh noted around the run (loadavg_before,
other_wineservers_before, other_wineservers_after).
"""
import csv
import datetime
import os
import platform
import subprocess
import sys

import matplotlib

matplotlib.use("Agg")
import matplotlib.pyplot as plt  # noqa: E402  (the backend must be chosen first)
from matplotlib.ticker import FormatStrFormatter, NullFormatter  # noqa: E402

OURS, BASE = "rivanta", "baseline"

# The goals the figures are held against.
RATE_TOLERANCE = 0.001           # achieved within 0.1% of scheduled
P99_LIMIT_US = 200.0             # at P99_LIMIT_RATES
P99_LIMIT_RATES = (20.0, 1000.0)
P99_FACTOR = 10.0                # times smaller than the baseline's, at P99_FACTOR_FROM and above
P99_FACTOR_FROM = 100.0
STOP_LIMIT_MS = 30.0
PAUSED_LIMIT_PERCENT = 1.0

# The section bench/pacing_timer_model.cpp writes into the report, between
# these markers; it is carried over whenever the report is rewritten.
MODEL_BEGIN = "<!-- pacing timer model: begin -->"
MODEL_END = "<!-- pacing timer model: end -->"


def read_tsv(path):
    with open(path, newline="") as f:
        return list(csv.DictReader(f, delimiter="\t"))


def read_text(path, default=""):
    try:
        with open(path) as f:
            return f.read().strip()
    except OSError:
        return default


def command_output(args):
    try:
        return subprocess.run(args, capture_output=True, text=True, check=False).stdout.strip()
    except OSError:
        return ""


def machine():
    model, cores = "", os.cpu_count() or 0
    for line in command_output(["lscpu"]).splitlines():
        key, _, value = line.partition(":")
        if key.strip() == "Model name":
            model = value.strip()
        elif key.strip() == "Hypervisor vendor":
            model += f" (virtual machine, {value.strip()})"
    return model or platform.processor(), cores


def num(row, key):
    return float(row[key])


def fmt(value, digits=1):
    return f"{value:.{digits}f}"


def ratio(ours, base, digits=3):
    if base == 0:
        return "-" if ours == 0 else "inf"
    return f"{ours / base:.{digits}g}"


def load_runs(folder):
    runs = {}
    for row in read_tsv(os.path.join(folder, "pacing_results.tsv")):
        runs[(row["program"], float(row["rate"]))] = row
    rates = sorted({rate for _, rate in runs})
    return runs, rates


def deviations(folder, program, rate):
    path = os.path.join(folder, f"deviations_{program}_{rate:g}.txt")
    with open(path) as f:
        return [float(line) for line in f if line.strip()]


def released_text(row):
    ok = (row["unreleased"] == "0" and row["stray_releases"] == "0"
          and row["presses"] == row["releases"])
    if ok:
        return "yes"
    return (f"no: {row['unreleased']} unreleased, {row['stray_releases']} stray releases")


def rate_table(ours, base):
    """The rows of one rate's table: figure, ours, baseline, ratio."""
    rows = []

    def add(label, key, digits=1, with_ratio=True):
        o, b = num(ours, key), num(base, key)
        rows.append((label, fmt(o, digits), fmt(b, digits), ratio(o, b) if with_ratio else ""))

    rows.append(("Presses recorded (run length)", f"{ours['presses']} ({fmt(num(ours, 'seconds'), 2)} s)",
                 f"{base['presses']} ({fmt(num(base, 'seconds'), 2)} s)", ""))
    rows.append(("Achieved rate, per second", fmt(num(ours, "achieved_rate"), 4),
                 fmt(num(base, "achieved_rate"), 4),
                 ratio(num(ours, "achieved_rate"), num(base, "achieved_rate"), 5)))
    rows.append(("Achieved / scheduled", fmt(num(ours, "rate_ratio"), 6),
                 fmt(num(base, "rate_ratio"), 6), ""))
    add("Press deviation, mean abs (us)", "press_mean_us")
    add("Press deviation, p50 (us)", "press_p50_us")
    add("Press deviation, p99 (us)", "press_p99_us")
    add("Press deviation, max (us)", "press_max_us")
    rows.append(("Presses at the start (the first and its catch-up)", ours["start_presses"],
                 base["start_presses"], ""))
    add("First press against the fitted schedule (us)", "first_press_us", with_ratio=False)
    add("Press deviation at the scheduled period, mean abs (us)", "period_mean_us")
    add("Press deviation at the scheduled period, p99 (us)", "period_p99_us")
    add("Press deviation at the scheduled period, max (us)", "period_max_us")
    add("Hold deviation, mean abs (us)", "hold_mean_us")
    add("Hold deviation, p50 (us)", "hold_p50_us")
    add("Hold deviation, p99 (us)", "hold_p99_us")
    add("Hold deviation, max (us)", "hold_max_us")
    rows.append(("Pairs the program counted", ours["sent"], base["sent"], ""))
    rows.append(("Presses lost / doubled", f"{ours['lost']} / {ours['doubled']}",
                 f"{base['lost']} / {base['doubled']}", ""))
    rows.append(("Every press released", released_text(ours), released_text(base), ""))
    add("Stop sent -> last release (ms)", "stop_release_ms", 2)
    rows.append(("F8 -> \"Stopped by F8.\" shown (ms)", fmt(num(ours, "stop_text_ms"), 2), "-", ""))
    rows.append(("Presses arriving after the stop was sent", ours["presses_after_stop"],
                 base["presses_after_stop"], ""))
    rows.append(("Gaps of more than 4.5 periods between presses", ours["long_gaps"],
                 base["long_gaps"], ""))
    rows.append(("Presses delivered more than 1 ms after they were sent", ours["slow_deliveries"],
                 base["slow_deliveries"], ""))
    add("Longest delivery, sent to stamped (ms, within 1 ms)", "max_delivery_ms", 2, with_ratio=False)
    add("CPU while running (% of a core)", "cpu_percent")
    return rows


def delivery_clause(row):
    """A sentence on presses delivered late in rivanta.exe's run, when there were any."""
    slow = int(row["slow_deliveries"])
    if slow == 0:
        return " No press took more than 1 ms from SendInput to the recorder, so the lateness is the sender's."
    return (f" {slow} presses took more than 1 ms from SendInput to the recorder (the longest "
            f"{num(row, 'max_delivery_ms'):.1f} ms, within 1 ms): that part of the lateness lies in "
            f"Wine's delivery, not in the worker.")


def restart_clause(row):
    """A sentence on schedule restarts in rivanta.exe's run, when there were any."""
    gaps = int(row["long_gaps"])
    if gaps == 0:
        return ""
    return (f" Besides, {gaps} times a press came more than four periods after the one before: "
            f"the worker restarted its schedule from that late wake-up, which shifts every press "
            f"after it against a schedule fitted to the whole run.")


def model_section(report_path):
    """The timer model's section of the report as it stands, or ""."""
    text = read_text(report_path)
    begin = text.find(MODEL_BEGIN)
    end = text.find(MODEL_END, begin) if begin >= 0 else -1
    if begin < 0 or end < 0:
        return ""
    return text[begin:end + len(MODEL_END)] + "\n"


def markdown_table(header, rows):
    lines = ["| " + " | ".join(header) + " |", "|" + "---|" * len(header)]
    lines += ["| " + " | ".join(str(c) for c in row) + " |" for row in rows]
    return "\n".join(lines)


def goals(runs, rates, cpu):
    """(goal, measured, verdict) rows and notes on every goal missed."""
    rows, notes = [], []

    worst = max(rates, key=lambda r: abs(num(runs[(OURS, r)], "rate_ratio") - 1))
    err = abs(num(runs[(OURS, worst)], "rate_ratio") - 1)
    met = err <= RATE_TOLERANCE
    rows.append(("Achieved rate within 0.1% of scheduled, every rate",
                 f"largest error {err * 100:.4f}% (at {worst:g}/s)", "met" if met else "missed"))
    if not met:
        gaps = int(runs[(OURS, worst)]["long_gaps"])
        why = (f"{gaps} times a press came more than four periods after the one before: the "
               f"worker woke that late, dropped the backlog and restarted its schedule from then, "
               f"as its catch-up rule says, and the slots in between were never sent"
               if gaps else
               "no press came more than four periods after the one before, so the worker never "
               "restarted its schedule; the presses that came late pull the fitted period "
               f"(p99 deviation {num(runs[(OURS, worst)], 'press_p99_us'):.1f} us, max "
               f"{num(runs[(OURS, worst)], 'press_max_us'):.1f} us)")
        notes.append(f"The rate at {worst:g}/s is off by {err * 100:.4f}%, "
                     f"{(err - RATE_TOLERANCE) * 100:.4f} points beyond the goal: {why}.")

    for rate in P99_LIMIT_RATES:
        if (OURS, rate) not in runs:
            continue
        ours = runs[(OURS, rate)]
        p99 = num(ours, "press_p99_us")
        met = p99 < P99_LIMIT_US
        rows.append((f"p99 press deviation under {P99_LIMIT_US:.0f} us at {rate:g}/s",
                     f"{p99:.1f} us", "met" if met else "missed"))
        if not met:
            devs = [abs(d) for d in ours["_deviations"]]
            over = sum(1 for d in devs if d >= P99_LIMIT_US)
            notes.append(
                f"At {rate:g}/s the p99 is {p99:.1f} us, {p99 - P99_LIMIT_US:.1f} us over the goal: "
                f"{over} of {len(devs)} presses ({over * 100 / len(devs):.2f}%) lay {P99_LIMIT_US:.0f} us "
                f"or more off the schedule. The worker spins only for the last 0.2 ms before a "
                f"deadline and yields the core before that, so a press is late whenever another "
                f"thread has the core at the deadline; here the X server, the wineserver, the "
                f"recorder and the driver share {machine()[1]} cores with it." + restart_clause(ours) +
                delivery_clause(ours))

    for rate in [r for r in rates if r >= P99_FACTOR_FROM]:
        o = num(runs[(OURS, rate)], "press_p99_us")
        b = num(runs[(BASE, rate)], "press_p99_us")
        factor = b / o if o > 0 else float("inf")
        met = factor >= P99_FACTOR
        rows.append((f"p99 press deviation at least {P99_FACTOR:.0f}x smaller than the sleep loop's "
                     f"at {rate:g}/s", f"{o:.1f} us vs {b:.1f} us: {factor:.1f}x",
                     "met" if met else "missed"))
        if not met:
            base = runs[(BASE, rate)]
            notes.append(
                f"At {rate:g}/s ours is " +
                (f"{factor:.1f}x smaller" if factor >= 1 else f"{1 / factor:.1f}x larger") +
                f", short of {P99_FACTOR:.0f}x smaller by a factor of {P99_FACTOR / factor:.1f}. The sleep loop's deviations are taken from a schedule "
                f"fitted to its own run, which absorbs its rate error (it achieved "
                f"{num(base, 'achieved_rate'):.2f}/s of {1e6 / num(base, 'period_us'):.2f}/s, "
                f"{abs(num(base, 'rate_ratio') - 1) * 100:.2f}% off); what remains is the jitter of "
                f"its sleeps, which under Wine are accurate to a fraction of a millisecond. On "
                f"Windows, Sleep wakes on whole timer ticks (1 ms at best with timeBeginPeriod), "
                f"so the loop's jitter, and this ratio, would be far larger. Held to the "
                f"scheduled period, the p99s are {num(runs[(OURS, rate)], 'period_p99_us'):.1f} us "
                f"against {num(base, 'period_p99_us'):.1f} us." +
                restart_clause(runs[(OURS, rate)]))

    worst = max(rates, key=lambda r: num(runs[(OURS, r)], "stop_release_ms"))
    stop = num(runs[(OURS, worst)], "stop_release_ms")
    met = stop < STOP_LIMIT_MS
    rows.append((f"Stop latency under {STOP_LIMIT_MS:.0f} ms, F8 -> last release",
                 f"largest {stop:.2f} ms (at {worst:g}/s)", "met" if met else "missed"))
    if not met:
        notes.append(
            f"At {worst:g}/s the last release came {stop:.2f} ms after F8, "
            f"{stop - STOP_LIMIT_MS:.2f} ms over the goal; the status text took "
            f"{num(runs[(OURS, worst)], 'stop_text_ms'):.2f} ms. The worker looks at the stop flag "
            f"between sleeps of at most 20 ms, so F8's delivery and the window thread's stop add "
            f"to up to 20 ms.")

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
    running = ", ".join(f"{r:g}/s {num(runs[(OURS, r)], 'cpu_percent'):.1f}%" for r in rates)
    rows.append(("CPU while running (reported; about one core at 1000/s by design)", running, "-"))
    return rows, notes


def read_cpu(folder):
    """{phase: (percent of a core, seconds measured)} for idle and paused."""
    return {row["phase"]: (float(row["cpu_percent"]), row["seconds"])
            for row in read_tsv(os.path.join(folder, "pacing_cpu.tsv"))}


def plot(folder, runs, rates, path):
    fig, axes = plt.subplots(len(rates), 1, figsize=(9, 2.6 * len(rates)), squeeze=False)
    for ax, rate in zip(axes[:, 0], rates):
        ours = runs[(OURS, rate)]["_deviations"]
        base = runs[(BASE, rate)]["_deviations"]
        both = sorted(abs(d) for d in ours + base)
        # The range holds 99.9% of both runs' presses; the rest are counted in
        # the legend rather than stretching the axis.
        limit = max(both[min(len(both) - 1, int(len(both) * 0.999))], 10.0)
        bins = [-limit + 2 * limit * i / 80 for i in range(81)]
        for data, label, colour in ((ours, "rivanta.exe", "tab:blue"),
                                    (base, "sleep loop", "tab:orange")):
            outside = sum(1 for d in data if abs(d) > limit)
            inside = [d for d in data if abs(d) <= limit]
            text = f"{label} ({len(data)} presses" + (f", {outside} beyond +/-{limit:.0f} us)" if outside else ")")
            ax.hist(inside, bins=bins, alpha=0.6, label=text, color=colour)
        ax.set_yscale("log")
        ax.yaxis.set_major_formatter(FormatStrFormatter("%d"))
        ax.yaxis.set_minor_formatter(NullFormatter())
        ax.set_title(f"{rate:g} per second (period {int(num(runs[(OURS, rate)], 'period_us'))} us)",
                     fontsize=10)
        ax.set_ylabel("presses")
        ax.legend(fontsize=8)
    axes[-1, 0].set_xlabel("deviation of each press from the evenly spaced schedule fitted to its run (us)")
    fig.suptitle("Press timing under Wine: rivanta.exe against a plain Sleep loop", fontsize=11)
    fig.tight_layout()
    fig.savefig(path, dpi=90)


def main(argv):
    if len(argv) != 4:
        print(__doc__, file=sys.stderr)
        return 2
    folder, report_path, plot_path = argv[1:]
    runs, rates = load_runs(folder)
    rates = [r for r in rates if (OURS, r) in runs and (BASE, r) in runs]
    for (program, rate), row in runs.items():
        row["_deviations"] = deviations(folder, program, rate)
    cpu = read_cpu(folder)
    platform_row = read_tsv(os.path.join(folder, "pacing_platform.tsv"))[0]
    model, cores = machine()
    load = read_text(os.path.join(folder, "loadavg_before")).split()
    others = (read_text(os.path.join(folder, "other_wineservers_before"), "?") + " / " +
              read_text(os.path.join(folder, "other_wineservers_after"), "?"))
    wine = command_output(["wine", "--version"])
    # The run's date: when the driver last wrote its figures.
    ran = datetime.datetime.fromtimestamp(
        os.path.getmtime(os.path.join(folder, "pacing_results.tsv")), datetime.timezone.utc
    ).strftime("%Y-%m-%d %H:%M UTC")

    out = []
    out.append("# Pacing benchmark\n")
    out.append(f"Written by `bench/run_pacing_bench.sh` (which `./dev.sh bench` runs) from a run "
               f"on {ran}.\n")
    out.append(markdown_table(["", ""], [
        ("Machine", f"{model}, {cores} cores"),
        ("Kernel", platform.release()),
        ("Wine", wine),
        ("Load average before the run (1, 5, 15 min)", " ".join(load[:3])),
        ("Wine servers of other prefixes (other Wine programs) at the start / end", others),
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
        "presses F6 with `SendInput`, lets the run go on for 200 presses (at least 5 s, at most "
        "15 s, so the 1 per second run has only about 15 presses and its p99 is its maximum), "
        "and presses F8 right after a press has arrived, so that the stop falls inside a hold "
        "and the release must come from the stop. The recorder stamps every key message with "
        "the performance counter. The baseline (`bench/sleep_loop_baseline.cpp`) is the plain "
        "loop press, `Sleep(hold)`, release, `Sleep(period - hold)` with `timeBeginPeriod(1)`, "
        "the same Schedule rounded to whole milliseconds, started as a process of its own and "
        "stopped by an event set right after a press.\n")
    out.append(
        "- *Press deviation*: each press's stamp minus the evenly spaced schedule fitted to the "
        "run by least squares (press i against slot i), taken by absolute value; percentiles "
        "are nearest-rank. The first press of a run goes out as the sender starts, and its "
        "lateness is the cost of starting rather than the cadence; when it is late by more "
        "than a period, the presses right after it go out back to back (less than half a "
        "period apart) to catch up. The schedule is fitted to the presses after that start, "
        "and the first press is shown apart, against that schedule.\n"
        "- *Press deviation at the scheduled period*: the same against the schedule whose "
        "period is the scheduled one and whose offset is fitted: a sender that runs slow or "
        "fast drifts away from it, which the fit above hides.\n"
        "- *Achieved rate*: the fitted schedule's rate; *scheduled*: 1 / `period_us`.\n"
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
        "sent, and that part of its lateness lies in the delivery, not in the sender.\n"
        "- *CPU*: user plus system time of the Wine process running the program, from "
        "`/proc/<pid>/stat`, over the run (first press to stop) per second of wall time, as a "
        "percentage of one core; one clock tick of 10 ms is the resolution.\n")

    goal_rows, notes = goals(runs, rates, cpu)
    out.append("## Goals\n")
    out.append(markdown_table(["Goal", "Measured", "Verdict"], goal_rows))
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

    firsts = [num(runs[(OURS, r)], "first_press_us") / 1000 for r in rates]
    base_firsts = [num(runs[(BASE, r)], "first_press_us") / 1000 for r in rates]
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
    out.append("Ratio: rivanta.exe's figure over the sleep loop's.\n")
    for rate in rates:
        ours, base = runs[(OURS, rate)], runs[(BASE, rate)]
        out.append(f"### {rate:g} per second (period {ours['period_us']} us, hold {ours['hold_us']} us)\n")
        out.append(markdown_table(["Figure", "rivanta.exe", "sleep loop", "ratio"], rate_table(ours, base)))
        out.append("")

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

    timer_model = model_section(report_path)
    if timer_model:
        out.append(timer_model)

    plot(folder, runs, rates, plot_path)
    with open(report_path, "w") as f:
        f.write("\n".join(out))
    print(f"wrote {report_path} and {plot_path}")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
