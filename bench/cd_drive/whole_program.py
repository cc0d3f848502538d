#!/usr/bin/python3
"""The whole copy program as a user waits for it, on a modelled CD drive.

Builds a book of CHAPTERS chapters (WAV or MP3 audio, BOOK_MB in all),
then times, pair by pair, from start to exit:
  A  talvora (AutoStart, no message, no tray) copying the book from a
     "drive" whose every file open costs --open-ms and whose reads pass at
     --mbps (cd_drive_shim.so, LD_PRELOAD), verified (VerifyCopy=1) and not;
  B  the peer: cp -r of the same modelled disc, then sync (and, for the
     verified run, dropping the copy's pages and diff -r against the disc
     held in memory, so the peer proves as much as the program does).
While A runs, a prober of its own (a11y_prober.py) asks the program's
window for its extents through the accessibility bus every 100 ms: the
slowest answer shows whether the window ever stopped answering a screen
reader.

SHIM "-" runs both on the plain folder, without a modelled drive.
Run it as
  xvfb-run -a dbus-run-session -- python3 bench/cd_drive/whole_program.py \
      out/release/app/talvora out/release/bench/cd_drive/cd_drive_shim.so
Prints figures and ratios; it asserts nothing."""

import argparse
import os
import shutil
import statistics
import struct
import subprocess
import sys
import tempfile
import time

here = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(here, "..", "..", "sample"))
sys.path.insert(0, os.path.join(here, "..", "..", "tests", "e2e"))
import make_sample_book as sample  # noqa: E402
from talvora_process import BOOK, Sandbox  # noqa: E402

RATE = 22050


