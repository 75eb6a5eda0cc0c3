#!/usr/bin/env python3
"""Independent implementation of the payload codec, used to check zq-codec both ways."""
import base64
import hashlib
import random
import re
import subprocess
import sys
import time

DEFAULT_KEY = b"brindlemo.vqz"
DRIVER_KEY = b"qzmvtrelkhopbnaswdfcuyixgjqwmzlpkr"


def xor(data: bytes, key: bytes) -> bytes:
    if not key:
        return b""
    return bytes(b ^ key[i % len(key)] for i, b in enumerate(data))


def b64decode_lenient(text: bytes) -> bytes:
    m = re.match(rb"[A-Za-z0-9+/]*", text)
    s = m.group(0)
    s = s[: len(s) - (len(s) % 4 == 1)]  # a lone trailing character carries no byte
    return base64.b64decode(s + b"=" * (-len(s) % 4))


def encode(plain: bytes, key: bytes) -> bytes:
    stamp = str(int(time.time() * 1000)).encode()
    salt = bytes(random.randint(32, 121) for _ in range(13))
    h = hashlib.md5(stamp + salt + key).hexdigest().encode()
    return base64.b64encode(xor(base64.b64encode(plain), h) + xor(stamp, salt) + xor(salt, key))


def decode(text: bytes, key: bytes) -> bytes:
    d = b64decode_lenient(text)
    if len(d) < 26:
        return b""
    salt = xor(d[-13:], key)
    stamp = xor(d[-26:-13], salt)
    h = hashlib.md5(stamp + salt + key).hexdigest().encode()
    return b64decode_lenient(xor(d[:-26], h))


def check(tool: str) -> int:
    samples = [b"", b"hello", "香港 caf\u00e9 \U0001F600".encode(), bytes(range(256)) * 3, b'{"code":0,"msg":"ok"}']
    failures = 0
    for key, flag in ((DEFAULT_KEY, []), (DRIVER_KEY, ["--driver-key"])):
        for s in samples:
            out = subprocess.run([tool, "encode", *flag], input=s, capture_output=True, check=True).stdout
            if decode(out, key) != s:
                print(f"FAIL tool encode -> reference decode {s[:20]!r}")
                failures += 1
            back = subprocess.run([tool, "decode", *flag], input=encode(s, key), capture_output=True, check=True).stdout
            if back != s:
                print(f"FAIL reference encode -> tool decode {s[:20]!r}")
                failures += 1
    bad = subprocess.run([tool, "decode"], input=b"not codec", capture_output=True)
    if bad.returncode == 0:
        print("FAIL garbage input accepted")
        failures += 1
    total = 2 * 2 * len(samples) + 1
    print(f"{total - failures} passed, {failures} failed")
    return 1 if failures else 0


if __name__ == "__main__":
    if len(sys.argv) == 3 and sys.argv[1] == "--check":
        sys.exit(check(sys.argv[2]))
    if len(sys.argv) >= 2 and sys.argv[1] in ("encode", "decode"):
        key = DRIVER_KEY if "--driver-key" in sys.argv else DEFAULT_KEY
        data = sys.stdin.buffer.read()
        sys.stdout.buffer.write(encode(data, key) if sys.argv[1] == "encode" else decode(data, key))
        sys.exit(0)
    print("usage: reference_codec.py encode|decode [--driver-key] | --check ZQ_CODEC", file=sys.stderr)
    sys.exit(2)
