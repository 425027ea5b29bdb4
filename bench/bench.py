#!/usr/bin/python3
"""The conversion benchmark; bench/run.sh builds the tools and starts it.

For each size it generates one packet and times, on that same file, step after step:
  1. the I/O floor: cat to /dev/null,
  2. the parse floor: pugixml's load_file with default options, nothing else,
  3. tradulo-cli,
  4. the window's run: the real window offscreen, OK pressed, timed from the click to the end
     of the clean-up (the process's own figure; its RSS is the whole process's),
  5. the peer: bench/lxml_peer.py under /usr/bin/python3,
then checks that 3, 4 and 5 wrote the same bytes and prints Markdown tables. Wall times are
medians of the timed runs, after a warm-up run; CPU (user + system) and peak RSS come from
GNU time. Exit status: 0, 1 when outputs differ or a step fails,
3 with --strict when a target is missed.
"""
import argparse
import hashlib
import os
import platform
import re
import statistics
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
PEER = os.path.join(HERE, "lxml_peer.py")
PEER_PYTHON = "/usr/bin/python3"  # Debian's, with python3-lxml
GNU_TIME = "/usr/bin/time"
MB = 1e6

STEPS = ["cat", "parse", "cli", "window", "lxml"]
LABELS = {
    "cat": "1. I/O floor (`cat` > /dev/null)",
    "parse": "2. parse floor (pugixml `load_file`)",
    "cli": "3. `tradulo-cli`",
    "window": "4. window run (`TFrmTradulo`, offscreen)",
    "lxml": "5. peer (Python + lxml `iterparse`)",
}
WRITERS = ["cli", "window", "lxml"]


class BenchError(Exception):
    pass


def parse_args():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--build-dir", required=True)
    parser.add_argument("--records", default="200000,1000000",
                        help="comma-separated record counts (default 200000,1000000)")
    parser.add_argument("--flavour", default="utf8", choices=["utf8", "cp1252", "both"])
    parser.add_argument("--runs", type=int, default=3, help="timed runs per step (default 3)")
    parser.add_argument("--warmup", type=int, default=1,
                        help="untimed runs before a step's timed ones (default 1)")
    parser.add_argument("--seed", type=int, default=20240611)
    parser.add_argument("--scratch", default=os.path.join(tempfile.gettempdir(), "tradulo-bench"),
                        help="folder for the packets and outputs (default $TMPDIR/tradulo-bench)")
    parser.add_argument("--keep", action="store_true", help="keep the generated files")
    parser.add_argument("--no-window", action="store_true", help="leave out the window's run")
    parser.add_argument("--quick", action="store_true",
                        help="2,000 records, both flavours, one run: checks bytes, not targets")
    parser.add_argument("--strict", action="store_true", help="exit 3 when a target is missed")
    args = parser.parse_args()
    if args.quick:
        args.records, args.flavour, args.runs, args.warmup = "2000", "both", 1, 0
    args.sizes = [int(n) for n in args.records.split(",") if n.strip()]
    args.flavours = ["utf8", "cp1252"] if args.flavour == "both" else [args.flavour]
    if args.runs < 1 or not args.sizes:
        parser.error("nothing to measure")
    return args


def tool(build_dir, relative):
    path = os.path.join(build_dir, relative)
    if not os.access(path, os.X_OK):
        raise BenchError(f"{path} is missing: build it first (bench/run.sh does)")
    return path


def run_timed(command, scratch, env=None):
    """Runs one command under GNU time; returns (wall s, CPU s, peak RSS bytes, stdout)."""
    time_file = os.path.join(scratch, "time.out")
    started = time.perf_counter()
    done = subprocess.run([GNU_TIME, "-f", "%M %U %S", "-o", time_file] + command,
                          stdout=subprocess.PIPE, stderr=subprocess.PIPE, env=env)
    wall = time.perf_counter() - started
    if done.returncode != 0:
        raise BenchError(f"{' '.join(command)} failed (exit {done.returncode}):\n"
                         + done.stderr.decode(errors="replace"))
    with open(time_file) as report:
        rss_kb, user, system = report.read().strip().splitlines()[-1].split()
    os.remove(time_file)
    return wall, float(user) + float(system), int(rss_kb) * 1024, done.stdout.decode(
        errors="replace")


def first_difference(path_a, path_b):
    with open(path_a, "rb") as a, open(path_b, "rb") as b:
        data_a, data_b = a.read(), b.read()
    if data_a == data_b:
        return None
    offset = next((i for i, (x, y) in enumerate(zip(data_a, data_b)) if x != y),
                  min(len(data_a), len(data_b)))
    line = data_a.count(b"\r\n", 0, offset) + 1
    return (f"{len(data_a)} vs {len(data_b)} bytes, first difference at byte {offset} "
            f"(line {line}): {data_a[offset - 20:offset + 40]!r} vs "
            f"{data_b[offset - 20:offset + 40]!r}")


