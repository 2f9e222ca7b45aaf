#!/usr/bin/env python3
"""Whole conversions with multiconv against two peers doing the same job.

  bench/compare_peers.py [BUILD_DIR] [--runs N] [--seconds S] [--inputs sd,hd]
                         [--jobs PSP,iPod,...] [--peers ffmpeg,handbrake]
                         [--no-quality] [--readme [--readme-block NAME]] [--json FILE]

Peers: the ffmpeg command with the same codecs, size, rates and bit rates, and
HandBrakeCLI (Debian package handbrake-cli) where it has the codecs (MPEG-4 or
H.264 with AAC in MP4: the PSP and iPod jobs; it writes neither 3GP nor WMV).

Inputs (made with the ffmpeg command, --seconds long, default 60):
  sd   720x480 29.97 fps MPEG-2 + 48 kHz stereo MP2 in an MPEG program stream
  hd   1280x720 29.97 fps H.264 + 48 kHz stereo AAC in MP4
  fhd  1920x1080, uhd 3840x2160: as hd (not in the default --inputs)
Files as cameras and phones leave them (not in the default --inputs):
  camera    1280x720 MJPEG, full-range 4:2:2, + PCM in AVI
  portrait  1920x1080 H.264, full range, stored on its side (turned 90
            degrees to show upright 1080x1920, as phones record) + AAC in MP4
  hevc10    1920x1080 HEVC Main 10 + AAC in MP4
Jobs: "Phone (H.264 1080p)" (H.264 High 4.0 at constant quality 23 + AAC
160 kbit/s; for the fhd and uhd inputs, not in the default --jobs), PSP (MPEG-4 + AAC, 768/128 kbit/s), iPod (H.264 Baseline 1.3 + AAC,
600/128 kbit/s), 3GP phone (H.263 + AMR-NB, 15 fps, 128/12.2 kbit/s) and WMV
(WMV8 + WMA2, 500/64 kbit/s), 29.97 fps but the phone's. The profiles keep
the source's shape (a 3:2 picture goes into the PSP's 368x208 with black bars
beside it); the ffmpeg command is given our frame size and bars (scale, pad),
HandBrakeCLI our picture size without the bars. Both peers get the video rate
our profiles end up with under the device's limits, and the ffmpeg command
also its ceiling and buffer (VIDEO_RATE), so quality compares at the same bit
rate: PSP MPEG-4 672 kbit/s (ceiling 672, buffer 96 kbit), iPod H.264 576
(576, 192), 3GP phone H.263 96 (96, 32); WMV has no device ceiling.

Runs alternate between the programs (ours, ffmpeg, HandBrake, ours, ...) so a
change in the machine's load touches all alike. Per program: the best wall
and CPU (user + system) time of the runs, the highest peak resident memory,
the output's bit rate, and SSIM and PSNR of its pictures against the source
scaled (bicubic) to where our output holds the picture at the frame shift that gives the best
SSIM (-2..2 output frames; a correctly timed output has shift 0). Ratios are
ours ÷ ffmpeg command; an SSIM difference is ours − ffmpeg command.

--readme replaces the table between the markers in bench/README.md; with
--readme-block NAME the one between the markers of that name (the table of
the default inputs is "compare_peers").
"""

import argparse
import datetime
import json
import os
import re
import shlex
import shutil
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
SHIFTS = range(-2, 3)
DEFAULT_INPUTS = "sd,hd"
DEFAULT_JOBS = "PSP,iPod,3GP phone,WMV"
DEFAULT_BLOCK = "compare_peers"

# Output size and frame rate of each job, as the profiles set them.
JOB_SHAPE = {"PSP": ("320x240", "30000/1001"), "iPod": ("320x240", "30000/1001"),
             "3GP phone": ("176x144", "15"), "WMV": ("320x240", "30000/1001"),
             "Phone (H.264 1080p)": ("1920x1080", "30000/1001")}

# The video rate, ceiling and buffer (kbit/s, kbit/s, kbit) our profiles end
# up with once the device's limits hold them (the asked 768 / 600 / 128
# kbit/s less the buffer the player's peak must leave).
VIDEO_RATE = {"PSP": (672, 672, 96), "iPod": (576, 576, 192), "3GP phone": (96, 96, 32),
              "WMV": (500, 0, 0)}
