#!/usr/bin/python3
"""Times the aperlume command-line tool against GEGL, OpenCV and ImageMagick on the same image.

Every command runs as a user runs it (wall time includes reading and writing the PNG files), pinned to
two CPUs. The commands of one group take turns (A B C A B C ...) so that a change in the machine's
load spreads over all of them; each figure is the median of the runs. Run it through
compare_peers.sh, which installs the peers first.
"""
import argparse
import os
import re
import signal
import statistics
import subprocess
import sys
import time
from dataclasses import dataclass, field
from pathlib import Path

import cv2
import numpy as np

ROOT = Path(__file__).resolve().parent.parent
DEFAULT_TOOL = ROOT / "build/native/tools/aperlume/aperlume"
OPENCV_PEER = Path(__file__).resolve().parent / "peer_opencv_disc.py"
CONVERT = "/usr/bin/convert"  # ImageMagick itself, not whatever `convert` comes first on PATH
OUT = "{out}"  # stands for the output file in a command line
SCENE_SEED = 20240611
METHODS = ("normal", "mc", "fft")


@dataclass
class Case:
    name: str  # what --only matches
    label: str
    argv: list
    env: dict = field(default_factory=dict)
    peer: bool = False


@dataclass
class Result:
    walls: list = field(default_factory=list)
    cpus: list = field(default_factory=list)
    peak_kb: int = 0
    error: str = ""

    def median(self):
        return statistics.median(self.walls) if self.walls and not self.error else None

    def peak_mb(self):
        return self.peak_kb / 1024 if self.walls and not self.error else None


def write_png(path, pixels):
    tmp = path.with_name(path.stem + ".partial.png")
    if not cv2.imwrite(str(tmp), pixels):
        sys.exit(f"cannot write {tmp}")
    tmp.replace(path)


def scene(args, work, w, h):
    """A smooth gradient with small bright points, the same for the same size on every run."""
    path = work / f"scene-{w}x{h}.png"
    if path.exists() or args.list:
        return path
    print(f"generating {path.name}", file=sys.stderr)
    rng = np.random.default_rng(SCENE_SEED)
    x = np.linspace(0.0, 1.0, w, dtype=np.float32)
    y = np.linspace(0.0, 1.0, h, dtype=np.float32)[:, None]
    pixels = np.empty((h, w, 3), np.uint8)
    pixels[..., 0] = 40 + 120 * x
    pixels[..., 1] = 30 + 110 * y
    pixels[..., 2] = 70 + 50 * (x + y)
    count = max(30, round(300 * w * h / 12e6))  # a few hundred at 12 MP, the same density elsewhere
    for px, py, r, b, g, red in zip(rng.integers(0, w, count), rng.integers(0, h, count),
                                    rng.integers(1, 3, count), *rng.integers(200, 256, (3, count))):
        cv2.circle(pixels, (int(px), int(py)), int(r), (int(b), int(g), int(red)), -1)
    write_png(path, pixels)
    return path


def depth_ramp(args, work, w, h):
    path = work / f"ramp-{w}x{h}.png"
    if not path.exists() and not args.list:
        row = np.linspace(0, 255, w).round().astype(np.uint8)
        write_png(path, np.ascontiguousarray(np.broadcast_to(row, (h, w))))
    return path


def ensure_tool(args):
    if args.tool:
        return Path(args.tool)
    # Built every time (a no-op when up to date) so that the figures belong to the checkout's code.
    build = DEFAULT_TOOL.parents[2]
    if not (build / "CMakeCache.txt").exists():
        subprocess.run(["cmake", "-S", ROOT, "-B", build, "-G", "Ninja", "-DCMAKE_BUILD_TYPE=RelWithDebInfo"],
                       check=True, stdout=subprocess.DEVNULL)
    subprocess.run(["cmake", "--build", build, "-j2", "--target", "aperlume", "aperlume_module", "aperlume_fake_plugin"],
                   check=True, stdout=subprocess.DEVNULL)
    return DEFAULT_TOOL


