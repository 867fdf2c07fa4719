#!/usr/bin/env python3
"""Compares what was played with the file that was to be played.

Without a recording, describes the file: how long its audio is, and its sound. The recording is 16-bit mono raw PCM, as parec writes it from a sink's monitor; the
reference is the WAV or MP3 file (MP3 decoded by lame). Both are reduced to loudness
envelopes of 10 ms frames. The sound in each is the stretch from its first to its last
frame above a few per cent of its loudest one. Prints the figures; with --check, exits 1
when the sound's length is not that of the file or its envelope does not follow the file's.

Wine now and then drops 40 to 100 ms of a stream: the envelopes are therefore also
compared one second at a time, each second aligned on its own, so that a drop shifts only
what follows it and costs little.
"""

import argparse
import array
import math
import os
import struct
import subprocess
import sys
import tempfile

FRAME_SECONDS = 0.01
SOUND_SHARE = 0.03  # of the loudest frame: louder frames are sound
PIECE_FRAMES = 100
PIECE_SLACK_FRAMES = 12  # each second may sit up to 120 ms off the whole's alignment
MIN_RATIO, MAX_RATIO = 0.9, 1.05
MIN_CORRELATION = 0.8


def wav_samples(data):
    """(rate, mono 16-bit samples) of a PCM WAV; stereo is averaged."""
    if data[:4] != b"RIFF" or data[8:12] != b"WAVE":
        raise ValueError("not a WAV file")
    pos, fmt = 12, None
    while pos + 8 <= len(data):
        cid, size = data[pos:pos + 4], struct.unpack_from("<I", data, pos + 4)[0]
        body = data[pos + 8:pos + 8 + size]
        if cid == b"fmt ":
            fmt = struct.unpack_from("<HHIIHH", body)
        elif cid == b"data" and fmt:
            tag, channels, rate, _, _, bits = fmt
            if tag != 1 or bits != 16 or channels not in (1, 2):
                raise ValueError("not 16-bit PCM of one or two channels")
            samples = array.array("h", body[:len(body) - len(body) % (2 * channels)])
            if sys.byteorder != "little":
                samples.byteswap()
            if channels == 2:
                samples = array.array("h", ((a + b) // 2 for a, b in
                                            zip(samples[0::2], samples[1::2])))
            return rate, samples
        pos += 8 + size + (size & 1)
    raise ValueError("WAV without data")


def reference_samples(path):
    with open(path, "rb") as f:
        data = f.read()
    if data[:4] == b"RIFF":
        return wav_samples(data)
    with tempfile.TemporaryDirectory() as tmp:
        wav = os.path.join(tmp, "decoded.wav")
        subprocess.run(["lame", "--quiet", "--decode", path, wav], check=True, timeout=60)
        with open(wav, "rb") as f:
            return wav_samples(f.read())


def envelope(rate, samples):
    n = max(1, round(rate * FRAME_SECONDS))
    return [math.sqrt(sum(s * s for s in samples[i:i + n]) / n)
            for i in range(0, len(samples) - n + 1, n)]


def sound_span(env):
    """First and one past the last frame of sound; None when all is silence."""
    loudest = max(env, default=0)
    if loudest == 0:
        return None
    loud = [i for i, v in enumerate(env) if v > SOUND_SHARE * loudest]
    return loud[0], loud[-1] + 1


def correlation(a, b):
    n = min(len(a), len(b))
    if n < 2:
        return 0.0
    a, b = a[:n], b[:n]
    ma, mb = sum(a) / n, sum(b) / n
    cov = sum((x - ma) * (y - mb) for x, y in zip(a, b))
    va = sum((x - ma) ** 2 for x in a)
    vb = sum((y - mb) ** 2 for y in b)
    return cov / math.sqrt(va * vb) if va and vb else 0.0


