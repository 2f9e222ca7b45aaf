#!/usr/bin/env python3
"""Where a multiconv conversion spends its CPU time, stage by stage.

  bench/stage_profile.py [BUILD_DIR] [--input sd|hd] [--job PSP] [--seconds S]
                         [--ffmpeg]

Samples the conversion with `perf record -e cpu-clock` (a software clock, so
it works where the processor's counters are not available), then sorts every
sample by the thread it ran on and the function at its top into stages:

  decode   the source's decoders (libavcodec decoding, the decode-ahead thread)
  packing  decoded planes to packed 4:2:2 and back (our packing routines)
  scaling  libswscale
  capture  the capture's own work on the streaming threads (copies, grid)
  encode   the encoders (libavcodec encoding, x264) on the encoder threads
  mux      libavformat and the output writers
  other    everything else (start-up, the kernel, the allocator)

and prints each stage's share and CPU seconds. --ffmpeg profiles the ffmpeg
command doing the same job instead, for comparison (its stages by function
only). The input is made as compare_peers.py makes it.
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

# (stage, test on the thread name, test on the symbol and its library)
ENCODE_SYMBOLS = ("x264_", "ff_h263_encode", "ff_mpv_encode", "encode_", "ff_wmv2_encode",
                  "ff_msmpeg4_encode", "ff_aac_", "aac_encode", "ff_wma_", "Encoder_Interface",
                  "amr", "ff_fdct", "ff_block_permute", "dct_quantize", "sse16", "pix_abs",
                  "ff_me_", "ff_estimate", "sad", "ff_epzs", "ff_pre_estimate")


def stage_of(comm, symbol, dso):
    sym = symbol or ""
    if "yuv_packing" in sym or "PackYuy2" in sym or "Yuy2" in sym or "Pack" in sym and "ovc" in sym:
        return "packing"
    if "libswscale" in dso or sym.startswith(("ff_yuv2", "ff_hscale", "yuv2", "hScale", "sws_",
                                              "ff_sws", "chrRangeToJpeg", "lumRangeToJpeg")):
        return "scaling"
    if "libavformat" in dso or "Mux" in sym or "Writer" in sym or "avio" in sym:
        return "mux"
    if comm in ("ovc-enc-video", "ovc-enc-audio") or "libx264" in dso or \
            sym.startswith(ENCODE_SYMBOLS):
        return "encode"
    if comm == "ovc-decode" or "decode" in sym.lower() and "libavcodec" in dso:
        return "decode"
    if comm in ("ovc-video", "ovc-audio", "vxclk"):
        return "capture"
    if "libavcodec" in dso and comm != "multiconv":
        return "decode"
    return "other"


def profile(args, out_data):
    subprocess.run(["perf", "record", "-q", "-e", "cpu-clock", "-F", str(SAMPLE_HZ),
                    "-o", out_data, "--"] + args, check=True, stdin=subprocess.DEVNULL,
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    text = subprocess.run(["perf", "script", "-i", out_data, "-F", "comm,sym,dso"],
                          check=True, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL,
                          text=True).stdout
    stages = collections.Counter()
    threads = collections.Counter()
    for line in text.splitlines():
        parts = line.split()
        if not parts:
            continue
        comm = parts[0]
        dso = parts[-1].strip("()") if parts[-1].startswith("(") else ""
        symbol = parts[2] if len(parts) > 3 else ""
        stages[stage_of(comm, symbol, dso)] += 1
        threads[comm] += 1
    return stages, threads


def main():
    parser = argparse.ArgumentParser(description=__doc__,
                                     formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("build", nargs="?", default="build")
    parser.add_argument("--input", default="hd", choices=["sd", "hd"])
    parser.add_argument("--job", default="iPod")
    parser.add_argument("--seconds", type=int, default=20)
    parser.add_argument("--ffmpeg", action="store_true")
    a = parser.parse_args()
    if not shutil.which("perf"):
        sys.exit("needs perf (Debian package linux-perf)")
    work = tempfile.mkdtemp(prefix="ovc-stages-")
    try:
        os.environ.update(OVC_HOME=os.path.join(work, "home"),
                          OVC_REGISTRY=os.path.join(work, "registry.sqlite3"), OVC_TEMP=work)
        src = compare_peers.make_inputs(work, a.seconds)[a.input]
        out_dir = os.path.join(work, "out")
        os.makedirs(out_dir)
        if a.ffmpeg:
            cmd, _ = compare_peers.ffmpeg_command(a.job, src, out_dir)
        else:
            cmd = [os.path.join(a.build, "bin", "multiconv"), "-q", "-y", "-p", a.job,
                   "-o", out_dir, src]
        stages, threads = profile(cmd, os.path.join(work, "perf.data"))
    finally:
        shutil.rmtree(work, ignore_errors=True)
    total = sum(stages.values()) or 1
    print("%s %s %s, %d s: %.2f CPU s sampled" % ("ffmpeg" if a.ffmpeg else "multiconv",
                                                 a.input, a.job, a.seconds,
                                                 total / float(SAMPLE_HZ)))
    for stage in ("decode", "packing", "scaling", "capture", "encode", "mux", "other"):
        n = stages.get(stage, 0)
        print("  %-8s %5.1f %%  %6.2f s" % (stage, 100.0 * n / total, n / float(SAMPLE_HZ)))
    print("  threads: " + ", ".join("%s %.1f %%" % (t, 100.0 * n / total)
                                    for t, n in threads.most_common(8)))


if __name__ == "__main__":
    sys.exit(main())
