#!/usr/bin/env python3
"""Local stand-in for the speech service, for the client's tests.

Speaks the synthesis protocol on 127.0.0.1: checks the field order, the
signature and the time stamp of each request, answers with real speech made
by espeak-ng (and lame for MP3), records every request for the tests to
inspect, and can be told to misbehave in the ways a real service or network
does. Standard library only.
"""

import argparse
import base64
import gzip
import hashlib
import html
import json
import os
import re
import signal
import socket
import ssl
import struct
import subprocess
import sys
import threading
import time
import urllib.parse
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer

TTS_PATH = "/fcgi-bin/aai/aai_tts"
FIELD_ORDER = ["aht", "apc", "app_id", "format", "nonce_str", "speaker",
               "speed", "text", "time_stamp", "volume", "sign"]
BUILTIN_KEYS = {"2600417735": "Hx4PnQ8sWe2LkT6u"}
# The client's time stamp counts from 1970-01-01 08:00 local time.
CLIENT_ZONE_SECONDS = 8 * 3600

RET_OK = 0
RET_FIELDS = 16385
RET_APP_ID = 16386
RET_STAMP_FORMAT = 16387
RET_STAMP_STALE = 16388
RET_SIGN = 16389
RET_TEXT = 16390
RET_SYNTHESIS = 16391

FORMAT_PCM, FORMAT_WAV, FORMAT_MP3 = 1, 2, 3
CONTENT_TYPES = {FORMAT_PCM: "application/octet-stream",
                 FORMAT_WAV: "audio/wav", FORMAT_MP3: "audio/mpeg"}
SILENCE_SECONDS = 0.25
JUNK_DEFAULT = "*"

# Ways of breaking the reply ("fault" setting). Framing (Handler._send_fault, connection
# closed after the reply): reset: half the body, then RST; long_length: Content-Length 100
# beyond the body; two_lengths: the true Content-Length and a second one of 10;
# garbage_status: "GARBAGE" for a status line; gzip: the body gzip-compressed, unasked;
# trickle: a minimal reply with TRICKLE_AUDIO, its body one byte per trickle_interval
# seconds. Content (json_reply): bad_bytes: BAD_UTF8 before the speech member and a NUL
# after it; nul_first: a NUL before it; truncate_base64: the base64 cut inside a group,
# unpadded (/__last_audio then holds what that text decodes to).
FAULTS = ("reset", "long_length", "two_lengths", "garbage_status", "gzip", "trickle",
          "bad_bytes", "nul_first", "truncate_base64")
# The trickled reply carries these few bytes as its audio, so that it ends within seconds.
TRICKLE_AUDIO = b"lvx"
# Bytes that are neither UTF-8 nor GBK; the last one is a GBK lead byte before a quote.
BAD_UTF8 = b"\xff\xfe\xc3"
RESET_HOLD_SECONDS = 0.2
HOP_PATH = re.compile(r"(?:/__hop/([0-9]+))?" + re.escape(TTS_PATH))


# ---------------------------------------------------------------- config

def _bool(v):
    if not isinstance(v, bool):
        raise ValueError("must be true or false")
    return v


def _non_negative_number(v):
    if isinstance(v, bool) or not isinstance(v, (int, float)) or v < 0:
        raise ValueError("must be a number >= 0")
    return v


def _non_negative_int(v):
    if isinstance(v, bool) or not isinstance(v, int) or v < 0:
        raise ValueError("must be an integer >= 0")
    return v


def _positive_int(v):
    if isinstance(v, bool) or not isinstance(v, int) or v < 1:
        raise ValueError("must be an integer >= 1")
    return v


def _cut(v):
    # None: whole reply; true: half of the body; N: the first N body bytes.
    if v is None or isinstance(v, bool):
        return v or None
    return _non_negative_int(v)


def _status(v):
    if v is None:
        return None
    if isinstance(v, int) and not isinstance(v, bool) and 100 <= v <= 999:
        return v
    if isinstance(v, str) and re.fullmatch(r"[1-9][0-9]{2}( [^\r\n]*)?", v):
        return v
    raise ValueError('must be null, a code 100..999 or "CODE REASON"')


def _junk(v):
    if v is None or v is False:
        return None
    if v is True:
        return JUNK_DEFAULT
    if isinstance(v, str) and v:
        return v
    raise ValueError("must be false, true or a non-empty string")


