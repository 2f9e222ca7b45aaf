#!/usr/bin/env python3
"""Where a multiconv conversion spends its CPU time, stage by stage.

  bench/stage_profile.py [BUILD_DIR] [--input sd|hd|fhd|uhd] [--job PSP] [--seconds S]


Samples the conversion with `perf record -e cpu-clock` (a software clock, so
it works where the processor's counters are not available), then sorts every
sample by the thread it ran on and the function at its top into stages:

  decode   the source's decoders (libavcodec on the decoding threads)
  packing  decoded planes to packed 4:2:2 and back (our packing routines)
  scaling  libswscale (the capture's scaling, the encoders' conversions)
  capture  the rest of the capture's streaming thread (copies, the grid)
  encode   the encoder threads and x264's own
  mux      libavformat (reading the source and writing the output)
  other    everything else (start-up, the main thread's own work)

and prints each stage's share and CPU seconds, and each thread's share. The
input is made as compare_peers.py makes it.
"""

import argparse
import collections
import os
import shutil
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import compare_peers  # noqa: E402

SAMPLE_HZ = 499

def stage_of(comm, dso, symbol):
    """The stage a sample belongs to. The libraries' own worker threads
    (frame-threaded decoding, x264's threads) carry the name of the thread
    that made them, the program's main thread: they are told apart by
    library."""
    if "PackI420ToYuy2" in symbol or "SplitYuy2ToPlanes" in symbol or "Yuy2" in symbol:
        return "packing"
    if "libswscale" in dso:
        return "scaling"
    if "libavformat" in dso:
        return "mux"
    if "libx264" in dso or "libopencore" in dso or comm in ("ovc-enc-video", "ovc-enc-audio"):
        return "encode"
    if comm in ("ovc-decode", "ovc-audio") or ("libavcodec" in dso and comm == "multiconv"):
        return "decode"
    if comm in ("ovc-video", "vxclk"):
        return "capture"
    return "other"


def profile(args, out_data):
    subprocess.run(["perf", "record", "-q", "-e", "cpu-clock", "-F", str(SAMPLE_HZ),
                    "-o", out_data, "--"] + args, check=True, stdin=subprocess.DEVNULL,
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    text = subprocess.run(["perf", "report", "-i", out_data, "--no-children", "-q", "--stdio",
                           "--sort", "comm,dso,sym", "-F", "sample,comm,dso,sym"],
                          check=True, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL,
                          text=True).stdout
    stages = collections.Counter()
    threads = collections.Counter()
    for line in text.splitlines():
        parts = line.split(None, 3)
        if len(parts) < 3 or not parts[0].isdigit():
            continue
        samples, comm, dso = int(parts[0]), parts[1], parts[2]
        symbol = parts[3] if len(parts) > 3 else ""
        stages[stage_of(comm, dso, symbol)] += samples
        threads[comm] += samples
    return stages, threads


def main():
    parser = argparse.ArgumentParser(description=__doc__,
                                     formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("build", nargs="?", default="build")
    parser.add_argument("--input", default="hd", choices=sorted(compare_peers.INPUTS))
    parser.add_argument("--job", default="iPod")
    parser.add_argument("--seconds", type=int, default=20)
    a = parser.parse_args()
    if not shutil.which("perf"):
        sys.exit("needs perf (Debian package linux-perf)")
    work = tempfile.mkdtemp(prefix="ovc-stages-")
    try:
        os.environ.update(OVC_HOME=os.path.join(work, "home"),
                          OVC_REGISTRY=os.path.join(work, "registry.sqlite3"), OVC_TEMP=work)
        src = compare_peers.make_inputs(work, a.seconds, [a.input])[a.input]
        out_dir = os.path.join(work, "out")
        os.makedirs(out_dir)
        cmd = [os.path.join(a.build, "bin", "multiconv"), "-q", "-y", "-p", a.job,
               "-o", out_dir, src]
        stages, threads = profile(cmd, os.path.join(work, "perf.data"))
    finally:
        shutil.rmtree(work, ignore_errors=True)
    total = sum(stages.values()) or 1
    print("multiconv %s %s, %d s: %.2f CPU s sampled" % (a.input, a.job, a.seconds,
                                                      total / float(SAMPLE_HZ)))
    for stage in ("decode", "packing", "scaling", "capture", "encode", "mux", "other"):
        n = stages.get(stage, 0)
        print("  %-8s %5.1f %%  %6.2f s" % (stage, 100.0 * n / total, n / float(SAMPLE_HZ)))
    print("  threads: " + ", ".join("%s %.1f %%" % (t, 100.0 * n / total)
                                    for t, n in threads.most_common(8)))


if __name__ == "__main__":
    sys.exit(main())
