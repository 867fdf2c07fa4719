#!/usr/bin/env python3
"""Checks the local speech service against requests built the client's way.

Starts tts_service.py on free ports, talks to it over loopback and stops it.
Exits 0 when every check passes; prints each failure otherwise.
"""

import base64
import gzip
import hashlib
import http.client
import json
import os
import re
import shutil
import signal
import socket
import ssl
import struct
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
SERVICE = os.path.join(HERE, "tts_service.py")
PATH = "/fcgi-bin/aai/aai_tts"
APP_ID, APP_KEY = "2600417735", "Hx4PnQ8sWe2LkT6u"
MARKER = b'speech": "'
failures = []


def check(ok, what):
    if not ok:
        failures.append(what)
        print("FAIL:", what)
    return ok


# ------------------------------------------------------------ the client's request

def url_encode(text):
    return "".join(chr(b) if re.fullmatch(rb"[-.0-9A-Za-z]", bytes([b])) else "%%%02X" % b
                   for b in text.encode("utf-8"))


def build_body(text="abc", fmt=3, app_id="", key="", stamp=None, nonce=10041,
               fields=None, sign=None):
    """A body as the client writes it; fields replaces the list of pairs."""
    if stamp is None:
        stamp = str(int(time.time()))
    if fields is None:
        fields = [("aht", "0"), ("apc", "58"), ("app_id", app_id), ("format", str(fmt)),
                  ("nonce_str", str(nonce)), ("speaker", "7"), ("speed", "100"),
                  ("text", url_encode(text)), ("time_stamp", stamp), ("volume", "0")]
    query = "&".join(f"{n}={v}" for n, v in fields)
    if sign is None:
        sign = hashlib.md5((query + "&app_key=" + key).encode("gbk")).hexdigest().upper()
    return (query + "&sign=" + sign).encode("gbk")


def speech_the_client_way(reply):
    start = reply.find(MARKER)
    if start < 0:
        return None
    start += len(MARKER)
    end = reply.find(b'"', start)
    return None if end < 0 else reply[start:end]


# ------------------------------------------------------------ talking to the service

class Service:
    def __init__(self, tmp, name, *args):
        self.pidfile = os.path.join(tmp, name + ".pid")
        self.ready = os.path.join(tmp, name + ".ready")
        self.proc = subprocess.Popen(
            [sys.executable, SERVICE, "--port", "0", "--quiet", "--pidfile", self.pidfile,
             "--ready-file", self.ready, *args])
        self.tls = None
        deadline = time.time() + 15
        while not os.path.exists(self.ready):
            if self.proc.poll() is not None or time.time() > deadline:
                raise SystemExit(f"service {name} did not start")
            time.sleep(0.05)
        with open(self.ready) as f:
            self.port = int(f.read())

    def request(self, method, path, body=None, headers=None, timeout=30):
        if self.tls:
            conn = http.client.HTTPSConnection("127.0.0.1", self.port, timeout=timeout,
                                               context=self.tls)
        else:
            conn = http.client.HTTPConnection("127.0.0.1", self.port, timeout=timeout)
        try:
            conn.request(method, path, body, headers or {})
            resp = conn.getresponse()
            try:
                data = resp.read()
            except http.client.IncompleteRead as e:
                data = ("cut", e.partial, e.expected)
            return resp.status, resp, data
        finally:
            conn.close()

    def post(self, body):
        return self.request("POST", PATH, body,
                            {"Content-Type": "application/x-www-form-urlencoded"})

    def config(self, cfg):
        status, _, data = self.request("POST", "/__config", json.dumps(cfg).encode())
        return status, json.loads(data)

    def records(self, clear=False):
        return json.loads(self.request("GET", "/__requests" + ("?clear=1" if clear else ""))[2])

    def wait_gone(self, seconds):
        try:
            self.proc.wait(seconds)
        except subprocess.TimeoutExpired:
            self.proc.kill()
            self.proc.wait()
            return False
        return not os.path.exists(self.pidfile) and not os.path.exists(self.ready)


def file_type(data, tmp):
    path = os.path.join(tmp, "audio.bin")
    with open(path, "wb") as f:
        f.write(data)
    return subprocess.run(["file", "-b", path], capture_output=True, text=True).stdout


def looks_like(fmt, audio, tmp):
    kind = file_type(audio, tmp)
    if fmt == 2:
        return audio[:4] == b"RIFF" and audio[8:12] == b"WAVE" and "WAVE audio" in kind
    if fmt == 1:
        return len(audio) % 2 == 0 and audio[:4] not in (b"RIFF", b"ID3\x03")
    return audio[:2] in (b"\xff\xf3", b"\xff\xfb", b"\xff\xe3") and "MPEG" in kind