def digest(path):
    hasher = hashlib.sha256()
    with open(path, "rb") as data:
        for block in iter(lambda: data.read(1 << 20), b""):
            hasher.update(block)
    return hasher.hexdigest()


class OutputCheck:
    """Every run of every converter must write the bytes of the first run of the first."""

    def __init__(self, outputs):
        self.outputs = outputs
        self.reference = None  # (step, digest)

    def check(self, step):
        path = self.outputs[step]
        current = digest(path)
        if self.reference is None:
            self.reference = (step, current)
            return
        first, expected = self.reference
        if current == expected:
            return
        if first == step:
            problem = f"two runs of {step} wrote different bytes"
        else:
            problem = f"{first} and {step} differ: {first_difference(self.outputs[first], path)}"
        raise BenchError(f"OUTPUTS DIFFER\n  {problem}\n  (the packet and the outputs are "
                         f"kept in {os.path.dirname(path)})")


def measure(args, tools, records, flavour):
    scratch = args.scratch
    packet = os.path.join(scratch, f"packet-{flavour}-{records}.xml")
    subprocess.run([tools["gen"], "--records", str(records), "--flavour", flavour,
                    "--seed", str(args.seed), "--output", packet], check=True)
    size = os.path.getsize(packet)
    outputs = {step: os.path.join(scratch, f"out-{flavour}-{records}.{step}.txt")
               for step in WRITERS}
    window_env = dict(os.environ, QT_QPA_PLATFORM="offscreen")
    commands = {
        "cat": ["sh", "-c", 'exec cat "$1" > /dev/null', "cat", packet],
        "parse": [tools["parse"], packet],
        "cli": [tools["cli"], packet, outputs["cli"]],
        "window": [tools["window"], packet, outputs["window"]] if "window" in tools else None,
        "lxml": [PEER_PYTHON, PEER, packet, outputs["lxml"]],
    }
    steps = [step for step in STEPS if commands[step]]
    subprocess.run(["cat", packet], stdout=subprocess.DEVNULL, check=True)  # into the cache
    walls = {step: [] for step in steps}
    cpus = {step: [] for step in steps}
    rsses = {step: [] for step in steps}
    load_before = os.getloadavg()[0]
    # Each step's runs follow one another, after untimed warm-up runs: on this kind of virtual
    # machine the cost of fresh memory depends on what the previous process freed, so a step
    # that followed a bigger one would pay for it.
    output_check = OutputCheck(outputs)
    for step in steps:
        for run in range(args.warmup + args.runs):
            wall, cpu, rss, out = run_timed(commands[step], scratch,
                                            window_env if step == "window" else None)
            if step in WRITERS:
                output_check.check(step)
            if run < args.warmup:
                continue
            if step == "window":
                found = re.search(r"window_seconds=([0-9.]+)", out)
                if not found:
                    raise BenchError("tradulo-windowrun printed no time")
                wall = float(found.group(1))
            walls[step].append(wall)
            cpus[step].append(cpu)
            rsses[step].append(rss)
    result = {
        "records": records, "flavour": flavour, "size": size,
        "load": (load_before, os.getloadavg()[0]),
        "output_size": os.path.getsize(outputs["cli"]),
        "wall": {s: statistics.median(v) for s, v in walls.items()},
        "walls": walls,
        "cpu": {s: statistics.median(v) for s, v in cpus.items()},
        "rss": {s: max(v) for s, v in rsses.items()},
    }
    if not args.keep:
        for path in [packet] + list(outputs.values()):
            if os.path.exists(path):
                os.remove(path)
    return result


