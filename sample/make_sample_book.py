#!/usr/bin/python3
"""Writes a small DAISY talking book of the project's own into a folder:
an ncc.html (DAISY 2.02) or a package file (DAISY 3) with real metadata,
one SMIL file and one short audio file per chapter. It stands in for a disc
in demonstrations and end-to-end tests.

Usage: make_sample_book.py FOLDER [--set "2 of 3"] [--title T] [--id ID]
       [--creator NAME] [--extra-mb N] [--daisy3 | --with-package | --two-books]
       [--fault FAULT]

--daisy3        a DAISY 3 book: speechgen.opf and speechgen.ncx, no ncc.html
--with-package  a DAISY 2.02 book that also has a package file of other
                metadata at its root
--two-books     a distribution disc: discinfo.html listing a DAISY 2.02 book
                in boek1/ and a DAISY 3 book in boek2/, and a root file that
                belongs to neither
--fault         one fault in chapter 2 of the book (or of boek1/ on a disc
                with two), for the book check's tests: missing-smil,
                missing-audio, empty-audio, truncated-audio, case-only,
                outside-link, extra-file, broken-smil
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


def smil(title, audio, seconds, heading_id, daisy3=False):
    if daisy3:
        # DAISY 3: audio only here, clip times in SMIL 2 spelling.
        return f"""<?xml version="1.0" encoding="utf-8"?>
<smil xmlns="http://www.w3.org/2001/SMIL20/">
 <head><meta name="dtb:uid" content="sample" /></head>
 <body>
  <seq id="s_{heading_id}">
   <par id="t_{heading_id}">
    <audio src="{audio}" clipBegin="0:00:00.000" clipEnd="{clock(seconds)}" />
   </par>
  </seq>
 </body>
</smil>
"""
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


def chapters(folder, extra_mb, daisy3=False):
    """Audio and SMIL files; returns the headings and the total time."""
    headings = []
    total = 0.0
    for number, chapter in enumerate(CHAPTERS, start=1):
        seconds = 1.0 + 0.5 * number
        audio = f"aud{number:04d}.wav"
        tone(os.path.join(folder, audio), seconds, 220 * number)
        heading_id = f"h{number:04d}"
        with open(os.path.join(folder, f"smil{number:04d}.smil"), "w", encoding="utf-8") as out:
            out.write(smil(chapter, audio, seconds, heading_id, daisy3))
        headings.append((heading_id, number, chapter))
        total += seconds
    if extra_mb:
        with open(os.path.join(folder, "aud9999.wav"), "wb") as out:
            block = os.urandom(1 << 20)
            for _ in range(extra_mb):
                out.write(block)
    return headings, total


def write_ncc(folder, book, set_info, headings, total):
    metas = [
        ("dc:format", "Daisy 2.02"),
        ("dc:identifier", book["id"]),
        ("dc:title", book["title"]),
        ("dc:creator", book["creator"]),
        ("dc:language", "nl"),
        ("dc:publisher", "Talvora voorbeeldboeken"),
        ("dc:date", "2026-12-07"),
        ("ncc:charset", "utf-8"),
        ("ncc:generator", "make_sample_book.py"),
        ("ncc:narrator", "Een toon"),
        ("ncc:totalTime", clock(total)),
        ("ncc:setInfo", set_info),
        ("ncc:tocItems", str(len(headings))),
        ("ncc:files", str(2 * len(headings) + 1)),
        ("ncc:multimediaType", "audioNcc"),
    ]
    lines = ['<?xml version="1.0" encoding="utf-8"?>',
             '<!DOCTYPE html PUBLIC "-//W3C//DTD XHTML 1.0 Transitional//EN"'
             ' "http://www.w3.org/TR/xhtml1/DTD/xhtml1-transitional.dtd">',
             '<html xmlns="http://www.w3.org/1999/xhtml">',
             "<head>",
             f"<title>{escape(book['title'])}</title>",
             '<meta http-equiv="Content-type" content="text/html; charset=utf-8" />']
    lines += [f"<meta name={quoteattr(name)} content={quoteattr(value)} />" for name, value in metas]
    lines += ["</head>", "<body>"]
    for heading_id, number, chapter in headings:
        css = ' class="title"' if number == 1 else ""
        lines.append(f'<h1 id="{heading_id}"{css}><a href="smil{number:04d}.smil#t_{heading_id}">'
                     f"{escape(chapter)}</a></h1>")
    lines += ["</body>", "</html>", ""]
    with open(os.path.join(folder, "ncc.html"), "w", encoding="utf-8") as out:
        out.write("\n".join(lines))


def write_package(folder, book, headings, total):
    """A DAISY 3 (Z39.86-2005) package file and a bare navigation file."""
    items = [f'<item href="smil{n:04d}.smil" id="smil{n:04d}" media-type="application/smil" />'
             for _, n, _ in headings]
    items += [f'<item href="aud{n:04d}.wav" id="aud{n:04d}" media-type="audio/x-wav" />' for _, n, _ in headings]
    items.append('<item href="speechgen.ncx" id="ncx" media-type="application/x-dtbncx+xml" />')
    spine = [f'<itemref idref="smil{n:04d}" />' for _, n, _ in headings]
    text = f"""<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE package PUBLIC "+//ISBN 0-9673008-1-9//DTD OEB 1.2 Package//EN" "http://openebook.org/dtds/oeb-1.2/oebpkg12.dtd">