def best_alignment(ref, rec, around, slack):
    """(correlation, offset in rec) of ref placed near around, within slack frames."""
    best = (-1.0, around)
    for offset in range(max(0, around - slack), min(len(rec) - 1, around + slack) + 1):
        c = correlation(ref, rec[offset:offset + len(ref)])
        if c > best[0]:
            best = (c, offset)
    return best


def compare(reference, recording, rate):
    ref_rate, ref_samples = reference_samples(reference)
    ref = envelope(ref_rate, ref_samples)
    ref_span = sound_span(ref)
    if ref_span is None:
        raise ValueError(f"{reference} holds no sound")
    figures = {"file_seconds": len(ref_samples) / ref_rate,
               "reference_seconds": (ref_span[1] - ref_span[0]) * FRAME_SECONDS}
    if recording is None:
        return figures
    with open(recording, "rb") as f:
        raw = f.read()
    rec_samples = array.array("h", raw[:len(raw) & ~1])
    if sys.byteorder != "little":
        rec_samples.byteswap()
    rec = envelope(rate, rec_samples)
    rec_span = sound_span(rec)
    if rec_span is None:
        return figures
    figures["start_seconds"] = rec_span[0] * FRAME_SECONDS
    figures["sound_seconds"] = (rec_span[1] - rec_span[0]) * FRAME_SECONDS
    figures["ratio"] = figures["sound_seconds"] / figures["reference_seconds"]
    sound = ref[ref_span[0]:ref_span[1]]
    whole, at = best_alignment(sound, rec, rec_span[0], 30)
    figures["correlation"] = whole
    pieces = []
    for start in range(0, len(sound) - PIECE_FRAMES // 2, PIECE_FRAMES):
        piece = sound[start:start + PIECE_FRAMES]
        pieces.append(best_alignment(piece, rec, at + start, PIECE_SLACK_FRAMES)[0])
    figures["piece_correlation"] = sum(pieces) / len(pieces) if pieces else whole
    figures["worst_piece"] = min(pieces) if pieces else whole
    return figures


def main():
    p = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    p.add_argument("reference", help="the WAV or MP3 file that was played")
    p.add_argument("--recording", help="16-bit mono raw PCM; without it only the file is described")
    p.add_argument("--rate", type=int, default=22050, help="the recording's sample rate")
    p.add_argument("--clock", help='"SECONDS BYTES": the Unix time at which the recording '
                   'held BYTES bytes; with --since, times count from that moment')
    p.add_argument("--since", type=float, help="a Unix time, such as that of a click")
    p.add_argument("--check", action="store_true", help="exit 1 when the figures are off")
    args = p.parse_args()
    f = compare(args.reference, args.recording, args.rate)
    print(f"file: {f['file_seconds']:.2f} s of audio, {f['reference_seconds']:.2f} s of it "
          f"sound")
    if args.recording is None:
        return 0
    if "sound_seconds" not in f:
        print("recorded: silence only")
        return 1 if args.check else 0
    start, where = f["start_seconds"], "into the recording"
    if args.clock and args.since is not None:
        with open(args.clock, encoding="ascii") as c:
            seconds, size = c.read().split()
        start += float(seconds) - int(size) / (2 * args.rate) - args.since
        where = "after the click"
    print(f"recorded: sound from {start:.2f} s {where} for {f['sound_seconds']:.2f} s, then "
          f"silence (ratio to the file's sound {f['ratio']:.3f}); envelope correlation "
          f"{f['correlation']:.3f} in one piece, {f['piece_correlation']:.3f} per second "
          f"(worst {f['worst_piece']:.3f})")
    ok = MIN_RATIO <= f["ratio"] <= MAX_RATIO and f["piece_correlation"] >= MIN_CORRELATION
    if args.check and not ok:
        print(f"recorded: not the file's sound (wanted a ratio in [{MIN_RATIO}, {MAX_RATIO}] "
              f"and a correlation per second of at least {MIN_CORRELATION})")
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