# The phone's constant quality and the ceiling and buffer of H.264 High at
# level 4.0 as the profile keeps them (kbit/s, kbit), a key frame every two
# seconds, x264 looking 20 pictures ahead.
PHONE_1080P = ["-c:v", "libx264", "-profile:v", "high", "-level", "4.0", "-crf", "23",
               "-maxrate", "18750k", "-bufsize", "6250k", "-g", "60", "-x264-params",
               "rc-lookahead=20", "-c:a", "aac", "-b:a", "160k", "-ar", "48000", "-ac", "2",
               "-movflags", "+faststart"]


def rate_args(job):
    rate, ceiling, buffer = VIDEO_RATE[job]
    args = ["-b:v", "%dk" % rate]
    if ceiling:
        args += ["-maxrate", "%dk" % ceiling, "-bufsize", "%dk" % buffer]
    return args


def run(args, **kw):
    return subprocess.run(args, check=True, stdin=subprocess.DEVNULL, **kw)


# The inputs: frame size, codec arguments, container.
INPUTS = {
    "sd": ("720x480", ["-c:v", "mpeg2video", "-b:v", "6M", "-c:a", "mp2", "-b:a", "224k"],
           "sd.mpg", "vob"),
    "hd": ("1280x720", ["-c:v", "libx264", "-preset", "veryfast", "-b:v", "4M", "-c:a", "aac",
                        "-b:a", "160k"], "hd.mp4", "mp4"),
    "fhd": ("1920x1080", ["-c:v", "libx264", "-preset", "veryfast", "-b:v", "8M", "-c:a", "aac",
                          "-b:a", "160k"], "fhd.mp4", "mp4"),
    "uhd": ("3840x2160", ["-c:v", "libx264", "-preset", "ultrafast", "-b:v", "20M", "-c:a",
                          "aac", "-b:a", "160k"], "uhd.mp4", "mp4"),
    "camera": ("1280x720", ["-c:v", "mjpeg", "-q:v", "3", "-pix_fmt", "yuvj422p", "-c:a",
                            "pcm_s16le"], "camera.avi", "avi"),
    "portrait": ("1920x1080", ["-c:v", "libx264", "-preset", "veryfast", "-b:v", "8M",
                               "-pix_fmt", "yuvj420p", "-c:a", "aac", "-b:a", "160k"],
                 "portrait.mp4", "mp4", ["-metadata:s:v:0", "rotate=90"]),
    "hevc10": ("1920x1080", ["-c:v", "libx265", "-preset", "ultrafast", "-b:v", "6M",
                             "-pix_fmt", "yuv420p10le", "-x265-params", "log-level=error",
                             "-tag:v", "hvc1", "-c:a", "aac", "-b:a", "160k"], "hevc10.mp4",
               "mp4"),
}


def make_inputs(work, seconds, names):
    made = {}
    for name in names:
        size, codecs, file_name, container = INPUTS[name][:4]
        # Metadata the encoding command cannot write (a phone's turn) is
        # added by copying the streams into the file again.
        metadata = INPUTS[name][4] if len(INPUTS[name]) > 4 else None
        path = os.path.join(work, file_name)
        made_path = os.path.join(work, "unmarked-" + file_name) if metadata else path
        run(["ffmpeg", "-v", "error", "-nostdin", "-y", "-f", "lavfi", "-i",
             "testsrc2=size=%s:rate=30000/1001" % size, "-f", "lavfi", "-i",
             "sine=frequency=440:sample_rate=48000", "-t", str(seconds), *codecs, "-ac", "2",
             "-f", container, made_path])
        if metadata:
            run(["ffmpeg", "-v", "error", "-nostdin", "-y", "-i", made_path, "-c", "copy",
                 *metadata, path])
            os.remove(made_path)
        made[name] = path
    return made


def amr_encoder():
    out = run(["ffmpeg", "-hide_banner", "-encoders"], stdout=subprocess.PIPE,
              stderr=subprocess.DEVNULL, text=True).stdout
    # Debian's ffmpeg has no AMR-NB encoder: the peer then encodes AAC.
    return "libopencore_amrnb" if "libopencore_amrnb" in out else "aac"


def whole_frame(job):
    width, height = JOB_SHAPE[job][0].split("x")
    return int(width), int(height), int(width), int(height)