def wav(path, size):
    """A mono 16-bit WAV of about size bytes with a noisy payload, and its
    length in seconds."""
    frames = max(1, (size - 44) // 2)
    block = os.urandom(1 << 16)
    with open(path, "wb") as out:
        data = frames * 2
        out.write(b"RIFF" + struct.pack("<I", 36 + data) + b"WAVE")
        out.write(b"fmt " + struct.pack("<IHHIIHH", 16, 1, 1, RATE, RATE * 2, 2, 16))
        out.write(b"data" + struct.pack("<I", data))
        left = data
        while left:
            piece = block[:min(left, len(block))]
            out.write(piece)
            left -= len(piece)
    return frames / RATE


def mp3(path, size):
    """An MPEG-1 layer III file of about size bytes: 128 kbit/s frames at
    44.1 kHz, each a valid header and a noisy payload, so the program walks
    it frame by frame as it walks a real book's audio; its length in
    seconds."""
    frame = 417  # 144 * 128000 / 44100
    payload = bytes([0xFF, 0xFB, 0x90, 0x44]) + os.urandom(frame - 4)
    frames = max(1, size // frame)
    with open(path, "wb") as out:
        out.write(payload * frames)
    return frames * 1152 / 44100


def make_book(folder, chapters, book_mb, audio_kind="wav"):
    os.makedirs(folder)
    per = book_mb * 1_000_000 // chapters
    headings, total = [], 0.0
    for n in range(1, chapters + 1):
        audio = f"aud{n:04d}.{audio_kind}"
        seconds = (mp3 if audio_kind == "mp3" else wav)(os.path.join(folder, audio), per)
        hid = f"h{n:04d}"
        with open(os.path.join(folder, f"smil{n:04d}.smil"), "w", encoding="utf-8") as out:
            out.write(sample.smil(f"Hoofdstuk {n}", audio, seconds, hid))
        headings.append((hid, n, f"Hoofdstuk {n}"))
        total += seconds
    book = {"id": "TV-2026-0042", "title": "Het raadsel van de blauwe sluis", "creator": "Hoogmeer, Tjitske"}
    sample.write_ncc(folder, book, "1 of 1", headings, total)


def drop_pages(folder):
    for base, _, files in os.walk(folder):
        for name in files:
            fd = os.open(os.path.join(base, name), os.O_RDONLY)
            os.posix_fadvise(fd, 0, 0, os.POSIX_FADV_DONTNEED)
            os.close(fd)


class Prober:
    """The accessibility prober (a11y_prober.py) as a process of its own,
    asking the program's window every 100 ms; the slowest answer. It runs
    under Debian's own Python, which has the accessibility bindings."""

    def __init__(self, pid, env):
        self.process = subprocess.Popen(["/usr/bin/python3", os.path.join(here, "a11y_prober.py"), str(pid)],
                                        env=env, stdout=subprocess.PIPE, text=True)
        self.slowest = 0.0
        self.answers = 0

    def finish(self):
        self.process.terminate()
        out, _ = self.process.communicate(timeout=30)
        words = out.split()
        if len(words) >= 4:
            self.answers = int(words[1])
            self.slowest = int(words[3]) / 1000.0


def drive_env(shim, disc, args):
    """The modelled drive's variables; none for "-", where the disc is a
    plain folder (in the page cache after the first round)."""
    if shim == "-":
        return {}
    return {"LD_PRELOAD": shim, "TALVORA_SHIM_ROOT": disc, "TALVORA_SHIM_OPEN_MS": str(args.open_ms),
            "TALVORA_SHIM_MBPS": str(args.mbps)}


def run_program(program, shim, disc, verify, args):
    sandbox = Sandbox()
    try:
        out = os.path.join(sandbox.home, "boeken")
        os.makedirs(os.path.dirname(sandbox.settings_file()))
        with open(sandbox.settings_file(), "w", encoding="utf-8") as f:
            f.write(f"[Settings]\nOutputDir={out}/\nAutoStart=1\nMessageWhenDone=0\nEjectWhenDone=0\n"
                    f"VerifyCopy={1 if verify else 0}\n")
        env = sandbox.env(TALVORA_DRIVES=disc, **drive_env(shim, disc, args))
        env.pop("NO_AT_BRIDGE", None)
        began = time.monotonic()
        process = subprocess.Popen([program], env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        prober = Prober(process.pid, env)
        status = process.wait(timeout=3600)
        seconds = time.monotonic() - began
        prober.finish()
        whole = os.path.isdir(os.path.join(out, BOOK))
        return seconds, status, whole, prober
    finally:
        sandbox.cleanup()


def run_peer(shim, disc, verify, args):
    work = tempfile.mkdtemp(prefix="talvora-peer-")
    try:
        target = os.path.join(work, "boek")
        env = dict(os.environ, **drive_env(shim, disc, args))
        began = time.monotonic()
        subprocess.run(["cp", "-r", disc, target], env=env, check=True)
        subprocess.run(["sync"], check=True)
        if verify:
            drop_pages(target)
            # The disc's bytes are compared from memory, as the program
            # compares with what it read once: diff -r without the shim.
            subprocess.run(["diff", "-r", disc, target], check=True, stdout=subprocess.DEVNULL)
        return time.monotonic() - began
    finally:
        shutil.rmtree(work)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("program")
    parser.add_argument("shim")
    parser.add_argument("--chapters", type=int, default=300)
    parser.add_argument("--book-mb", type=int, default=100)
    parser.add_argument("--open-ms", type=float, default=80)
    parser.add_argument("--mbps", type=float, default=7)
    parser.add_argument("--rounds", type=int, default=3)
    # WAV audio the program copies in the kernel, reading only its chunk
    # headers; MP3 it reads through, walking every frame, as most books.
    parser.add_argument("--audio", choices=["wav", "mp3"], default="wav")
    args = parser.parse_args()
    program = os.path.abspath(args.program)
    shim = args.shim if args.shim == "-" else os.path.abspath(args.shim)
    base = tempfile.mkdtemp(prefix="talvora-whole-")
    try:
        disc = os.path.join(base, "disc")
        make_book(disc, args.chapters, args.book_mb, args.audio)
        drive = "a plain folder" if shim == "-" else f"{args.open_ms:g} ms an open, {args.mbps:g} MB/s"
        print(f"book: {args.chapters} chapters, {args.book_mb} MB of {args.audio.upper()}; drive: {drive}")
        for verify in (True, False):
            ratios, ours, theirs, slowest, answers = [], [], [], 0.0, 0
            for _ in range(args.rounds):
                seconds, status, whole, prober = run_program(program, shim, disc, verify, args)
                peer = run_peer(shim, disc, verify, args)
                ours.append(seconds)
                theirs.append(peer)
                ratios.append(seconds / peer)
                slowest = max(slowest, prober.slowest)
                answers += prober.answers
                if status != 0 or not whole:
                    print(f"  run ended with status {status}, book folder {'there' if whole else 'missing'}")
            kind = "verified (VerifyCopy=1) vs cp -r + sync + drop + diff -r" if verify else \
                "VerifyCopy=0 vs cp -r + sync"
            print(f"{kind}: talvora {statistics.median(ours):.2f} s, peer {statistics.median(theirs):.2f} s, "
                  f"ratio median {statistics.median(ratios):.2f} (min {min(ratios):.2f}, max {max(ratios):.2f}); "
                  f"slowest of {answers} accessibility answers {slowest * 1000:.0f} ms")
    finally:
        shutil.rmtree(base)


if __name__ == "__main__":
    main()
