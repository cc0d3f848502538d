#!/usr/bin/python3
"""Writes a small DAISY 2.02 talking book of the project's own into a folder:
an ncc.html with real metadata, one SMIL file and one short audio file per
chapter. It stands in for a disc in demonstrations and end-to-end tests.

Usage: make_sample_book.py FOLDER [--set "2 of 3"] [--title T] [--id ID]
       [--creator NAME] [--extra-mb N]
"""

import argparse
import math
import os
import struct
import wave
from xml.sax.saxutils import escape, quoteattr

CHAPTERS = ["Het begin", "De blauwe sluis", "Het raadsel opgelost"]
RATE = 8000


def tone(path, seconds, pitch):
    """A short spoken-book stand-in: a soft tone that fades in and out."""
    frames = int(RATE * seconds)
    with wave.open(path, "wb") as out:
        out.setnchannels(1)
        out.setsampwidth(2)
        out.setframerate(RATE)
        samples = bytearray()
        for i in range(frames):
            envelope = min(1.0, i / 800, (frames - i) / 800)
            samples += struct.pack("<h", int(6000 * envelope * math.sin(2 * math.pi * pitch * i / RATE)))
        out.writeframes(bytes(samples))


def clock(seconds):
    return f"{int(seconds // 3600):02d}:{int(seconds % 3600 // 60):02d}:{seconds % 60:06.3f}"


def smil(title, audio, seconds, heading_id):
    return f"""<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE smil PUBLIC "-//W3C//DTD SMIL 1.0//EN" "http://www.w3.org/TR/REC-smil/SMIL10.dtd">
<smil>
 <head>
  <meta name="dc:format" content="Daisy 2.02" />
  <meta name="title" content={quoteattr(title)} />
  <layout><region id="txtView" /></layout>
 </head>
 <body>
  <seq dur="{seconds:.3f}s">
   <par endsync="last">
    <text src="ncc.html#{heading_id}" id="t_{heading_id}" />
    <audio src="{audio}" clip-begin="npt=0.000s" clip-end="npt={seconds:.3f}s" id="a_{heading_id}" />
   </par>
  </seq>
 </body>
</smil>
"""


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("folder")
    parser.add_argument("--id", default="TV-2026-0042")
    parser.add_argument("--title", default="Het raadsel van de blauwe sluis")
    parser.add_argument("--creator", default="Hoogmeer, Tjitske")
    parser.add_argument("--set", default="1 of 1")
    parser.add_argument("--extra-mb", type=int, default=0, help="add a large audio file of this many MB")
    args = parser.parse_args()

    os.makedirs(args.folder, exist_ok=True)
    headings = []
    total = 0.0
    for number, chapter in enumerate(CHAPTERS, start=1):
        seconds = 1.0 + 0.5 * number
        audio = f"aud{number:04d}.wav"
        tone(os.path.join(args.folder, audio), seconds, 220 * number)
        heading_id = f"h{number:04d}"
        with open(os.path.join(args.folder, f"smil{number:04d}.smil"), "w", encoding="utf-8") as out:
            out.write(smil(chapter, audio, seconds, heading_id))
        headings.append((heading_id, number, chapter))
        total += seconds
    if args.extra_mb:
        with open(os.path.join(args.folder, "aud9999.wav"), "wb") as out:
            block = os.urandom(1 << 20)
            for _ in range(args.extra_mb):
                out.write(block)

    metas = [
        ("dc:format", "Daisy 2.02"),
        ("dc:identifier", args.id),
        ("dc:title", args.title),
        ("dc:creator", args.creator),
        ("dc:language", "nl"),
        ("dc:publisher", "Talvora voorbeeldboeken"),
        ("dc:date", "2026-12-07"),
        ("ncc:charset", "utf-8"),
        ("ncc:generator", "make_sample_book.py"),
        ("ncc:narrator", "Een toon"),
        ("ncc:totalTime", clock(total)),
        ("ncc:setInfo", args.set),
        ("ncc:tocItems", str(len(headings))),
        ("ncc:files", str(2 * len(headings) + 1)),
        ("ncc:multimediaType", "audioNcc"),
    ]
    lines = ['<?xml version="1.0" encoding="utf-8"?>',
             '<!DOCTYPE html PUBLIC "-//W3C//DTD XHTML 1.0 Transitional//EN"'
             ' "http://www.w3.org/TR/xhtml1/DTD/xhtml1-transitional.dtd">',
             '<html xmlns="http://www.w3.org/1999/xhtml">',
             "<head>",
             f"<title>{escape(args.title)}</title>",
             '<meta http-equiv="Content-type" content="text/html; charset=utf-8" />']
    lines += [f"<meta name={quoteattr(name)} content={quoteattr(value)} />" for name, value in metas]
    lines += ["</head>", "<body>"]
    for heading_id, number, chapter in headings:
        css = ' class="title"' if number == 1 else ""
        lines.append(f'<h1 id="{heading_id}"{css}><a href="smil{number:04d}.smil#t_{heading_id}">'
                     f"{escape(chapter)}</a></h1>")
    lines += ["</body>", "</html>", ""]
    with open(os.path.join(args.folder, "ncc.html"), "w", encoding="utf-8") as out:
        out.write("\n".join(lines))


if __name__ == "__main__":
    main()
