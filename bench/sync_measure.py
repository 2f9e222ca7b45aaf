#!/usr/bin/env python3
"""Picture/sound sync and picture alignment as a player presents a file.

  sync_measure.py clip OUT [--seconds S] [--fps N[/D]] [--size WxH] [--rate HZ]
                  [--channels N] [--u8] [--audio-start S] [--kind mkv|avi|mpg|mp4]
      writes a marker clip: a 0.1 s white flash and a 20 ms 1 kHz tone burst every
      2 s, aligned (moving test picture between the flashes).

  sync_measure.py sync SOURCE OUTPUT... [--every S] [--per-flash] [--json]
      decodes each file with the ffmpeg command as a player presents it (MP4
      edit lists and encoder delay applied, sound placed by its time stamps),
      finds the flash and burst onsets and prints, per output, what the
      conversion added to the burst-after-flash offset (output minus source):
      worst absolute, mean, and the output's frame period.

  sync_measure.py shift SOURCE OUTPUT [--seconds S] [--max-shift K]
      SSIM of the output against the source scaled to the output size, for
      frame shifts -K..K (output frame n against source frame n+shift); prints
      each and the best shift.

Needs only python3 and the ffmpeg/ffprobe commands.
"""

import argparse
import json
import os
import re
import statistics
import subprocess
import sys
import tempfile

FLASH_SECONDS = 0.1
BURST_SECONDS = 0.02
TONE_HZ = 1000


def run(args, **kw):
    return subprocess.run(args, check=True, stdin=subprocess.DEVNULL, **kw)


def probe(path):
    out = run(["ffprobe", "-v", "error", "-show_streams", "-of", "json", path],
              stdout=subprocess.PIPE).stdout
    streams = json.loads(out)["streams"]
    video = next((s for s in streams if s["codec_type"] == "video"), None)
    audio = next((s for s in streams if s["codec_type"] == "audio"), None)
    return video, audio


def rate_of(text):
    num, _, den = text.partition("/")
    return float(num) / float(den or 1) if float(den or 1) else 0.0


def make_clip(a):
    fps = a.fps
    kinds = {
        "mkv": (["-c:v", "mpeg4", "-q:v", "2"], "pcm_s16le"),
        "mp4": (["-c:v", "mpeg4", "-q:v", "2"], "aac"),
        "avi": (["-c:v", "mpeg4", "-q:v", "2"], "pcm_s16le"),
        "mpg": (["-c:v", "mpeg2video", "-q:v", "2", "-g", "15"], "mp2"),
    }
    vcodec, acodec = kinds[a.kind]
    if a.u8:
        acodec = "pcm_u8"
    tone = "0.7*sin(2*PI*%d*t)*lt(mod(t,2),%g)" % (TONE_HZ, BURST_SECONDS)
    layout = {1: "mono", 2: "stereo", 6: "5.1"}[a.channels]
    flash = "drawbox=x=0:y=0:w=iw:h=ih:color=white:t=fill:enable='lt(mod(t,2),%g)'" % FLASH_SECONDS
    graph = "testsrc2=size=%s:rate=%s,%s[v];aevalsrc='%s':s=%d:c=%s" % (
        a.size, fps, flash, "|".join([tone] * a.channels), a.rate, layout)
    if a.audio_start > 0:
        graph += ",atrim=start=%g" % a.audio_start
    graph += "[a]"
    args = ["ffmpeg", "-v", "error", "-y", "-filter_complex", graph, "-map", "[v]", "-map", "[a]",
            "-t", str(a.seconds)] + vcodec + ["-pix_fmt", "yuv420p", "-c:a", acodec]
    if acodec == "mp2":
        args += ["-b:a", "256k"]
    run(args + [a.out])


def onsets(flags, min_gap):
    """Indices where a run of set flags begins, runs closer than min_gap joined."""
    starts, last = [], None
    for i in flags:
        if last is None or i - last > min_gap:
            starts.append(i)
        last = i
    return starts