# ------------------------------------------------------------ checks

def check_success(svc, tmp):
    text_zh = "你好，世界\r\nabc"
    cases = [  # (name, body arguments, format in the reply)
        ("sample shape, empty id, MP3", dict(text="abc", fmt=3), 3),
        ("built-in id, Chinese, WAV", dict(text=text_zh, fmt=2, app_id=APP_ID, key=APP_KEY), 2),
        ("built-in id, Chinese, PCM", dict(text=text_zh, fmt=1, app_id=APP_ID, key=APP_KEY), 1),
        ("no format selected gives MP3", dict(text="abc", fmt=-1), 3),
        ("empty text gives silence", dict(text="", fmt=3), 3),
    ]
    audio_of = {}
    for name, kwargs, fmt in cases:
        body = build_body(**kwargs)
        if name.startswith("sample shape"):
            check(re.fullmatch(rb"aht=0&apc=58&app_id=&format=3&nonce_str=10041&speaker=7"
                               rb"&speed=100&text=abc&time_stamp=[0-9]{10}&volume=0"
                               rb"&sign=[0-9A-F]{32}", body), "sample body shape")
        status, resp, reply = svc.post(body)
        if not check(status == 200 and resp.getheader("Content-Type") == "application/json",
                     f"{name}: status {status}"):
            continue
        doc = json.loads(reply)
        speech = speech_the_client_way(reply)
        audio = base64.b64decode(speech or b"")
        check(doc["ret"] == 0 and doc["msg"] == "ok", f"{name}: ret {doc['ret']} {doc['msg']}")
        check(doc["data"]["format"] == fmt, f"{name}: format {doc['data']['format']}")
        check(len(audio) > 0 and looks_like(fmt, audio, tmp),
              f"{name}: audio is not format {fmt} ({file_type(audio, tmp).strip()})")
        check(doc["data"]["md5sum"] == hashlib.md5(audio).hexdigest(), f"{name}: md5sum")
        last = svc.request("GET", "/__last_audio")
        check(last[2] == audio and last[1].getheader("X-Audio-Format") == str(fmt),
              f"{name}: /__last_audio differs from the reply")
        audio_of[name] = audio
    wav = audio_of.get("built-in id, Chinese, WAV", b"")
    check(len(wav) > 44 and audio_of.get("built-in id, Chinese, PCM") == wav[44:],
          "PCM reply is not the samples of the WAV reply")
    # Real speech, not a stub: a Chinese sentence lasts longer than a second.
    check(len(wav) > 2 * 22050, "Chinese speech is shorter than one second")


def check_rejections(svc):
    now = int(time.time())
    good = dict(app_id=APP_ID, key=APP_KEY)
    fields = [("aht", "0"), ("apc", "58"), ("app_id", APP_ID), ("format", "3"),
              ("nonce_str", "10041"), ("speaker", "7"), ("speed", "100"), ("text", "abc"),
              ("time_stamp", str(now)), ("volume", "0")]
    swapped = fields[:1] + [fields[2], fields[1]] + fields[3:]
    with_key = fields + [("app_key", APP_KEY)]
    signed = build_body(**good)
    lower_sign = signed[:-32] + signed[-32:].lower()
    cases = [  # (name, body, ret, failing check)
        ("wrong key", build_body(app_id=APP_ID, key="wrong"), 16389, "sign_ok"),
        ("sign in lower case", lower_sign, 16389, "sign_ok"),
        ("stale time stamp", build_body(stamp=str(now - 1000), **good), 16388, "time_stamp_fresh"),
        ("future time stamp", build_body(stamp=str(now + 1000), **good), 16388, "time_stamp_fresh"),
        ("nine-digit time stamp", build_body(stamp="999999999", **good), 16387,
         "time_stamp_ten_digits"),
        ("unknown app_id", build_body(app_id="123", key=""), 16386, "app_id_known"),
        ("empty app_id without --accept-empty", None, 16386, "app_id_known"),
        ("fields out of order", build_body(fields=swapped, key=APP_KEY), 16385, "fields_ok"),
        ("app_key sent", build_body(fields=with_key, key=APP_KEY), 16385, "fields_ok"),
        ("text not UTF-8", build_body(fields=fields[:7] + [("text", "%FF")] + fields[8:],
                                      key=APP_KEY), 16390, "text_utf8"),
    ]
    for name, body, ret, failing in cases:
        if body is None:
            svc.config({"accept_empty": False})
            body = build_body()
        status, _, reply = svc.post(body)
        svc.config({})
        doc = json.loads(reply)
        check(status == 200 and doc["ret"] == ret, f"{name}: ret {doc['ret']}, want {ret}")
        check(doc["data"] == {"format": 0, "speech": "", "md5sum": ""}, f"{name}: data {str(doc['data'])[:120]}")
        check(speech_the_client_way(reply) == b"", f"{name}: speech not empty")
        check(svc.records()[-1]["checks"][failing] is False, f"{name}: check {failing} not false")