def machine_text():
    model = "?"
    try:
        with open("/proc/cpuinfo") as info:
            model = next(l.split(":", 1)[1].strip() for l in info if l.startswith("model name"))
        with open("/proc/meminfo") as info:
            memory = int(next(l.split()[1] for l in info if l.startswith("MemTotal"))) / 2**20
    except (OSError, StopIteration):
        memory = 0
    peer = subprocess.run([PEER_PYTHON, "-c", "import lxml.etree as e, platform;"
                           "print(platform.python_version(), '.'.join(map(str, e.LXML_VERSION)),"
                           "'.'.join(map(str, e.LIBXML_VERSION)))"],
                          stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
    if peer.returncode != 0:
        raise BenchError(f"{PEER_PYTHON} cannot import lxml (apt-get install python3-lxml)")
    python, lxml, libxml = peer.stdout.split()
    return (f"{model}, {os.cpu_count()} cores, {memory:.0f} GiB, {platform.system()} "
            f"{platform.release()}; Python {python}, lxml {lxml} (libxml2 {libxml})")


def fmt(value, digits=2):
    return "–" if value is None else f"{value:.{digits}f}"


def print_size_table(result, runs):
    size = result["size"]
    print(f"\n### {result['records']:,} records, {result['flavour']}: input "
          f"{size / MB:.1f} MB, output {result['output_size'] / MB:.1f} MB "
          f"(load average {result['load'][0]:.2f} → {result['load'][1]:.2f})\n")
    print(f"| Step | wall s (median of {runs}) | all runs | CPU s | peak RSS MB | RSS / input | "
          "input MB/s |")
    print("|---|--:|--:|--:|--:|--:|--:|")
    for step in STEPS:
        if step not in result["wall"]:
            continue
        wall, rss = result["wall"][step], result["rss"][step]
        runs_text = " ".join(f"{w:.2f}" for w in result["walls"][step])
        print(f"| {LABELS[step]} | {wall:.3f} | {runs_text} | {result['cpu'][step]:.2f} | "
              f"{rss / MB:.0f} | {rss / size:.2f} | {size / MB / wall if wall > 0 else 0:.0f} |")


def ratio_rows(results):
    """(name, value, target text, passed) for every ratio of the last size and flavour."""
    rows = []
    by_key = {(r["flavour"], r["records"]): r for r in results}
    for flavour in dict.fromkeys(r["flavour"] for r in results):
        sizes = sorted(n for f, n in by_key if f == flavour)
        big = by_key[(flavour, sizes[-1])]
        wall, rss, size = big["wall"], big["rss"], big["size"]
        tag = f"{flavour}, {sizes[-1]:,}"

        def add(name, value, limit, at_most=True):
            passed = None if value is None else (value <= limit if at_most else value >= limit)
            rows.append((f"{name} ({tag})", value, ("≤ " if at_most else "≥ ") + str(limit),
                         passed))

        add("cli / parse floor", wall["cli"] / wall["parse"], 1.25)
        add("lxml / cli", wall["lxml"] / wall["cli"], 4, at_most=False)
        if "window" in wall:
            add("window / cli", wall["window"] / wall["cli"], 1.15)
        add("cli peak RSS / input", rss["cli"] / size, 2.6)
        if "window" in rss:
            add("window peak RSS / input", rss["window"] / size, 2.6)
        rows.append((f"parse floor peak RSS / input ({tag})", rss["parse"] / size, "–", None))
        if len(sizes) > 1:
            small = by_key[(flavour, sizes[0])]
            scale = sizes[-1] / sizes[0]
            for step in ("parse", "cli", "window", "lxml"):
                if step in wall:
                    rows.append((f"{step} time {sizes[-1]:,} / {sizes[0]:,} ({flavour})",
                                 wall[step] / small["wall"][step],
                                 f"≤ {scale * 1.1:.2f}" if step in ("cli", "window") else "–",
                                 wall[step] / small["wall"][step] <= scale * 1.1
                                 if step in ("cli", "window") else None))
    return rows


def main():
    args = parse_args()
    os.makedirs(args.scratch, exist_ok=True)
    try:
        tools = {
            "gen": tool(args.build_dir, "bench/tradulo-genpacket"),
            "parse": tool(args.build_dir, "bench/tradulo-parsefloor"),
            "cli": tool(args.build_dir, "cli/tradulo-cli"),
        }
        if not args.no_window:
            tools["window"] = tool(args.build_dir, "bench/tradulo-windowrun")
        if not os.access(GNU_TIME, os.X_OK):
            raise BenchError(f"{GNU_TIME} is missing (apt-get install time)")
        machine = machine_text()
        print(f"Machine: {machine}")
        print(f"Packets: seed {args.seed}, scratch {args.scratch}; MB = 10^6 bytes")
        results = []
        for flavour in args.flavours:
            for records in args.sizes:
                result = measure(args, tools, records, flavour)
                results.append(result)
                print_size_table(result, args.runs)
                sys.stdout.flush()
    except BenchError as error:
        print(f"\nbench: FAILED: {error}", file=sys.stderr)
        return 1
    writers = [w for w in WRITERS if w != "window" or "window" in tools]
    print(f"\nOutputs of {', '.join(writers)}: identical bytes in every run.")
    rows = ratio_rows(results)
    if args.quick:
        print("\n(quick mode: the ratios below are not judged)")
    print("\n| Ratio | value | target | met |\n|---|--:|--:|:-:|")
    for name, value, target, passed in rows:
        met = "–" if passed is None or args.quick else ("yes" if passed else "**no**")
        print(f"| {name} | {fmt(value)} | {target} | {met} |")
    missed = [name for name, _, _, passed in rows if passed is False]
    if args.strict and missed and not args.quick:
        print(f"\nbench: targets missed: {', '.join(missed)}", file=sys.stderr)
        return 3
    return 0


if __name__ == "__main__":
    sys.exit(main())