def markers(path):
    """(flash times, burst times, frame period) in seconds as a player presents the file."""
    video, audio = probe(path)
    if video is None or audio is None:
        raise SystemExit("%s: needs a picture and a sound stream" % path)
    sample_rate = int(audio["sample_rate"])
    period = 1 / rate_of(video.get("avg_frame_rate") or video["r_frame_rate"])
    with tempfile.TemporaryDirectory() as work:
        pcm = os.path.join(work, "a.u8")
        # The ffmpeg command applies MP4/MOV edit lists and the encoder delay
        # the container declares; both streams are shifted by the same start.
        # The sound is placed by its time stamps (holes filled, overlaps cut,
        # never stretched), starting at time 0.
        graph = ("[0:v:0]scale=32:32,format=gray,showinfo[v];"
                 "[0:a:0]aresample=min_comp=0.0001:min_hard_comp=0.0001:first_pts=0,"
                 "aformat=sample_fmts=u8:channel_layouts=mono[a]")
        proc = run(["ffmpeg", "-nostdin", "-hide_banner", "-i", path, "-filter_complex", graph,
                    "-map", "[v]", "-f", "null", "-", "-map", "[a]", "-f", "u8", pcm],
                   stderr=subprocess.PIPE, text=True)
        with open(pcm, "rb") as f:
            samples = f.read()
    # Times from the integer pts and the time base: pts_time has only six
    # significant digits (10 ms after 1000 s).
    frames, time_base = [], None
    for line in proc.stderr.splitlines():
        if "Parsed_showinfo" not in line:
            continue
        tb = re.search(r"config in time_base: (\d+)/(\d+)", line)
        if tb:
            time_base = int(tb.group(1)) / int(tb.group(2))
        t = re.search(r" pts:\s*(-?\d+)", line)
        m = re.search(r"mean:\[(\d+)", line)
        if t and m and time_base:
            frames.append((int(t.group(1)) * time_base, int(m.group(1))))
    means = sorted(m for _, m in frames)
    if not means:
        raise SystemExit("%s: no pictures decoded" % path)
    threshold = (means[len(means) // 2] + means[-1]) / 2
    bright = [i for i, (_, m) in enumerate(frames) if m > threshold]
    flash_frames = onsets(bright, max(1, int(0.5 / period)))
    flashes = [frames[i][0] for i in flash_frames]

    loudest = max(abs(b - 128) for b in (max(samples), min(samples))) if samples else 0
    level = max(8, int(loudest * 0.4))
    low, high = 128 - level, 128 + level
    loud = re.compile(b"[\\x00-%s%s-\\xff]" % (
        re.escape(bytes([low])), re.escape(bytes([high]))))
    hits = (m.start() for m in loud.finditer(samples))
    bursts = [i / sample_rate for i in onsets(hits, int(0.5 * sample_rate))]
    return flashes, bursts, period


def offsets(flashes, bursts, every):
    """Burst minus flash per marker number (round(flash time / every))."""
    result = {}
    for f in flashes:
        near = [b for b in bursts if abs(b - f) < every / 4]
        if near:
            b = min(near, key=lambda b: abs(b - f))
            result[int(round(f / every))] = b - f
    return result


def sync(a):
    src_flashes, src_bursts, _ = markers(a.source)
    src = offsets(src_flashes, src_bursts, a.every)
    rows = []
    for out_path in a.outputs:
        flashes, bursts, period = markers(out_path)
        out = offsets(flashes, bursts, a.every)
        common = sorted(set(src) & set(out))
        added = [out[k] - src[k] for k in common]
        row = {
            "output": out_path,
            "markers": len(common),
            "source_markers": len(src),
            "worst_ms": max((abs(x) for x in added), default=float("nan")) * 1000,
            "mean_ms": (statistics.mean(added) if added else float("nan")) * 1000,
            "period_ms": period * 1000,
            "added_ms": [round(x * 1000, 1) for x in added],
        }
        rows.append(row)
        if not a.json:
            print("%s: added offset worst %.1f ms, mean %+.1f ms, %d/%d markers, frame period "
                  "%.1f ms" % (out_path, row["worst_ms"], row["mean_ms"], row["markers"],
                               row["source_markers"], row["period_ms"]))
            if a.per_flash:
                print("  per marker (ms): " + " ".join("%+.1f" % x for x in row["added_ms"]))
    if a.json:
        print(json.dumps(rows))


def ssim_at(source, output, shift, seconds, size, fps):
    frames = int(seconds * fps)
    src_first, out_first = max(shift, 0), max(-shift, 0)
    graph = ("[1:v:0]scale=%s:flags=bicubic,format=yuv420p,trim=start_frame=%d:end_frame=%d,"
             "settb=1/1000,setpts=N*10[s];"
             "[0:v:0]format=yuv420p,trim=start_frame=%d:end_frame=%d,settb=1/1000,setpts=N*10[o];"
             "[o][s]ssim=shortest=1" % (size, src_first, src_first + frames, out_first,
                                        out_first + frames))
    err = run(["ffmpeg", "-nostdin", "-hide_banner", "-i", output, "-i", source,
               "-filter_complex", graph, "-f", "null", "-"],
              stderr=subprocess.PIPE, text=True).stderr
    m = re.search(r"All:([0-9.]+)", err)
    return float(m.group(1)) if m else float("nan")


def shift(a):
    video, _ = probe(a.output)
    size = "%d:%d" % (int(video["width"]), int(video["height"]))
    fps = rate_of(video.get("avg_frame_rate") or video["r_frame_rate"])
    scores = {s: ssim_at(a.source, a.output, s, a.seconds, size, fps)
              for s in range(-a.max_shift, a.max_shift + 1)}
    best = max(scores, key=lambda s: scores[s])
    if a.json:
        print(json.dumps({"best_shift": best, "ssim": scores}))
    else:
        print("%s: SSIM by shift %s; best shift %d" % (
            a.output, " ".join("%+d:%.4f" % (s, v) for s, v in scores.items()), best))


def main():
    parser = argparse.ArgumentParser(description=__doc__,
                                     formatter_class=argparse.RawDescriptionHelpFormatter)
    sub = parser.add_subparsers(dest="command", required=True)
    c = sub.add_parser("clip")
    c.add_argument("out")
    c.add_argument("--seconds", type=float, default=30)
    c.add_argument("--fps", default="25")
    c.add_argument("--size", default="320x240")
    c.add_argument("--rate", type=int, default=48000)
    c.add_argument("--channels", type=int, default=2, choices=[1, 2, 6])
    c.add_argument("--u8", action="store_true")
    c.add_argument("--audio-start", type=float, default=0)
    c.add_argument("--kind", default="mkv", choices=["mkv", "mp4", "avi", "mpg"])
    s = sub.add_parser("sync")
    s.add_argument("source")
    s.add_argument("outputs", nargs="+")
    s.add_argument("--every", type=float, default=2.0)
    s.add_argument("--per-flash", action="store_true")
    s.add_argument("--json", action="store_true")
    h = sub.add_parser("shift")
    h.add_argument("source")
    h.add_argument("output")
    h.add_argument("--seconds", type=float, default=10)
    h.add_argument("--max-shift", type=int, default=2)
    h.add_argument("--json", action="store_true")
    a = parser.parse_args()
    {"clip": make_clip, "sync": sync, "shift": shift}[a.command](a)


if __name__ == "__main__":
    sys.exit(main())