<package xmlns="http://openebook.org/namespaces/oeb-package/1.0/" unique-identifier="uid">
 <metadata>
  <dc-metadata xmlns:dc="http://purl.org/dc/elements/1.1/" xmlns:oebpackage="http://openebook.org/namespaces/oeb-package/1.0/">
   <dc:Format>ANSI/NISO Z39.86-2005</dc:Format>
   <dc:Identifier scheme="ISBN">978-90-0000-000-0</dc:Identifier>
   <dc:Identifier id="uid">{escape(book["id"])}</dc:Identifier>
   <dc:Title>{escape(book["title"])}</dc:Title>
   <dc:Creator>{escape(book["creator"])}</dc:Creator>
   <dc:Creator>Tweede auteur</dc:Creator>
   <dc:Language>nl</dc:Language>
   <dc:Publisher>Talvora voorbeeldboeken</dc:Publisher>
   <dc:Date>2026-12-07</dc:Date>
  </dc-metadata>
  <x-metadata>
   <meta name="dtb:multimediaType" content="audioNCX" />
   <meta name="dtb:totalTime" content="{clock(total)}" />
  </x-metadata>
 </metadata>
 <manifest>
  {chr(10).join("  " + i for i in items).strip()}
 </manifest>
 <spine>
  {chr(10).join("  " + i for i in spine).strip()}
 </spine>