def _stamp_offset(v):
    if v == "local" or (isinstance(v, int) and not isinstance(v, bool)):
        return v
    raise ValueError('must be an integer or "local"')


def _fault(v):
    if v is None or v in FAULTS:
        return v
    raise ValueError("must be null or one of " + ", ".join(FAULTS))


def _positive_number(v):
    if isinstance(v, bool) or not isinstance(v, (int, float)) or v <= 0:
        raise ValueError("must be a number > 0")
    return v


def _redirect(v):
    # {"code": 307, "hops": 1, "loop": false, "host": null}; host: absolute Locations.
    if v is None:
        return None
    if not isinstance(v, dict) or set(v) - {"code", "hops", "loop", "host"}:
        raise ValueError('must be null or {"code", "hops", "loop", "host"}')
    r = {"code": v.get("code", 307), "hops": v.get("hops", 1), "loop": v.get("loop", False),
         "host": v.get("host")}
    if isinstance(r["code"], bool) or r["code"] not in (301, 302, 303, 307, 308):
        raise ValueError("code must be 301, 302, 303, 307 or 308")
    _positive_int(r["hops"])
    _bool(r["loop"])
    if r["host"] is not None and not (isinstance(r["host"], str)
                                      and re.fullmatch(r"[-.0-9A-Za-z]+", r["host"])):
        raise ValueError("host must be null or a host name")
    return r


def _keys(v):
    if not isinstance(v, dict) or not all(
            isinstance(k, str) and isinstance(x, str) for k, x in v.items()):
        raise ValueError("must be an object of strings {app_id: key}")
    return dict(v)


CONFIG_SPEC = {
    "escape_slashes": (False, _bool),
    "compact": (False, _bool),
    "stall_seconds": (0, _non_negative_number),
    "cut": (None, _cut),
    "status": (None, _status),
    "no_speech": (False, _bool),
    "junk_base64": (None, _junk),
    "junk_every": (76, _positive_int),
    "pad_audio_bytes": (0, _non_negative_int),
    "max_skew": (300, _non_negative_int),
    "stamp_offset": (0, _stamp_offset),
    "keys": ({}, _keys),
    "accept_empty": (False, _bool),
    "fault": (None, _fault),
    "trickle_interval": (1, _positive_number),
    "redirect": (None, _redirect),
    # Long texts take espeak-ng minutes: speak only the first N characters (0: all).
    "speak_first_chars": (0, _non_negative_int),
}


def make_config(base, changes):
    """base with changes applied and checked; raises ValueError naming the key."""
    unknown = sorted(set(changes) - set(CONFIG_SPEC))
    if unknown:
        raise ValueError("unknown setting(s): " + ", ".join(unknown))
    cfg = dict(base)
    for name, value in changes.items():
        try:
            cfg[name] = CONFIG_SPEC[name][1](value)
        except ValueError as e:
            raise ValueError(f"{name}: {e}") from None
    return cfg


def key_table(cfg):
    table = dict(BUILTIN_KEYS)
    table.update(cfg["keys"])
    if cfg["accept_empty"]:
        table.setdefault("", "")
    return table


# ---------------------------------------------------------------- audio

def _wav_pcm(wav):
    """(sample rate, PCM bytes) of a 16-bit mono WAV.

    espeak-ng writes streaming headers whose sizes are placeholders, so a
    data chunk runs to the end of the file when its size overshoots.
    """
    if wav[:4] != b"RIFF" or wav[8:12] != b"WAVE":
        raise RuntimeError("espeak-ng did not write a WAV file")
    pos, rate = 12, None
    while pos + 8 <= len(wav):
        cid, size = wav[pos:pos + 4], struct.unpack_from("<I", wav, pos + 4)[0]
        body = wav[pos + 8:pos + 8 + size]
        if cid == b"fmt ":
            tag, channels, rate, _, _, bits = struct.unpack_from("<HHIIHH", body)
            if (tag, channels, bits) != (1, 1, 16):
                raise RuntimeError("espeak-ng WAV is not 16-bit mono PCM")
        elif cid == b"data":
            if rate is None:
                raise RuntimeError("WAV data before its format")
            return rate, body[:len(body) & ~1]
        pos += 8 + size + (size & 1)
    raise RuntimeError("WAV without data")


def make_wav(rate, pcm):
    return (b"RIFF" + struct.pack("<I", 36 + len(pcm)) + b"WAVE"
            + b"fmt " + struct.pack("<IHHIIHH", 16, 1, 1, rate, rate * 2, 2, 16)
            + b"data" + struct.pack("<I", len(pcm)) + pcm)