def build_type(tool):
    cache = tool.parents[2] / "CMakeCache.txt"
    if not cache.exists():
        return "build type unknown"
    found = re.search(r"^CMAKE_BUILD_TYPE:\w+=(.*)$", cache.read_text(), re.M)
    kind = found.group(1) if found and found.group(1) else "no build type"
    return kind + (", sanitizers ON" if re.search(r"^APERLUME_SANITIZE:\w+=ON$", cache.read_text(), re.M) else "")


def ours(args, tool, label, name, image, settings):
    plugin = ["--plugin", args.plugin] if args.plugin else []
    return Case(name, label, [str(tool), *plugin, *settings, str(image), OUT])


def cases(args, tool, work):
    w, h = args.size
    image = scene(args, work, w, h)
    all_groups = []
    for d in (21, 101, 201):
        disc = ["--amount", str((d - 1) // 2), "--vertices", "1"]
        group = [ours(args, tool, f"{m} {'soft' if soft else 'hard'}", f"d{d}/{m}-{'soft' if soft else 'hard'}",
                      image, disc + ["--method", m] + (["--soft"] if soft else []))
                 for m in METHODS for soft in (False, True)]
        if d == 101:
            group.append(ours(args, tool, "normal ring (edge 50, ratio -50)", "d101/ring", image,
                              disc + ["--edge", "50", "--ratio", "-50"]))
            group.append(ours(args, tool, "normal depth map, focus 128", "d101/depth", image,
                              disc + ["--selection", str(depth_ramp(args, work, w, h)), "--depth-map", "--focus", "128"]))
        # GEGL reads its thread count from the environment; its CLI has no option for it. Its -o writes
        # 16-bit PNG files, so the chain ends in an 8-bit PNG writer like the other tools' instead;
        # without -o the CLI is in display mode, hence no display in its environment.
        group.append(Case(f"d{d}/gegl", f"gegl:lens-blur radius={d / 2:g}",
                          ["gegl", str(image), "--", "gegl:lens-blur", f"radius={d / 2:g}",
                           "gegl:png-save", f"path={OUT}", "bitdepth=8"],
                          {"GEGL_THREADS": "2", "DISPLAY": None, "WAYLAND_DISPLAY": None}, peer=True))
        # The same filter as a GEGL operation in the gegl command, where this build has made it (and the
        # system's operations beside it for loading and saving).
        operation = tool.parents[2] / "gegl-plugins"
        if d == 101 and (operation / "aperlume.so").exists():
            system = subprocess.run(["pkg-config", "--variable=pluginsdir", "gegl-0.4"], capture_output=True,
                                    text=True).stdout.strip()
            group.append(Case("d101/aperlume-gegl", "aperlume:lens-blur in gegl, amount 50",
                              ["gegl", str(image), "--", "aperlume:lens-blur", "amount=50", "vertices=1",
                               "gegl:png-save", f"path={OUT}", "bitdepth=8"],
                              {"GEGL_THREADS": "2", "GEGL_PATH": f"{operation}:{system}", "DISPLAY": None,
                               "WAYLAND_DISPLAY": None}))
        group.append(Case(f"d{d}/opencv", f"OpenCV filter2D, disc {d}",
                          ["/usr/bin/python3", str(OPENCV_PEER), str(image), OUT, str(d)], peer=True))
        all_groups.append((f"disc D={d} (--amount {(d - 1) // 2}), {w}x{h}", group))

    # A photograph's size with the hexagon of the Monte Carlo target: amount 60 (D=121), brightness 40.
    pw, ph = photo_size(args)
    if args.only.search("24mp/"):
        photo = scene(args, work, pw, ph)
        hexagon = ["--amount", "60", "--vertices", "6", "--brightness", "40"]
        all_groups.append((f"hexagon D=121 (--amount 60 --vertices 6 --brightness 40), {pw}x{ph}", [
            ours(args, tool, "mc hexagon", "24mp/mc-hexagon", photo, hexagon + ["--method", "mc"]),
            ours(args, tool, "normal hexagon", "24mp/normal-hexagon", photo, hexagon),
            Case("24mp/gegl", "gegl:lens-blur radius=60.5",
                 ["gegl", str(photo), "--", "gegl:lens-blur", "radius=60.5", "gegl:png-save", f"path={OUT}", "bitdepth=8"],
                 {"GEGL_THREADS": "2", "DISPLAY": None, "WAYLAND_DISPLAY": None}, peer=True)]))

    identity = [ours(args, tool, "normal, amount 0", "identity/amount0", image, ["--amount", "0"])]
    # The tests' pass-through stand-in module (it inverts the whole image it asks for): what the tool
    # itself costs, reading, serving and writing, without the plug-in's buffers.
    stand_in = tool.parent / "libaperlume_fake_plugin.so"
    if stand_in.exists():
        identity.append(Case("identity/tool-alone", "tool with a pass-through module",
                             [str(tool), "--plugin", str(stand_in), str(image), OUT]))
    identity.append(Case("identity/convert", "ImageMagick convert in out", [CONVERT, str(image), OUT], peer=True))
    all_groups.append((f"identity (--amount 0, D=1), {w}x{h}", identity))
    if not args.no_48mp and args.only.search("48mp/normal-hard"):
        big = scene(args, work, 2 * w, 2 * h)
        all_groups.append((f"four times the pixels, {2 * w}x{2 * h}", [
            ours(args, tool, "normal hard, D=101", "48mp/normal-hard", big,
                 ["--amount", "50", "--vertices", "1"])]))
    if args.large and args.only.search("100mp/fft-hard"):
        lw, lh = 3 * w, round(2.8 * h)
        all_groups.append((f"large image, {lw}x{lh}", [
            ours(args, tool, "fft hard, D=201", "100mp/fft-hard", scene(args, work, lw, lh),
                 ["--amount", "100", "--vertices", "1", "--method", "fft"])]))
    return all_groups


def photo_size(args):
    """Half as many pixels again each way as --size: 6000x4000, a 24 MP photograph, for the default."""
    w, h = args.size
    return w * 3 // 2, h * 4 // 3


def pin_to_two_cpus():
    os.sched_setaffinity(0, sorted(os.sched_getaffinity(0))[:2])


def run_once(case, result, work, timeout):
    out = work / "out" / (case.name.replace("/", "-") + ".png")
    out.unlink(missing_ok=True)
    stats = work / "out" / "time.txt"
    env = {k: v for k, v in {**os.environ, **case.env}.items() if v is not None}
    argv = [a.replace(OUT, str(out)) for a in case.argv]
    start = time.perf_counter()
    proc = subprocess.Popen(["/usr/bin/time", "-f", "%M %P", "-o", str(stats), *argv], env=env,
                            stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, text=True,
                            start_new_session=True, preexec_fn=pin_to_two_cpus)
    try:
        _, err = proc.communicate(timeout=timeout)
    except subprocess.TimeoutExpired:
        os.killpg(proc.pid, signal.SIGKILL)
        proc.communicate()
        result.error = f"timed out after {timeout} s"
        return
    wall = time.perf_counter() - start
    if proc.returncode != 0 or not out.exists():
        tail = " | ".join(err.strip().splitlines()[-2:])
        result.error = f"exit {proc.returncode}{'' if out.exists() else ', no output'}: {tail}"
        return
    peak_kb, cpu = stats.read_text().split()[-2:]
    result.walls.append(wall)
    if cpu.rstrip("%").isdigit():  # time prints "?%" for a run too short to measure
        result.cpus.append(float(cpu.rstrip("%")))
    result.peak_kb = max(result.peak_kb, int(peak_kb))


def fmt(value, spec):
    return format(value, spec) if value is not None else format("-", ">" + spec.split(".")[0])


def ratio(a, b):
    return a / b if a is not None and b else None


def run_group(title, group, results, args, work):
    group = [c for c in group if args.only.search(c.name)]
    if not group:
        return
    for run in range(args.runs):
        for case in group:
            result = results.setdefault(case.name, Result())
            if not result.error:
                run_once(case, result, work, args.timeout)
                shown = result.error or f"{result.walls[-1]:.2f} s"
                print(f"  {case.name} run {run + 1}/{args.runs}: {shown}", file=sys.stderr, flush=True)
    peers = [c for c in group if c.peer]
    print(f"\n== {title}")
    print(f"{'command':36} {'median s':>9} {'CPU %':>6} {'peak MB':>8}" +
          "".join(f" {'/ ' + c.name.split('/')[1]:>10}" for c in peers))
    for case in group:
        r = results[case.name]
        line = f"{case.label:36} {fmt(r.median(), '9.2f')} {fmt(statistics.median(r.cpus) if r.cpus else None, '6.0f')}" \
               f" {fmt(r.peak_mb(), '8.0f')}"
        if not case.peer:
            line += "".join(f" {fmt(ratio(r.median(), results[p.name].median()), '10.2f')}" for p in peers)
        print(line + (f"  FAILED: {r.error}" if r.error else ""), flush=True)


def print_targets(results, args):
    w, h = args.size
    size, big, large = f"{w}x{h}", f"{2 * w}x{2 * h}", f"{3 * w}x{round(2.8 * h)}"

    def t(name):
        return results[name].median() if name in results else None

    def mb(name):
        return results[name].peak_mb() if name in results else None

    def most(names):
        found = [v for v in map(mb, names) if v is not None]
        return max(found) if found else None

    pw, ph = photo_size(args)
    rows = [(f"direct hard / GEGL, D={d}", ratio(t(f"d{d}/normal-hard"), t(f"d{d}/gegl")), limit, "x")
            for d, limit in ((21, 0.8), (101, 0.45), (201, 0.45))]
    rows += [("direct hard / OpenCV filter2D, D=201", ratio(t("d201/normal-hard"), t("d201/opencv")), 0.7, "x"),
             ("direct soft / GEGL, D=101", ratio(t("d101/normal-soft"), t("d101/gegl")), 1.0, "x"),
             ("ring / GEGL, D=101", ratio(t("d101/ring"), t("d101/gegl")), 1.0, "x"),
             ("depth map / uniform direct, D=101", ratio(t("d101/depth"), t("d101/normal-hard")), 2.0, "x"),
             ("Monte Carlo hard / GEGL, D=101", ratio(t("d101/mc-hard"), t("d101/gegl")), 1.2, "x"),
             (f"Monte Carlo hexagon / GEGL, {pw}x{ph}", ratio(t("24mp/mc-hexagon"), t("24mp/gegl")), 2.0, "x"),
             ("our GEGL operation in gegl / the tool, D=101", ratio(t("d101/aperlume-gegl"), t("d101/normal-hard")),
              1.2, "x"),
             ("amount 0 / ImageMagick convert", ratio(t("identity/amount0"), t("identity/convert")), 1.3, "x"),
             (f"time {big} / {size}, direct D=101", ratio(t("48mp/normal-hard"), t("d101/normal-hard")), 4.4, "x")]
    rows += [(f"FFT hard / OpenCV filter2D, D={d}", ratio(t(f"d{d}/fft-hard"), t(f"d{d}/opencv")), limit, "x")
             for d, limit in ((21, 1.0), (101, 0.7), (201, 0.7))]
    # One job's peak memory, the largest of a method's runs on the comparison's image.
    rows += [(f"peak memory, {m}, any run, {size}", most([f"d{d}/{m}-{e}" for d in (21, 101, 201) for e in ("hard", "soft")]
                                                       + (["d101/ring", "d101/depth"] if m == "normal" else [])), 350, "MB")
             for m in METHODS]
    rows += [(f"FFT peak memory, D=201, {large}", mb("100mp/fft-hard"), 2560, "MB")]
    print("\n== targets (smaller is better)")
    measured = [row for row in rows if row[1] is not None]
    for label, value, limit, unit in measured:
        verdict = "ok" if value <= limit else "MISSED"
        print(f"{label:48} {fmt(value, '8.2f' if unit == 'x' else '8.0f')} {unit:2}  target <= {limit:{'.2f' if unit == 'x' else '.0f'}} {unit}"
              f"  {verdict}")
    if len(measured) < len(rows):
        print(f"({len(rows) - len(measured)} more targets need commands that did not run or failed)")


def package_version(name):
    done = subprocess.run(["dpkg-query", "-W", "-f", "${Version}", name], capture_output=True, text=True)
    return done.stdout or "not installed"


def parse_args():
    p = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    p.add_argument("--tool", help=f"the aperlume binary (default: {DEFAULT_TOOL.relative_to(ROOT)}, "
                                  "built first)")
    p.add_argument("--plugin", help="the plug-in module, passed to the tool's --plugin")
    p.add_argument("--runs", type=int, default=3, help="runs of each command (default 3)")
    p.add_argument("--only", type=re.compile, default=re.compile(""),
                   help="regular expression: run only the commands whose name matches (see --list)")
    p.add_argument("--size", default="4000x3000", help="image size WxH (default 4000x3000; the larger "
                   "cases, the 24 MP hexagon among them, scale with it)")
    p.add_argument("--no-48mp", action="store_true", help="skip the run on four times the pixels")
    p.add_argument("--large", action="store_true", help="add the FFT run on 12000x8400 (about 5 s on two cores)")
    p.add_argument("--timeout", type=float, default=1800, help="seconds one run may take (default 1800)")
    p.add_argument("--work", type=Path, default=ROOT / "build/bench-peers",
                   help="folder for the generated images and the outputs (default build/bench-peers)")
    p.add_argument("--list", action="store_true", help="print the command names and exit")
    args = p.parse_args()
    size = re.fullmatch(r"(\d+)x(\d+)", args.size)
    if not size or args.runs < 1:
        p.error("--size takes WxH, --runs at least 1")
    args.size = (int(size.group(1)), int(size.group(2)))
    return args


def main():
    args = parse_args()
    work = args.work.resolve()
    (work / "out").mkdir(parents=True, exist_ok=True)
    tool = ensure_tool(args) if not args.list else Path(args.tool or DEFAULT_TOOL)
    groups = cases(args, tool, work)
    if args.list:
        print("\n".join(c.name for _, group in groups for c in group if args.only.search(c.name)))
        return
    cpus = sorted(os.sched_getaffinity(0))[:2]
    print("aperlume against the tools people use instead: median wall time incl. PNG reading and writing")
    print(f"machine: {os.cpu_count()} CPUs, every command pinned to CPUs {','.join(map(str, cpus))}; "
          f"{args.runs} run(s) each, taking turns within a group")
    print(f"tool: {tool} ({build_type(tool)}), plug-in: {args.plugin or 'the one beside the tool'}")
    print(f"peers: GEGL {package_version('gegl')} (GEGL_THREADS=2), OpenCV {cv2.__version__} "
          f"(setNumThreads 2, BORDER_REPLICATE), ImageMagick {package_version('imagemagick')}")
    print("image: gradient with small bright points, RGB 8-bit; our disc: --vertices 1; "
          "ratios are our median / the peer's median")
    results = {}
    for title, group in groups:
        run_group(title, group, results, args, work)
    print_targets(results, args)


if __name__ == "__main__":
    main()