def ffmpeg_command(job, src, out_dir, geometry=None):
    """The ffmpeg command for the job, its picture placed as the geometry
    (frame width, height, picture width, height) says."""
    width, height, pic_w, pic_h = geometry or whole_frame(job)
    scale = "scale=%d:%d" % (pic_w, pic_h)
    if (pic_w, pic_h) != (width, height):
        scale += ",pad=%d:%d:%d:%d" % (width, height, (width - pic_w) // 2 // 2 * 2,
                                       (height - pic_h) // 2 // 2 * 2)
    # The devices take 4:2:0 of the video range, whatever the source's layout.
    scale += ",format=yuv420p"
    args = ["ffmpeg", "-v", "error", "-nostdin", "-y", "-i", src]
    if job == "PSP":
        out = os.path.join(out_dir, "ffmpeg.mp4")
        args += ["-vf", scale, "-r", "30000/1001", "-c:v", "mpeg4", *rate_args(job),
                 "-c:a", "aac", "-b:a", "128k", "-ar", "48000", "-ac", "2", "-f", "psp", out]
    elif job == "iPod":
        out = os.path.join(out_dir, "ffmpeg.mp4")
        args += ["-vf", scale, "-r", "30000/1001", "-c:v", "libx264",
                 "-profile:v", "baseline", "-level", "1.3", *rate_args(job), "-x264-params",
                 "ref=1:bframes=0:cabac=0:8x8dct=0:weightp=0:slices=1", "-c:a", "aac",
                 "-b:a", "128k", "-ar", "44100", "-ac", "2", "-f", "ipod", out]
    elif job == "Phone (H.264 1080p)":
        out = os.path.join(out_dir, "ffmpeg.mp4")
        args += ["-vf", scale, "-r", "30000/1001", *PHONE_1080P, out]
    elif job == "3GP phone":
        out = os.path.join(out_dir, "ffmpeg.3gp")
        args += ["-vf", scale, "-r", "15", "-c:v", "h263", *rate_args(job),
                 "-c:a", amr_encoder(), "-b:a", "12.2k", "-ar", "8000", "-ac", "1",
                 "-f", "3gp", out]
    else:
        out = os.path.join(out_dir, "ffmpeg.wmv")
        args += ["-vf", scale, "-r", "30000/1001", "-c:v", "wmv2", *rate_args(job),
                 "-c:a", "wmav2", "-b:a", "64k", "-ar", "44100", "-ac", "2", "-f", "asf", out]
    return args, out

def handbrake_command(job, src, out_dir, geometry=None):
    """HandBrakeCLI for the job: the geometry's picture size without bars."""
    if job not in ("PSP", "iPod") or not shutil.which("HandBrakeCLI"):
        return None, None
    out = os.path.join(out_dir, "handbrake.mp4")
    width, height = [str(x) for x in (geometry or whole_frame(job))[2:]]
    args = ["HandBrakeCLI", "-i", src, "-o", out, "-f", "av_mp4", "-w", width, "-l", height,
            "--custom-anamorphic", "--pixel-aspect", "1:1", "--no-keep-display-aspect", "--crop", "0:0:0:0", "-r", "29.97", "--cfr",
            "--no-deinterlace", "--no-decomb", "--no-detelecine",
            "-E", "av_aac", "-B", "128", "-6", "stereo"]
    if job == "PSP":
        args += ["-e", "mpeg4", "-b", str(VIDEO_RATE[job][0]), "-R", "48"]
    else:
        args += ["-e", "x264", "--encoder-profile", "baseline", "--encoder-level", "1.3",
                 "-b", str(VIDEO_RATE[job][0]), "-R", "44.1",
                 "-x", "ref=1:bframes=0:cabac=0:8x8dct=0:weightp=0:slices=1:"
                 "vbv-maxrate=%d:vbv-bufsize=%d" % VIDEO_RATE[job][1:]]
    return args, out


def measure(args):
    """Runs args; returns (wall s, CPU s, peak MB, standard output)."""
    started = time.monotonic()
    with tempfile.TemporaryFile() as out, tempfile.TemporaryFile() as err:
        proc = subprocess.Popen(args, stdin=subprocess.DEVNULL, stdout=out, stderr=err)
        _, status, usage = os.wait4(proc.pid, 0)
        wall = time.monotonic() - started
        proc.returncode = os.waitstatus_to_exitcode(status)
        out.seek(0)
        err.seek(0)
        if proc.returncode != 0:
            sys.stderr.write("failed (%d): %s\n%s\n" % (proc.returncode, " ".join(args),
                                                          err.read().decode(errors="replace")))
            sys.exit(1)
        return wall, usage.ru_utime + usage.ru_stime, usage.ru_maxrss / 1024.0, \
            out.read().decode(errors="replace")


def bit_rate_kbps(path):
    fmt = json.loads(run(["ffprobe", "-v", "error", "-show_format", "-of", "json", path],
                         stdout=subprocess.PIPE).stdout)["format"]
    return os.path.getsize(path) * 8 / float(fmt["duration"]) / 1000


def stream_shape(path):
    """(width, height, pixel aspect) of the first video stream as it shows:
    a picture stored on its side (a phone's) counts turned upright."""
    video = json.loads(run(["ffprobe", "-v", "error", "-select_streams", "v:0", "-show_entries",
                            "stream=width,height,sample_aspect_ratio:stream_side_data=rotation",
                            "-of", "json", path], stdout=subprocess.PIPE).stdout)["streams"][0]
    num, _, den = (video.get("sample_aspect_ratio") or "1:1").partition(":")
    sar = float(num) / float(den) if num.isdigit() and den.isdigit() and float(num) else 1.0
    width, height = int(video["width"]), int(video["height"])
    turn = sum(int(side.get("rotation", 0)) for side in video.get("side_data_list", []))
    if turn % 180:
        width, height, sar = height, width, 1 / sar
    return width, height, sar


def reference_filter(rate, geometry):
    """The source as it should look in an output of geometry (frame width,
    height, picture width, height: the picture centred, black around it)."""
    width, height, pic_w, pic_h = geometry
    text = "fps=%s,scale=%d:%d:flags=bicubic" % (rate, pic_w, pic_h)
    if (pic_w, pic_h) != (width, height):
        text += ",pad=%d:%d:%d:%d" % (width, height, (width - pic_w) // 2 // 2 * 2,
                                      (height - pic_h) // 2 // 2 * 2)
    return text + ",format=yuv420p"


def shown_filter(rate):
    """An output's pictures as a player shows them, one per frame time: a
    picture a device's peak rate left out keeps the one before on the
    screen for two frames, and every later picture stays at its time."""
    return "fps=%s,format=yuv420p" % rate


def ssim_by_shift(source, output, rate, geometry, shifts, frames=None):
    n = len(shifts)
    parts = ["[1:v:0]%s,split=%d%s" % (reference_filter(rate, geometry), n,
                                         "".join("[s%d]" % i for i in range(n))),
             "[0:v:0]%s,split=%d%s" % (shown_filter(rate), n,
                                       "".join("[o%d]" % i for i in range(n)))]
    last = ":end_frame=%d" % frames if frames else ""
    for i, shift in enumerate(shifts):
        src_first, out_first = max(shift, 0), max(-shift, 0)
        parts.append("[s%d]trim=start_frame=%d,settb=1/1000,setpts=N*10[ss%d]" % (
            i, src_first, i))
        parts.append("[o%d]trim=start_frame=%d%s,settb=1/1000,setpts=N*10[oo%d]" % (
            i, out_first, last, i))
        # The last comparison feeds the output, which pulls the graph along.
        parts.append("[oo%d][ss%d]ssim@m%d=shortest=1%s" % (
            i, i, i, "[out]" if i == n - 1 else ",nullsink"))
    err = run(["ffmpeg", "-nostdin", "-hide_banner", "-i", output, "-i", source,
               "-filter_complex", ";".join(parts), "-map", "[out]", "-f", "null", "-"],
              stderr=subprocess.PIPE, text=True).stderr
    scores = {}
    for i, shift in enumerate(shifts):
        m = re.search(r"\[ssim@m%d @ [^]]*\] SSIM .*All:([0-9.]+)" % i, err)
        scores[shift] = float(m.group(1)) if m else 0.0
    return scores


def picture_geometry(source, output, rate):
    """Where the picture sits in our output: stretched over the whole frame,
    or at the source's shape with black bars, whichever matches better."""
    src_w, src_h, src_sar = stream_shape(source)
    width, height, sar = stream_shape(output)
    src_dar, out_dar = src_w * src_sar / src_h, width * sar / height
    if src_dar > out_dar:
        fitted = (width, height, width, int(round(height * out_dar / src_dar / 2)) * 2)
    else:
        fitted = (width, height, int(round(width * src_dar / out_dar / 2)) * 2, height)
    whole = (width, height, width, height)
    if fitted == whole:
        return whole
    scores = {g: ssim_by_shift(source, output, rate, g, [0], frames=60)[0]
              for g in (whole, fitted)}
    return max(scores, key=lambda g: scores[g])


def quality(source, output, job, geometry):
    """SSIM and PSNR by frame shift (output frame n against source frame
    n + shift, the source resampled to the output's rate and placed as the
    geometry says); returns (best shift, SSIM, PSNR) at the best SSIM."""
    rate = JOB_SHAPE[job][1]
    scores = ssim_by_shift(source, output, rate, geometry, list(SHIFTS))
    best = max(SHIFTS, key=lambda s: scores[s])
    src_first, out_first = max(best, 0), max(-best, 0)
    graph = ("[1:v:0]%s,trim=start_frame=%d,settb=1/1000,setpts=N*10[s];"
             "[0:v:0]%s,trim=start_frame=%d,settb=1/1000,setpts=N*10[o];"
             "[o][s]psnr=shortest=1[out]" % (reference_filter(rate, geometry), src_first,
                                               shown_filter(rate), out_first))
    err = run(["ffmpeg", "-nostdin", "-hide_banner", "-i", output, "-i", source,
               "-filter_complex", graph, "-map", "[out]", "-f", "null", "-"],
              stderr=subprocess.PIPE, text=True).stderr
    m = re.search(r"PSNR .*average:([0-9.inf]+)", err)
    return best, scores[best], float(m.group(1)) if m else float("nan")


def compare(build, inputs, jobs, peers, runs, with_quality, work):
    multiconv = os.path.join(build, "bin", "multiconv")
    rows = []
    for name in inputs:
        src = inputs[name]
        for job in jobs:
            out_dir = os.path.join(work, "out")
            programs = {}
            geometry = None
            for run_index in range(runs):
                for prog in ["ours"] + peers:
                    shutil.rmtree(out_dir, ignore_errors=True)
                    os.makedirs(out_dir)
                    if prog == "ours":
                        args, out = [multiconv, "-q", "-y", "-p", job, "-o", out_dir, src], None
                    elif prog == "ffmpeg":
                        args, out = ffmpeg_command(job, src, out_dir, geometry)
                    else:
                        args, out = handbrake_command(job, src, out_dir, geometry)
                    if args is None:
                        continue
                    wall, cpu, mb, stdout = measure(args)
                    if out is None:
                        out = stdout.strip().splitlines()[-1]
                    if not os.path.isfile(out):
                        sys.exit("%s wrote no %s" % (prog, out))
                    if prog == "ours":
                        # The peers make our picture (size, bars), so all do
                        # the same work.
                        geometry = geometry or picture_geometry(src, out,
                                                                JOB_SHAPE[job][1])
                    rec = programs.setdefault(prog, {"wall": wall, "cpu": cpu, "mb": mb})
                    rec["wall"], rec["cpu"] = min(rec["wall"], wall), min(rec["cpu"], cpu)
                    rec["mb"] = max(rec["mb"], mb)
                    if run_index == runs - 1:
                        rec["kbps"] = bit_rate_kbps(out)
                        if with_quality:
                            placed = geometry if prog != "handbrake" else \
                                (geometry[2], geometry[3], geometry[2], geometry[3])
                            rec["shift"], rec["ssim"], rec["psnr"] = quality(src, out, job,
                                                                             placed)
            row = {"input": name, "job": job, "programs": programs}
            rows.append(row)
            print_row(row, peers)
    return rows


def cell(rec, with_quality):
    if rec is None:
        return "—"
    text = "%.2f / %.2f / %.0f, %.0f kbit/s" % (rec["wall"], rec["cpu"], rec["mb"], rec["kbps"])
    if with_quality and "ssim" in rec:
        text += ", SSIM %.4f, PSNR %.2f, shift %+d" % (rec["ssim"], rec["psnr"], rec["shift"])
    return text


def ratios(row):
    ours, peer = row["programs"].get("ours"), row["programs"].get("ffmpeg")
    if not ours or not peer:
        return "—"
    text = "%.2f / %.2f / %.2f" % (ours["wall"] / peer["wall"], ours["cpu"] / peer["cpu"],
                                   ours["mb"] / peer["mb"])
    if "ssim" in ours and "ssim" in peer:
        text += ", SSIM %+.4f" % (ours["ssim"] - peer["ssim"])
    return text


def print_row(row, peers):
    sys.stdout.write("%s %s\n" % (row["input"], row["job"]))
    for prog in ["ours"] + peers:
        rec = row["programs"].get(prog)
        sys.stdout.write("  %-9s %s\n" % (prog, cell(rec, True)))
    sys.stdout.write("  ratio     %s\n" % ratios(row))
    sys.stdout.flush()


def markdown(rows, peers, args):
    names = {"ours": "multiconv", "ffmpeg": "ffmpeg command", "handbrake": "HandBrakeCLI"}
    chosen = "".join(" --%s %s" % (option, shlex.quote(value)) for option, value, default in (
        ("inputs", args.inputs, DEFAULT_INPUTS), ("jobs", args.jobs, DEFAULT_JOBS),
        ("readme-block", args.readme_block, DEFAULT_BLOCK)) if value != default)
    lines = ["`bench/compare_peers.py %s%s --readme` (%d s clips, %d alternating runs), %s. "
             "Wall s / CPU s / peak MB, output bit rate, SSIM and PSNR against the source "
             "scaled to where our output holds the picture, at the best frame shift; ratio ours ÷ ffmpeg command "
             "(wall / CPU / memory) and SSIM difference:" % (
                 args.build, chosen, args.seconds, args.runs,
                 datetime.date.today().isoformat()), "",
             "| input | job | " + " | ".join(names[p] for p in ["ours"] + peers) +
             " | ratio |", "|---|---|" + "---|" * (len(peers) + 2)]
    for row in rows:
        cells = [cell(row["programs"].get(p), True) for p in ["ours"] + peers]
        lines.append("| %s | %s | %s | %s |" % (row["input"], row["job"], " | ".join(cells),
                                                 ratios(row)))
    return "\n".join(lines) + "\n"


def update_readme(text, name):
    """Replaces the README's block of that name (its begin and end markers
    and what lies between), or adds it at the end."""
    path = os.path.join(HERE, "README.md")
    with open(path, encoding="utf-8") as f:
        readme = f.read()
    begin, end = "<!-- %s: begin -->" % name, "<!-- %s: end -->" % name
    block = "%s\n%s%s" % (begin, text, end)
    if begin in readme:
        head, rest = readme.split(begin, 1)
        readme = head + block + rest.split(end, 1)[1]
    else:
        readme = readme.rstrip("\n") + "\n\n" + block + "\n"
    with open(path, "w", encoding="utf-8") as f:
        f.write(readme)


def main():
    parser = argparse.ArgumentParser(description=__doc__,
                                     formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("build", nargs="?", default="build")
    parser.add_argument("--runs", type=int, default=3)
    parser.add_argument("--seconds", type=int, default=60)
    parser.add_argument("--inputs", default=DEFAULT_INPUTS)
    parser.add_argument("--jobs", default=DEFAULT_JOBS)
    parser.add_argument("--readme-block", default=DEFAULT_BLOCK,
                        help="the README block --readme replaces")
    parser.add_argument("--peers", default="ffmpeg,handbrake")
    parser.add_argument("--no-quality", action="store_true")
    parser.add_argument("--readme", action="store_true")
    parser.add_argument("--json")
    args = parser.parse_args()
    if not os.access(os.path.join(args.build, "bin", "multiconv"), os.X_OK):
        sys.exit("no %s/bin/multiconv: build it first" % args.build)
    peers = [p for p in args.peers.split(",") if p]
    if "handbrake" in peers and not shutil.which("HandBrakeCLI"):
        sys.stderr.write("no HandBrakeCLI (Debian package handbrake-cli): left out\n")
        peers.remove("handbrake")
    work = tempfile.mkdtemp(prefix="ovc-peers-")
    try:
        os.environ.update(OVC_HOME=os.path.join(work, "home"),
                          OVC_REGISTRY=os.path.join(work, "registry.sqlite3"), OVC_TEMP=work)
        sys.stderr.write("making the inputs (%d s) ...\n" % args.seconds)
        inputs = make_inputs(work, args.seconds, args.inputs.split(","))
        rows = compare(args.build, inputs, args.jobs.split(","), peers, args.runs,
                       not args.no_quality, work)
    finally:
        shutil.rmtree(work, ignore_errors=True)
    if args.json:
        with open(args.json, "w", encoding="utf-8") as f:
            json.dump(rows, f, indent=1)
    if args.readme:
        update_readme(markdown(rows, peers, args), args.readme_block)


if __name__ == "__main__":
    sys.exit(main())