def _run(cmd, data):
    p = subprocess.run(cmd, input=data, stdout=subprocess.PIPE,
                       stderr=subprocess.PIPE, timeout=120, check=False)
    if p.returncode != 0:
        raise RuntimeError(f"{cmd[0]} failed: {p.stderr.decode(errors='replace').strip()}")
    return p.stdout


def encode_mp3(rate, pcm, *extra):
    # lame writes to a pipe, so it adds no tag frame that would give the
    # stream's length (padding appends frames after it).
    return _run(["lame", "--quiet", *extra, "-", "-"], make_wav(rate, pcm))


MP3_RATES = {3: (44100, 48000, 32000), 2: (22050, 24000, 16000), 0: (11025, 12000, 8000)}


def _mp3_frames(data):
    """Offsets and lengths of the MPEG audio layer III frames in data."""
    kbps1 = (0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320)
    kbps2 = (0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160)
    pos, frames = 0, []
    while pos + 4 <= len(data):
        h = struct.unpack_from(">I", data, pos)[0]
        version, layer = (h >> 19) & 3, (h >> 17) & 3
        bitrate, rate_i, padding = (h >> 12) & 15, (h >> 10) & 3, (h >> 9) & 1
        if (h >> 21) != 0x7FF or version == 1 or layer != 1 or bitrate in (0, 15) or rate_i == 3:
            break
        rate = MP3_RATES[version][rate_i]
        if version == 3:
            length = 144000 * kbps1[bitrate] // rate + padding
        else:
            length = 72000 * kbps2[bitrate] // rate + padding
        frames.append((pos, length))
        pos += length
    return frames


def audio_seconds(fmt, rate, audio):
    """How long audio plays: MP3 by its frames, WAV and PCM by their 16-bit mono samples."""
    if fmt != FORMAT_MP3:
        samples = len(audio) - (44 if fmt == FORMAT_WAV else 0)
        return max(samples, 0) / (2 * rate) if rate else 0.0
    frames = _mp3_frames(audio)
    if not frames:
        return 0.0
    h = struct.unpack_from(">I", audio, frames[0][0])[0]
    version = (h >> 19) & 3
    return len(frames) * (1152 if version == 3 else 576) / MP3_RATES[version][(h >> 10) & 3]