</package>
"""
    with open(os.path.join(folder, "speechgen.opf"), "w", encoding="utf-8") as out:
        out.write(text)
    points = "".join(
        f'<navPoint id="{hid}" playOrder="{n}"><navLabel><text>{escape(chapter)}</text></navLabel>'
        f'<content src="smil{n:04d}.smil#t_{hid}" /></navPoint>\n' for hid, n, chapter in headings)
    with open(os.path.join(folder, "speechgen.ncx"), "w", encoding="utf-8") as out:
        out.write('<?xml version="1.0" encoding="utf-8"?>\n'
                  '<ncx xmlns="http://www.daisy.org/z3986/2005/ncx/" version="2005-1">\n'
                  f'<head><meta name="dtb:uid" content={quoteattr(book["id"])} /></head>\n'
                  f"<docTitle><text>{escape(book['title'])}</text></docTitle>\n"
                  f"<navMap>\n{points}</navMap>\n</ncx>\n")


def make_book(folder, book, set_info="1 of 1", extra_mb=0, daisy3=False):
    os.makedirs(folder, exist_ok=True)
    headings, total = chapters(folder, extra_mb, daisy3)
    if daisy3:
        write_package(folder, book, headings, total)
    else:
        write_ncc(folder, book, set_info, headings, total)


FAULTS = ["missing-smil", "missing-audio", "empty-audio", "truncated-audio", "case-only", "outside-link",
          "extra-file", "broken-smil"]


def break_book(folder, fault):
    """Spoils chapter 2 of the book in folder, as a badly burnt disc would."""
    smil_path = os.path.join(folder, "smil0002.smil")
    audio_path = os.path.join(folder, "aud0002.wav")
    if fault == "missing-smil":
        os.remove(smil_path)
    elif fault == "missing-audio":
        os.remove(audio_path)
    elif fault == "empty-audio":
        open(audio_path, "wb").close()
    elif fault == "truncated-audio":
        size = os.path.getsize(audio_path)
        with open(audio_path, "r+b") as out:
            out.truncate(44 + (size - 44) // 4)
    elif fault == "case-only":
        os.rename(audio_path, os.path.join(folder, "AUD0002.WAV"))
    elif fault == "outside-link":
        with open(smil_path, encoding="utf-8") as f:
            text = f.read()
        with open(smil_path, "w", encoding="utf-8") as out:
            out.write(text.replace('src="aud0002.wav"', 'src="../boek/aud0002.wav"'))
    elif fault == "extra-file":
        with open(os.path.join(folder, "extra.txt"), "w", encoding="utf-8") as out:
            out.write("Hier verwijst niets naar.\n")
    elif fault == "broken-smil":
        size = os.path.getsize(smil_path)
        with open(smil_path, "r+b") as out:
            out.truncate(size // 2)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("folder")
    parser.add_argument("--id", default="TV-2026-0042")
    parser.add_argument("--title", default="Het raadsel van de blauwe sluis")
    parser.add_argument("--creator", default="Hoogmeer, Tjitske")
    parser.add_argument("--set", default="1 of 1")
    parser.add_argument("--extra-mb", type=int, default=0, help="add a large audio file of this many MB")
    kind = parser.add_mutually_exclusive_group()
    kind.add_argument("--daisy3", action="store_true")
    kind.add_argument("--with-package", action="store_true")
    kind.add_argument("--two-books", action="store_true")
    parser.add_argument("--fault", choices=FAULTS)
    args = parser.parse_args()
    book = {"id": args.id, "title": args.title, "creator": args.creator}

    if args.two_books:
        second = {"id": "TV-2026-0043", "title": "De stille haven", "creator": "Veldhuis, Anouk"}
        make_book(os.path.join(args.folder, "boek1"), book, args.set, args.extra_mb)
        make_book(os.path.join(args.folder, "boek2"), second, daisy3=True)
        with open(os.path.join(args.folder, "discinfo.html"), "w", encoding="utf-8") as out:
            out.write('<?xml version="1.0" encoding="utf-8"?>\n'
                      '<html xmlns="http://www.w3.org/1999/xhtml">\n<head><title>Talvora voorbeeldschijf</title>'
                      '<meta name="dc:format" content="Daisy 2.02" /></head>\n<body>\n'
                      f'<p><a href="boek1/ncc.html">{escape(book["title"])}</a></p>\n'
                      f'<p><a href="boek2/speechgen.opf">{escape(second["title"])}</a></p>\n'
                      "</body>\n</html>\n")
        with open(os.path.join(args.folder, "leesmij.txt"), "w", encoding="utf-8") as out:
            out.write("Twee voorbeeldboeken van Talvora.\n")
        if args.fault:
            break_book(os.path.join(args.folder, "boek1"), args.fault)
        return
    make_book(args.folder, book, args.set, args.extra_mb, daisy3=args.daisy3)
    if args.fault:
        break_book(args.folder, args.fault)
    if args.with_package:
        other = {"id": "OPF-ID", "title": "Titel uit het pakketbestand", "creator": "Niemand"}
        write_package(args.folder, other, [], 0.0)


if __name__ == "__main__":
    main()
