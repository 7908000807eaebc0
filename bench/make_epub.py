#!/usr/bin/env python3
"""Writes a generated EPUB 3 book for the layout benchmarks: chapters of English prose with
headings, italic and bold runs, long words for hyphenation, ordered lists and (optionally) grey
PNG pictures, one of them opening a chapter, or a colour PNG cover of W x H on the first page, as
many books open.

usage: make_epub.py OUT.epub WORDS [--pictures] [--cover WxH]
"""
import os
import random
import struct
import sys
import zipfile
import zlib

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from make_photo import photo_rows, png_rgb  # noqa: E402

VOCABULARY = (
    "the of and to in that was his he it with is for as had you not be her on at by which have "
    "or from this him but all she they were my are me one their so an said them we who would "
    "been will no when there if more out up into do any your what has man could other than "
    "our some very time upon about may its only now like little then can should made did us "
    "such great before must two these see know over much down after first mister good men "
    "own never most old shall day where those came come himself way work life without go make "
    "well through being long say might how am too even def under new same last many thought "
    "extraordinary understanding responsibility circumstances nevertheless notwithstanding "
    "characteristically incomprehensible uncharacteristically representative philosophical "
    "international establishment consideration disappointment encouragement acknowledgement "
    "conversation independence imagination particularly remarkable development recollection"
).split()


def png_bytes(width, height, shade):
    rows = b"".join(b"\x00" + bytes((shade + (x * 255 // width)) % 256 for x in range(width))
                    for _ in range(height))
    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body))
    header = struct.pack(">IIBBBBB", width, height, 8, 0, 0, 0, 0)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) + chunk(b"IDAT", zlib.compress(rows))
            + chunk(b"IEND", b""))


def sentence(rng):
    words = [rng.choice(VOCABULARY) for _ in range(rng.randint(6, 22))]
    words[0] = words[0].capitalize()
    if rng.random() < 0.3:
        i = rng.randrange(len(words))
        words[i] = "<i>%s</i>" % words[i]
    if rng.random() < 0.1:
        i = rng.randrange(len(words))
        words[i] = "<b>%s</b>" % words[i]
    return " ".join(words) + rng.choice([".", ".", ".", "?", "!"])


def chapter(rng, number, budget, pictures):
    parts = ["<h1>Chapter %d</h1>" % number]
    if pictures and number % 3 == 1:
        # A chapter that opens with a picture, before its heading.
        parts.insert(0, '<p><img src="../images/p%d.png" alt=""/></p>' % (number % 4))
    used = 0
    while used < budget:
        if rng.random() < 0.04:
            items = "".join("<li>%s</li>" % sentence(rng) for _ in range(3))
            parts.append("<ol>%s</ol>" % items)
        elif pictures and rng.random() < 0.02:
            parts.append('<p><img src="../images/p%d.png" alt=""/></p>' % rng.randrange(4))
        else:
            text = " ".join(sentence(rng) for _ in range(rng.randint(2, 7)))
            parts.append("<p>%s</p>" % text)
            used += text.count(" ") + 1
    return ('<?xml version="1.0" encoding="utf-8"?>\n<html xmlns="http://www.w3.org/1999/xhtml">'
            "<head><title>c%d</title></head><body>%s</body></html>" % (number, "\n".join(parts)))


def main():
    out, total = sys.argv[1], int(sys.argv[2])
    pictures = "--pictures" in sys.argv[3:]
    cover = None
    if "--cover" in sys.argv[3:]:
        cover = tuple(int(v) for v in sys.argv[sys.argv.index("--cover") + 1].split("x"))
    rng = random.Random(7)
    per_chapter = 6000
    chapters = max(1, total // per_chapter)
    with zipfile.ZipFile(out, "w") as z:
        z.writestr(zipfile.ZipInfo("mimetype"), "application/epub+zip")
        z.writestr("META-INF/container.xml",
                   '<?xml version="1.0"?><container version="1.0" '
                   'xmlns="urn:oasis:names:tc:opendocument:xmlns:container"><rootfiles>'
                   '<rootfile full-path="OEBPS/content.opf" '
                   'media-type="application/oebps-package+xml"/></rootfiles></container>',
                   zipfile.ZIP_DEFLATED)
        manifest, spine = [], []
        if cover:
            z.writestr("OEBPS/images/cover.png", png_rgb(cover[0], cover[1], photo_rows(*cover, 3)))
            z.writestr("OEBPS/text/cover.xhtml",
                       '<?xml version="1.0" encoding="utf-8"?>\n<html xmlns="http://www.w3.org/1999/xhtml">'
                       '<head><title>Cover</title></head><body><div><img src="../images/cover.png" '
                       'alt="Cover"/></div></body></html>', zipfile.ZIP_DEFLATED)
            manifest.append('<item id="cover-image" href="images/cover.png" media-type="image/png" '
                            'properties="cover-image"/><item id="cover" href="text/cover.xhtml" '
                            'media-type="application/xhtml+xml"/>')
            spine.append('<itemref idref="cover"/>')
        for n in range(1, chapters + 1):
            z.writestr("OEBPS/text/c%d.xhtml" % n,
                       chapter(rng, n, min(per_chapter, total), pictures), zipfile.ZIP_DEFLATED)
            manifest.append('<item id="c%d" href="text/c%d.xhtml" '
                            'media-type="application/xhtml+xml"/>' % (n, n))
            spine.append('<itemref idref="c%d"/>' % n)
        if pictures:
            sizes = [(300, 200), (90, 60), (800, 1400), (640, 480)]
            for i, (w, h) in enumerate(sizes):
                z.writestr("OEBPS/images/p%d.png" % i, png_bytes(w, h, 40 * i))
                manifest.append('<item id="p%d" href="images/p%d.png" media-type="image/png"/>'
                                % (i, i))
        z.writestr("OEBPS/content.opf",
                   '<?xml version="1.0" encoding="utf-8"?><package version="3.0" '
                   'xmlns="http://www.idpf.org/2007/opf" unique-identifier="id"><metadata '
                   'xmlns:dc="http://purl.org/dc/elements/1.1/"><dc:identifier id="id">gen-%d'
                   '</dc:identifier><dc:title>Generated Book</dc:title><dc:creator>Bench'
                   '</dc:creator><dc:language>en</dc:language></metadata><manifest>%s</manifest>'
                   '<spine>%s</spine></package>' % (total, "".join(manifest), "".join(spine)),
                   zipfile.ZIP_DEFLATED)


if __name__ == "__main__":
    main()