class AudioMaker:
    """Makes and caches the audio for a text, per format."""

    def __init__(self, voice):
        self.voice = voice
        self.lock = threading.Lock()
        self.cache = {}
        self.silent_frame = None

    def _pcm(self, text):
        if text == "":
            rate, pcm = 22050, b""
        else:
            wav = _run(["espeak-ng", "-v", self.voice, "-b", "1", "--stdout"],
                       text.encode("utf-8"))
            rate, pcm = _wav_pcm(wav)
        if not pcm:
            # Nothing speakable still gives a playable file.
            pcm = bytes(2 * int(rate * SILENCE_SECONDS))
        return rate, pcm

    def audio(self, text, fmt):
        with self.lock:
            if (text, fmt) not in self.cache:
                if (text, 0) not in self.cache:
                    self.cache[(text, 0)] = self._pcm(text)
                rate, pcm = self.cache[(text, 0)]
                if fmt == FORMAT_PCM:
                    self.cache[(text, fmt)] = pcm
                elif fmt == FORMAT_WAV:
                    self.cache[(text, fmt)] = make_wav(rate, pcm)
                else:
                    self.cache[(text, fmt)] = encode_mp3(rate, pcm)
            return self.cache[(text, fmt)], self.cache[(text, 0)][0]

    def _mp3_silence_frame(self, rate):
        with self.lock:
            if self.silent_frame is None:
                # Without the bit reservoir every frame stands alone and can
                # be repeated after any stream of the same rate.
                mp3 = encode_mp3(rate, bytes(2 * rate), "--nores")
                frames = _mp3_frames(mp3)
                pos, length = frames[len(frames) // 2]
                self.silent_frame = mp3[pos:pos + length]
            return self.silent_frame

    def pad(self, audio, fmt, rate, size):
        """audio made at least size bytes long by silence at its end."""
        missing = size - len(audio)
        if missing <= 0:
            return audio
        if fmt == FORMAT_PCM:
            return audio + bytes(missing + (missing & 1))
        if fmt == FORMAT_WAV:
            pcm = audio[44:]
            return make_wav(rate, pcm + bytes(missing + (missing & 1)))
        frame = self._mp3_silence_frame(rate)
        return audio + frame * (-(-missing // len(frame)))


# ---------------------------------------------------------------- checks

def client_encode(data):
    """Percent-encoding exactly as the client writes the text field."""
    keep = re.compile(rb"[-.0-9A-Za-z]")
    return b"".join(bytes([b]) if keep.fullmatch(bytes([b])) else b"%%%02X" % b
                    for b in data)


def describe_fields(names):
    if "app_key" in names:
        return "app_key must not be sent"
    for i, want in enumerate(FIELD_ORDER):
        if i >= len(names):
            return f"missing {want} after {names[-1] if names else 'nothing'}"
        if names[i] != want:
            return f"position {i + 1}: expected {want}, got {names[i]!r}"
    if len(names) > len(FIELD_ORDER):
        return f"unexpected {names[len(FIELD_ORDER)]!r} after sign"
    return None


def value_notes(fields):
    """Values that the client would never send; reported, not refused."""
    ranges = {"aht": (0, 0), "volume": (0, 0), "apc": (0, 100), "speed": (50, 100),
              "nonce_str": (10000, 9999999)}
    notes = []
    for name, value in fields.items():
        if name in ranges or name in ("format", "speaker"):
            if not re.fullmatch(r"-?(0|[1-9][0-9]*)", value):
                notes.append(f"{name}={value!r} is not a plain decimal number")
                continue
            n = int(value)
            if name in ranges and not ranges[name][0] <= n <= ranges[name][1]:
                notes.append(f"{name}={n} outside {ranges[name][0]}..{ranges[name][1]}")
            if name == "format" and n not in (1, 2, 3):
                notes.append(f"format={n} is not 1, 2 or 3; MP3 is sent")
            if name == "speaker" and n not in (1, 5, 6, 7):
                notes.append(f"speaker={n} is not 1, 5, 6 or 7")
    return notes


def check_request(body, cfg, now):
    """(ret, msg, checks, fields list, decoded text or None)."""
    pairs = [p.partition(b"=") for p in body.split(b"&")] if body else []
    fields = [[n.decode("latin-1"), v.decode("latin-1")] for n, _, v in pairs]
    names = [n for n, _ in fields]
    checks = {"fields_ok": False, "fields_problem": None, "app_id_known": None,
              "sign_ok": None, "sign_expected": None, "time_stamp_ten_digits": None,
              "time_stamp_skew": None, "time_stamp_fresh": None,
              "text_utf8": None, "text_canonical": None, "notes": []}
    if any(not eq for _, eq, _ in pairs):
        checks["fields_problem"] = "a field without '='"
    else:
        checks["fields_problem"] = describe_fields(names)
    if checks["fields_problem"]:
        return RET_FIELDS, "bad fields: " + checks["fields_problem"], checks, fields, None
    checks["fields_ok"] = True
    raw = {n: v for (n, _, v) in pairs}
    values = {n.decode("latin-1"): v.decode("latin-1") for n, v in raw.items()}
    checks["notes"] = value_notes(values)

    try:
        app_id = raw[b"app_id"].decode("gbk")
    except UnicodeDecodeError:
        app_id = None
    table = key_table(cfg)
    checks["app_id_known"] = app_id in table
    if app_id in table:
        signed = body[:body.rfind(b"&sign=")] + b"&app_key=" + table[app_id].encode("gbk")
        checks["sign_expected"] = hashlib.md5(signed).hexdigest().upper()
        checks["sign_ok"] = raw[b"sign"] == checks["sign_expected"].encode()

    stamp = raw[b"time_stamp"]
    checks["time_stamp_ten_digits"] = re.fullmatch(rb"[0-9]{10}", stamp) is not None
    if checks["time_stamp_ten_digits"]:
        offset = cfg["stamp_offset"]
        if offset == "local":
            offset = time.localtime(now).tm_gmtoff - CLIENT_ZONE_SECONDS
        checks["time_stamp_skew"] = int(stamp) - (int(now) + offset)
        checks["time_stamp_fresh"] = abs(checks["time_stamp_skew"]) <= cfg["max_skew"]

    text_bytes = urllib.parse.unquote_to_bytes(raw[b"text"])
    try:
        text = text_bytes.decode("utf-8")
        checks["text_utf8"] = True
    except UnicodeDecodeError:
        text = None
        checks["text_utf8"] = False
    checks["text_canonical"] = client_encode(text_bytes) == raw[b"text"]

    if not checks["app_id_known"]:
        return RET_APP_ID, "unknown app_id", checks, fields, text
    if not checks["time_stamp_ten_digits"]:
        return RET_STAMP_FORMAT, "time_stamp is not ten digits", checks, fields, text
    if not checks["time_stamp_fresh"]:
        return (RET_STAMP_STALE, f"time_stamp off by {checks['time_stamp_skew']} s",
                checks, fields, text)
    if not checks["sign_ok"]:
        return RET_SIGN, "wrong sign", checks, fields, text
    if text is None:
        return RET_TEXT, "text is not percent-encoded UTF-8", checks, fields, text
    return RET_OK, "ok", checks, fields, text


# ---------------------------------------------------------------- replies

SPEECH_SLOT = "@@SPEECH@@"
MSG_SLOT = "@@MSG@@"
MD5_SLOT = "@@MD5@@"


def truncated_base64(speech):
    """speech cut inside its last groups, without padding: 2 or 3 characters of a group."""
    keep = len(speech) - 5 if len(speech) >= 8 else 2
    return speech[:keep]


def carried_audio(cfg, audio):
    """The audio that the reply's speech member decodes to."""
    if cfg["fault"] == "truncate_base64" and audio:
        cut = truncated_base64(base64.b64encode(audio).decode("ascii"))
        return base64.b64decode(cut + "=" * (-len(cut) % 4))
    return audio


def json_reply(cfg, ret, msg, fmt, audio):
    """The reply body, written the way the switches ask for."""
    fault = cfg["fault"]
    speech = base64.b64encode(audio).decode("ascii")
    if fault == "trickle":
        # As short as a reply with audio can be: it arrives one byte a second.
        return ('{"speech": "%s"}' % speech).encode("ascii")
    data = {"format": fmt}
    if not cfg["no_speech"]:
        data["speech"] = SPEECH_SLOT
    data["md5sum"] = hashlib.md5(audio).hexdigest() if audio else ""
    md5 = data["md5sum"]
    if fault == "bad_bytes":
        data["md5sum"] = MD5_SLOT
    seps = (",", ":") if cfg["compact"] else (", ", ": ")
    text = json.dumps({"ret": ret, "msg": MSG_SLOT if fault in ("bad_bytes", "nul_first") else msg,
                       "data": data}, separators=seps)
    if fault == "truncate_base64" and speech:
        speech = truncated_base64(speech)
    if cfg["escape_slashes"]:
        text, speech = text.replace("/", "\\/"), speech.replace("/", "\\/")
    if cfg["junk_base64"] and speech:
        step = cfg["junk_every"]
        speech = cfg["junk_base64"].join(speech[i:i + step]
                                         for i in range(0, len(speech), step))
    body = text.replace(SPEECH_SLOT, speech, 1).encode("utf-8")
    # Raw bytes that no JSON encoder writes: invalid UTF-8 before the audio and a NUL
    # after it (bad_bytes), or a NUL before it (nul_first).
    if fault == "bad_bytes":
        body = body.replace(MSG_SLOT.encode(), msg.encode("utf-8") + BAD_UTF8, 1)
        body = body.replace(MD5_SLOT.encode(), md5[:8].encode() + b"\x00" + md5[8:].encode(), 1)
    elif fault == "nul_first":
        body = body.replace(MSG_SLOT.encode(), msg.encode("utf-8") + b"\x00", 1)
    return body


def html_reply(status):
    line = str(status)
    if " " not in line:
        reason = BaseHTTPRequestHandler.responses.get(int(line), ("Error",))[0]
        line = f"{line} {reason}"
    code, _, reason = line.partition(" ")
    page = (f"<html><head><meta charset=\"utf-8\"><title>{html.escape(line)}</title></head>"
            f"<body><h1>{html.escape(line)}</h1></body></html>\n")
    return int(code), reason, page.encode("utf-8")


# ---------------------------------------------------------------- server

class State:
    def __init__(self, base_config, maker):
        self.lock = threading.Lock()
        self.base = base_config
        self.config = dict(base_config)
        self.requests = []
        self.last_audio = None
        self.maker = maker


class Handler(BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"
    server_version = "LocalTTS/1.0"
    state = None
    tls = None
    quiet = False

    def setup(self):
        if self.tls is not None:
            # The handshake runs here, in the request's own thread, so a slow
            # client cannot hold up the accepting loop.
            self.request = self.tls.wrap_socket(self.request, server_side=True)
        super().setup()

    def log_message(self, fmt, *args):
        if not self.quiet:
            sys.stderr.write("tts_service: %s %s\n" % (self.address_string(), fmt % args))

    def _read_body(self):
        if "chunked" in self.headers.get("Transfer-Encoding", "").lower():
            parts = []
            while True:
                size = int(self.rfile.readline().split(b";")[0].strip() or b"0", 16)
                if size == 0:
                    while self.rfile.readline().strip():
                        pass
                    return b"".join(parts)
                parts.append(self.rfile.read(size))
                self.rfile.readline()
        return self.rfile.read(int(self.headers.get("Content-Length") or 0))

    def _send(self, code, body, content_type, reason=None, cut=None, extra=()):
        self.send_response(code, reason)
        self.send_header("Content-Type", content_type)
        self.send_header("Content-Length", str(len(body)))
        for name, value in extra:
            self.send_header(name, value)
        if cut is not None:
            self.send_header("Connection", "close")
        self.end_headers()
        if cut is None:
            self.wfile.write(body)
        else:
            self.wfile.write(body[:len(body) // 2 if cut is True else cut])
            self.wfile.flush()
            self.close_connection = True

    def _send_json(self, code, obj):
        self._send(code, json.dumps(obj, ensure_ascii=False).encode("utf-8"),
                   "application/json; charset=utf-8")

    def do_GET(self):
        url = urllib.parse.urlsplit(self.path)
        query = urllib.parse.parse_qs(url.query)
        clear = query.get("clear", ["0"])[0] not in ("", "0")
        st = self.state
        if url.path == "/__requests":
            with st.lock:
                records = list(st.requests)
                if clear:
                    st.requests.clear()
            self._send_json(200, records)
        elif url.path == "/__last_audio":
            with st.lock:
                last = st.last_audio
                if clear:
                    st.last_audio = None
            if last is None:
                self._send_json(404, {"error": "no successful reply yet"})
            else:
                fmt, audio = last
                self._send(200, audio, CONTENT_TYPES[fmt],
                           extra=[("X-Audio-Format", str(fmt))])
        elif url.path == "/__config":
            with st.lock:
                self._send_json(200, st.config)
        else:
            # A GET may carry a body too (a POST turned into a GET by a redirect keeps its
            # length); it is read, so that its bytes are not taken for the next request.
            self._service_request(self._read_body())

    def do_POST(self):
        url = urllib.parse.urlsplit(self.path)
        st = self.state
        if url.path == "/__config":
            try:
                changes = json.loads(self._read_body() or b"{}")
                if not isinstance(changes, dict):
                    raise ValueError("body must be a JSON object")
                cfg = make_config(st.base, changes)
            except ValueError as e:
                self._send_json(400, {"error": str(e)})
                return
            with st.lock:
                st.config = cfg
            self._send_json(200, cfg)
        elif url.path == "/__shutdown":
            self._send_json(200, {"stopping": True})
            threading.Thread(target=self.server.shutdown, daemon=True).start()
        else:
            self._service_request(self._read_body())

    def _service_request(self, body):
        st = self.state
        now = time.time()
        with st.lock:
            cfg = st.config
        url = urllib.parse.urlsplit(self.path)
        record = {"time": now, "method": self.command, "path": self.path,
                  "headers": [[k, v] for k, v in self.headers.items()],
                  "raw_body": body.decode("latin-1")}
        hop = HOP_PATH.fullmatch(url.path)
        if hop and cfg["redirect"]:
            # The synthesis path and the hop paths answer with redirects until the last hop,
            # which is a synthesis path like the first; a loop sends each back to itself.
            red = cfg["redirect"]
            n = int(hop.group(1) or 0)
            if red["loop"] or n < red["hops"]:
                to = self.path if red["loop"] else f"/__hop/{n + 1}{TTS_PATH}"
                if red["host"]:
                    to = f"http://{red['host']}:{self.server.server_address[1]}{to}"
                record.update(fields=[], checks={}, text=None, location=to,
                              reply={"status": red["code"], "ret": None, "format": None,
                                     "audio_bytes": 0})
                with st.lock:
                    st.requests.append(record)
                code, reason, page = html_reply(red["code"])
                self._send(code, page, "text/html; charset=utf-8", reason,
                           extra=[("Location", to)])
                return
        # Hop paths exist only while redirects are asked for.
        known = url.path == TTS_PATH or bool(hop and cfg["redirect"])
        if not known or self.command != "POST":
            code = 404 if not known else 405
            record.update(fields=[], checks={}, text=None,
                          reply={"status": code, "ret": None, "format": None, "audio_bytes": 0})
            with st.lock:
                st.requests.append(record)
            _, reason, page = html_reply(code)
            self._send(code, page, "text/html; charset=utf-8", reason)
            return

        ret, msg, checks, fields, text = check_request(body, cfg, now)
        fmt, audio, rate = 0, b"", 0
        if ret == RET_OK:
            fmt = int(fields[3][1]) if fields[3][1] in ("1", "2") else FORMAT_MP3
            try:
                spoken = text[:cfg["speak_first_chars"]] if cfg["speak_first_chars"] else text
                audio, rate = st.maker.audio(spoken, fmt)
                if cfg["pad_audio_bytes"]:
                    audio = st.maker.pad(audio, fmt, rate, cfg["pad_audio_bytes"])
            except (RuntimeError, OSError, subprocess.SubprocessError) as e:
                ret, msg, fmt, audio = RET_SYNTHESIS, f"synthesis failed: {e}", 0, b""
            if cfg["fault"] == "trickle" and ret == RET_OK:
                audio = TRICKLE_AUDIO

        if cfg["status"] is not None:
            code, reason, reply = html_reply(cfg["status"])
            content_type = "text/html; charset=utf-8"
        else:
            code, reason = 200, None
            reply = json_reply(cfg, ret, msg, fmt, audio)
            content_type = "application/json"
        record.update(fields=fields, checks=checks, text=text,
                      reply={"status": code, "ret": ret, "format": fmt,
                             "audio_bytes": len(audio),
                             "audio_seconds": round(audio_seconds(fmt, rate, audio), 3)})
        with st.lock:
            st.requests.append(record)
            if ret == RET_OK and cfg["status"] is None and not cfg["no_speech"]:
                st.last_audio = (fmt, carried_audio(cfg, audio))
        if cfg["stall_seconds"]:
            time.sleep(cfg["stall_seconds"])
        if cfg["fault"] in ("reset", "long_length", "two_lengths", "garbage_status", "gzip",
                            "trickle"):
            self._send_fault(cfg, code, reason, reply, content_type)
        else:
            self._send(code, reply, content_type, reason, cfg["cut"])

    def _send_fault(self, cfg, code, reason, body, content_type):
        """The reply with its framing broken as cfg["fault"] says; the connection ends."""
        fault = cfg["fault"]
        if reason is None:
            reason = self.responses.get(code, ("",))[0]
        status = "GARBAGE" if fault == "garbage_status" else f"HTTP/1.1 {code} {reason}"
        length = str(len(body))
        lines = [status, f"Content-Type: {content_type}"]
        if fault == "gzip":
            body = gzip.compress(body)
            lines.append("Content-Encoding: gzip")
            length = str(len(body))
        elif fault == "long_length":
            length = str(len(body) + 100)
        if fault == "two_lengths":
            lines += [f"Content-Length: {length}", "Content-Length: 10"]
        else:
            lines.append(f"Content-Length: {length}")
        lines.append("Connection: close")
        head = ("\r\n".join(lines) + "\r\n\r\n").encode("latin-1")
        self.close_connection = True
        sock = self.connection
        if fault == "trickle":
            sock.sendall(head)
            for i in range(len(body)):
                if i:
                    time.sleep(cfg["trickle_interval"])
                sock.sendall(body[i:i + 1])
        elif fault == "reset":
            sock.sendall(head + body[:len(body) // 2])
            time.sleep(RESET_HOLD_SECONDS)
            # Closing with a zero linger time sends RST instead of FIN.
            sock.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, struct.pack("ii", 1, 0))
            os.close(sock.detach())
        else:
            sock.sendall(head + body)


class Server(ThreadingHTTPServer):
    daemon_threads = True
    allow_reuse_address = True

    def handle_error(self, request, client_address):
        # Clients that hang up or fail the TLS handshake are part of the tests.
        err = sys.exc_info()[1]
        if not isinstance(err, (ConnectionError, ssl.SSLError, TimeoutError)):
            super().handle_error(request, client_address)


def parse_args(argv):
    p = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    p.add_argument("--port", type=int, default=18100, help="0 picks a free port")
    p.add_argument("--tls-cert", help="PEM certificate; with --tls-key serves HTTPS")
    p.add_argument("--tls-key", help="PEM private key")
    p.add_argument("--keys", help='JSON file {"app_id": "key", ...} added to the built-in key')
    p.add_argument("--accept-empty", action="store_true",
                   help="accept the empty app_id, signed with the empty key")
    p.add_argument("--max-skew", type=int, default=300,
                   help="seconds a time stamp may differ from the expected one")
    p.add_argument("--stamp-offset", default="0",
                   help='seconds added to the Unix time to get the expected time stamp, '
                        'or "local": the client\'s count, from 1970-01-01 08:00 local time')
    p.add_argument("--voice", default="cmn", help="espeak-ng voice")
    p.add_argument("--pidfile")
    p.add_argument("--ready-file", help="written with the port once the service listens")
    p.add_argument("--max-seconds", type=float, default=3600, help="stop after this long")
    p.add_argument("--quiet", action="store_true", help="no log line per request")
    p.add_argument("--escape-slashes", action="store_true")
    p.add_argument("--compact", action="store_true")
    p.add_argument("--stall-seconds", type=float, default=0)
    p.add_argument("--cut", type=int, help="send only the first N bytes of the body")
    p.add_argument("--status", help='reply "CODE [REASON]" with an HTML body')
    p.add_argument("--no-speech", action="store_true")
    p.add_argument("--junk-base64", nargs="?", const=JUNK_DEFAULT, metavar="TEXT",
                   help=f"insert TEXT (default {JUNK_DEFAULT!r}) into the base64")
    p.add_argument("--junk-every", type=int, default=76)
    p.add_argument("--pad-audio-bytes", type=int, default=0)
    args = p.parse_args(argv)
    if bool(args.tls_cert) != bool(args.tls_key):
        p.error("--tls-cert and --tls-key go together")
    keys = {}
    if args.keys:
        with open(args.keys, encoding="utf-8") as f:
            keys = json.load(f)
    status = args.status
    if status is not None and re.fullmatch(r"[0-9]+", status):
        status = int(status)
    offset = args.stamp_offset if args.stamp_offset == "local" else int(args.stamp_offset)
    try:
        cfg = make_config({k: d for k, (d, _) in CONFIG_SPEC.items()}, {
            "escape_slashes": args.escape_slashes, "compact": args.compact,
            "stall_seconds": args.stall_seconds, "cut": args.cut, "status": status,
            "no_speech": args.no_speech, "junk_base64": args.junk_base64,
            "junk_every": args.junk_every, "pad_audio_bytes": args.pad_audio_bytes,
            "max_skew": args.max_skew, "stamp_offset": offset, "keys": keys,
            "accept_empty": args.accept_empty})
    except ValueError as e:
        p.error(str(e))
    return args, cfg


def _write_atomically(path, text):
    tmp = f"{path}.{os.getpid()}.tmp"
    with open(tmp, "w", encoding="ascii") as f:
        f.write(text)
    os.replace(tmp, path)


def main(argv=None):
    args, cfg = parse_args(argv)
    Handler.state = State(cfg, AudioMaker(args.voice))
    Handler.quiet = args.quiet
    if args.tls_cert:
        ctx = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
        ctx.load_cert_chain(args.tls_cert, args.tls_key)
        Handler.tls = ctx
    server = Server(("127.0.0.1", args.port), Handler)
    port = server.server_address[1]

    def stop(*_):
        threading.Thread(target=server.shutdown, daemon=True).start()

    signal.signal(signal.SIGTERM, stop)
    signal.signal(signal.SIGINT, stop)
    timer = threading.Timer(args.max_seconds, stop)
    timer.daemon = True
    timer.start()
    written = []
    try:
        if args.pidfile:
            _write_atomically(args.pidfile, f"{os.getpid()}\n")
            written.append(args.pidfile)
        if args.ready_file:
            _write_atomically(args.ready_file, f"{port}\n")
            written.append(args.ready_file)
        if not args.quiet:
            scheme = "https" if args.tls_cert else "http"
            sys.stderr.write(f"tts_service: listening on {scheme}://127.0.0.1:{port}\n")
        server.serve_forever(poll_interval=0.2)
    finally:
        timer.cancel()
        server.server_close()
        for path in written:
            try:
                os.remove(path)
            except OSError:
                pass
    return 0


if __name__ == "__main__":
    sys.exit(main())