def check_records(svc):
    svc.records(clear=True)
    body = build_body(text="a b", app_id=APP_ID, key=APP_KEY)
    svc.post(body)
    records = svc.records(clear=True)
    check(len(records) == 1, f"{len(records)} records for one request")
    rec = records[-1]
    check(rec["raw_body"].encode("latin-1") == body, "raw_body differs from the body sent")
    check([n for n, _ in rec["fields"]] == ["aht", "apc", "app_id", "format", "nonce_str",
                                            "speaker", "speed", "text", "time_stamp", "volume",
                                            "sign"], "recorded field order")
    check(dict(rec["fields"])["text"] == "a%20b" and rec["text"] == "a b", "recorded text")
    c = rec["checks"]
    check(c["fields_ok"] and c["sign_ok"] and c["time_stamp_fresh"] and c["text_canonical"]
          and c["notes"] == [], f"checks of a good request: {c}")
    check(["Content-Type", "application/x-www-form-urlencoded"] in rec["headers"],
          "recorded headers")
    check(svc.records() == [], "clear=1 left records behind")


def check_switches(svc, tmp):
    body = build_body(text="switches", app_id=APP_ID, key=APP_KEY)
    status, _, plain = svc.post(body)
    audio = base64.b64decode(json.loads(plain)["data"]["speech"])
    check(b"/" in speech_the_client_way(plain), "base64 of the test audio has no '/'")

    def decoded(reply, junk=b""):
        return base64.b64decode(json.loads(reply.replace(junk, b""))["data"]["speech"])

    cases = [  # (settings, check of (status, response, reply, seconds))
        ({"escape_slashes": True},
         lambda s, r, d, t: b"\\/" in speech_the_client_way(d) and decoded(d) == audio),
        ({"compact": True},
         lambda s, r, d, t: b'"speech":"' in d and MARKER not in d and decoded(d) == audio),
        ({"stall_seconds": 1}, lambda s, r, d, t: t >= 1 and decoded(d) == audio),
        ({"cut": 100}, lambda s, r, d, t: d[0] == "cut" and len(d[1]) == 100
         and d[2] == len(plain) - 100),
        ({"cut": True}, lambda s, r, d, t: d[0] == "cut" and len(d[1]) == len(plain) // 2),
        ({"status": 503}, lambda s, r, d, t: s == 503 and b"speech" not in d
         and r.getheader("Content-Type").startswith("text/html")),
        ({"status": "500 Busy"}, lambda s, r, d, t: s == 500 and r.reason == "Busy"),
        ({"no_speech": True}, lambda s, r, d, t: b"speech" not in d
         and json.loads(d)["ret"] == 0),
        ({"junk_base64": True}, lambda s, r, d, t: b"*" in speech_the_client_way(d)
         and decoded(d, b"*") == audio),
        ({"junk_base64": "\r\n", "junk_every": 10},
         lambda s, r, d, t: speech_the_client_way(d)[10:12] == b"\r\n"),
        ({}, lambda s, r, d, t: d == plain),
    ]
    for settings, ok in cases:
        check(svc.config(settings)[0] == 200, f"config {settings} refused")
        start = time.time()
        status, resp, reply = svc.post(body)
        check(ok(status, resp, reply, time.time() - start), f"switch {settings}")
    for bad in ({"cut": "x"}, {"bogus": 1}, {"status": 42}, {"speak_first_chars": -1}):
        check(svc.config(bad)[0] == 400, f"config {bad} accepted")

    # Only the first characters of a long text are spoken; the record keeps all of it.
    long_text = "abc" + "x" * 5000
    svc.config({"speak_first_chars": 3})
    svc.post(build_body(text=long_text, app_id=APP_ID, key=APP_KEY))
    cut_audio, long_record = svc.request("GET", "/__last_audio")[2], svc.records()[-1]
    svc.config({})
    _, _, short = svc.post(build_body(text="abc", app_id=APP_ID, key=APP_KEY))
    check(cut_audio == decoded(short) and long_record["text"] == long_text,
          "speak_first_chars 3 did not speak just the first three characters")

    # Padding: a big reply, and the silence really plays after the speech.
    for fmt, size in ((3, 8 << 20), (3, 100_000), (2, 300_000)):
        svc.config({"pad_audio_bytes": size})
        status, _, reply = svc.post(build_body(text="abc", fmt=fmt, app_id=APP_ID, key=APP_KEY))
        doc = json.loads(reply)
        padded = base64.b64decode(speech_the_client_way(reply))
        check(len(padded) >= size and doc["data"]["md5sum"] == hashlib.md5(padded).hexdigest()
              and looks_like(fmt, padded, tmp), f"pad {size} format {fmt}")
        check(svc.request("GET", "/__last_audio")[2] == padded, f"pad {size}: /__last_audio")
        if fmt == 2:
            check(struct.unpack_from("<I", padded, 40)[0] == len(padded) - 44,
                  "padded WAV data size")
        elif size < 1 << 20:
            # lame decodes from a file only, not from a pipe.
            mp3, wav = os.path.join(tmp, "padded.mp3"), os.path.join(tmp, "padded.wav")
            with open(mp3, "wb") as f:
                f.write(padded)
            subprocess.run(["lame", "--quiet", "--decode", mp3, wav], check=False)
            seconds = (os.path.getsize(wav) - 44) / (2 * 22050) if os.path.exists(wav) else 0
            check(seconds > size / 4000 * 0.9, f"padded MP3 decodes to only {seconds:.1f} s")
    svc.config({})


def raw_post(svc, path, body):
    """(head lines, body bytes, reset): the reply as it came off the wire, to its end."""
    s = socket.create_connection(("127.0.0.1", svc.port), timeout=30)
    s.sendall((f"POST {path} HTTP/1.1\r\nHost: 127.0.0.1:{svc.port}\r\n"
               f"Connection: close\r\nContent-Length: {len(body)}\r\n\r\n").encode() + body)
    data, reset = b"", False
    try:
        while True:
            chunk = s.recv(65536)
            if not chunk:
                break
            data += chunk
    except ConnectionResetError:
        reset = True
    s.close()
    head, _, rest = data.partition(b"\r\n\r\n")
    return head.decode("latin-1").split("\r\n"), rest, reset


def check_faults(svc):
    body = build_body(text="faults", app_id=APP_ID, key=APP_KEY)
    svc.config({})
    plain = raw_post(svc, PATH, body)[1]
    audio = base64.b64decode(speech_the_client_way(plain))

    def lengths(head):
        return [line.split(":", 1)[1].strip() for line in head
                if line.lower().startswith("content-length:")]

    def last_audio():
        return svc.request("GET", "/__last_audio")[2]

    cases = [  # (settings, check of (head lines, body, reset, seconds))
        ({"fault": "reset"}, lambda h, b, r, t: r and lengths(h) == [str(len(plain))]
         and b == plain[:len(plain) // 2]),
        ({"fault": "long_length"}, lambda h, b, r, t: not r and b == plain
         and lengths(h) == [str(len(plain) + 100)]),
        ({"fault": "two_lengths"}, lambda h, b, r, t: b == plain
         and lengths(h) == [str(len(plain)), "10"]),
        ({"fault": "garbage_status"}, lambda h, b, r, t: h[0] == "GARBAGE" and b == plain),
        ({"fault": "gzip"}, lambda h, b, r, t: "Content-Encoding: gzip" in h
         and gzip.decompress(b) == plain and lengths(h) == [str(len(b))]),
        ({"fault": "trickle", "trickle_interval": 0.05},
         lambda h, b, r, t: b == b'{"speech": "bHZ4"}' and t >= 0.05 * (len(b) - 1)
         and last_audio() == b"lvx"),
        ({"fault": "bad_bytes"}, lambda h, b, r, t: b.find(b"\xff\xfe\xc3") < b.find(MARKER)
         < b.find(b"\x00") and base64.b64decode(speech_the_client_way(b)) == audio),
        ({"fault": "nul_first"}, lambda h, b, r, t: 0 < b.find(b"\x00") < b.find(MARKER)),
        ({"fault": "truncate_base64"},
         lambda h, b, r, t: len(speech_the_client_way(b)) % 4 in (2, 3)
         and audio.startswith(last_audio()) and 0 < len(audio) - len(last_audio()) <= 4),
    ]
    for settings, ok in cases:
        check(svc.config(settings)[0] == 200, f"config {settings} refused")
        start = time.time()
        head, reply, reset = raw_post(svc, PATH, body)
        check(ok(head, reply, reset, time.time() - start), f"fault {settings}")

    def location(head):
        return next((line[10:] for line in head if line.startswith("Location: ")), None)

    hop1 = "/__hop/1" + PATH
    redirects = [  # (settings, path asked for, status line, Location)
        ({"redirect": {}}, PATH, "HTTP/1.1 307 Temporary Redirect", hop1),
        ({"redirect": {"code": 302, "hops": 2}}, hop1, "HTTP/1.1 302 Found", "/__hop/2" + PATH),
        ({"redirect": {"loop": True}}, hop1, "HTTP/1.1 307 Temporary Redirect", hop1),
        ({"redirect": {"host": "localhost"}}, PATH, "HTTP/1.1 307 Temporary Redirect",
         f"http://localhost:{svc.port}{hop1}"),
        ({"redirect": {"hops": 1}}, hop1, "HTTP/1.1 200 OK", None),
    ]
    for settings, path, status, to in redirects:
        svc.config(settings)
        head, reply, _ = raw_post(svc, path, body)
        check(head[0] == status and location(head) == to,
              f"redirect {settings} from {path}: {head[0]}, {location(head)}")
        if to is None:
            check(base64.b64decode(speech_the_client_way(reply)) == audio,
                  "the last hop is no synthesis path")
    svc.config({})
    check(raw_post(svc, hop1, body)[0][0].startswith("HTTP/1.1 404"),
          "a hop path answers without redirects")
    for bad in ({"fault": "bogus"}, {"redirect": {"code": 200}}, {"redirect": {"hops": 0}},
                {"redirect": {"to": "/x"}}, {"trickle_interval": 0}):
        check(svc.config(bad)[0] == 400, f"config {bad} accepted")


def check_tls_and_command_line(tmp):
    if not shutil.which("openssl"):
        print("SKIP: openssl missing, HTTPS not checked")
        return
    cert, key = os.path.join(tmp, "cert.pem"), os.path.join(tmp, "key.pem")
    subprocess.run(["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "1",
                    "-subj", "/CN=127.0.0.1", "-keyout", key, "-out", cert],
                   check=True, capture_output=True)
    keys = os.path.join(tmp, "keys.json")
    with open(keys, "w") as f:
        json.dump({"42": "secret"}, f)
    svc = Service(tmp, "tls", "--tls-cert", cert, "--tls-key", key, "--keys", keys,
                  "--compact", "--stamp-offset", "-28800")
    svc.tls = ssl.create_default_context(cafile=cert)
    svc.tls.check_hostname = False
    stamp = str(int(time.time()) - 28800)
    status, _, reply = svc.post(build_body(app_id="42", key="secret", stamp=stamp))
    check(status == 200 and reply.startswith(b'{"ret":0,'), f"HTTPS with --keys: {reply[:60]}")
    status, _, reply = svc.post(build_body(app_id=APP_ID, key=APP_KEY, stamp=stamp))
    check(json.loads(reply)["ret"] == 0, "--keys dropped the built-in key")
    svc.config({"stamp_offset": 0})
    status, _, reply = svc.post(build_body(app_id=APP_ID, key=APP_KEY, stamp=stamp))
    check(json.loads(reply)["ret"] == 16388, "stamp_offset 0 accepted a stamp 8 h behind")
    status, _, reply = svc.post(build_body())
    check(json.loads(reply)["ret"] == 16386, "empty app_id accepted without --accept-empty")
    svc.request("POST", "/__shutdown", b"")
    check(svc.wait_gone(10), "HTTPS service did not stop on /__shutdown")


def main():
    started = time.time()
    tmp = tempfile.mkdtemp(prefix="tts-selftest-")
    try:
        timed = Service(tmp, "timed", "--max-seconds", "1")
        svc = Service(tmp, "main", "--accept-empty")
        try:
            check_success(svc, tmp)
            check_rejections(svc)
            check_records(svc)
            check_switches(svc, tmp)
            check_faults(svc)
        finally:
            svc.proc.send_signal(signal.SIGTERM)
            check(svc.wait_gone(10), "service did not stop on SIGTERM and clean up")
        check(timed.wait_gone(10), "--max-seconds 1 did not stop the service")
        check_tls_and_command_line(tmp)
    finally:
        shutil.rmtree(tmp, ignore_errors=True)
    print(f"{'FAILED' if failures else 'passed'}: {len(failures)} failure(s), "
          f"{time.time() - started:.1f} s")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
