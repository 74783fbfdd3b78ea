"""What the benchmark reports share: reading the figures a run wrote, the
machine they were taken on, and markdown tables."""
import csv
import os
import platform
import subprocess


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


def markdown_table(header, rows):
    lines = ["| " + " | ".join(header) + " |", "|" + "---|" * len(header)]
    lines += ["| " + " | ".join(str(c) for c in row) + " |" for row in rows]
    return "\n".join(lines)
