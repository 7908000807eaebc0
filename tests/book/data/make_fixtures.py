#!/usr/bin/env python3
"""Makes the MOBI, AZW3 and FB2 test books once, from a small EPUB built here.

Run from this folder with ebook-convert on the PATH (Debian: calibre):
    QT_QPA_PLATFORM=offscreen ./make_fixtures.py
The outputs are committed; the tests do not need the converter installed.
"""
import io
import os
import struct
import subprocess
import tempfile
import zlib
import zipfile

WORDS = ("river stone lantern quiet morning harbour window letter garden silver "
         "orchard meadow candle winter summer thunder valley forest bridge tower").split()


def paragraph(seed, n):
    return " ".join(WORDS[(seed * 7 + k * 3) % len(WORDS)] for k in range(n)).capitalize() + "."


def png(width, height, shade):
    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))
    rows = b"".join(b"\x00" + bytes([shade]) * width for _ in range(height))
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 0, 0, 0, 0))
            + chunk(b"IDAT", zlib.compress(rows)) + chunk(b"IEND", b""))


def chapter(n):
    paras = "".join("<p>%s</p>" % paragraph(n * 10 + k, 24) for k in range(6))
    pic = '<p><img src="pic%d.png" alt=""/></p>' % n if n == 2 else ""
    return ('<?xml version="1.0" encoding="utf-8"?><html xmlns="http://www.w3.org/1999/xhtml">'
            "<head><title>Chapter %d</title></head><body><h1>Chapter %d</h1>%s%s</body></html>" % (n, n, paras, pic))


def build_epub(path):
    chapters = [1, 2, 3]
    manifest = "".join('<item id="c%d" href="c%d.xhtml" media-type="application/xhtml+xml"/>' % (n, n)
                       for n in chapters)
    manifest += '<item id="cover" href="cover.png" media-type="image/png"/>'
    manifest += '<item id="pic2" href="pic2.png" media-type="image/png"/>'
    manifest += '<item id="ncx" href="toc.ncx" media-type="application/x-dtbncx+xml"/>'
    spine = "".join('<itemref idref="c%d"/>' % n for n in chapters)
    opf = ('<?xml version="1.0" encoding="utf-8"?><package xmlns="http://www.idpf.org/2007/opf" version="2.0" '
           'unique-identifier="id"><metadata xmlns:dc="http://purl.org/dc/elements/1.1/">'
           '<dc:identifier id="id">fixture-1</dc:identifier><dc:title>The Lantern Harbour</dc:title>'
           '<dc:creator>Ada Stone</dc:creator><dc:language>fi</dc:language>'
           '<meta name="cover" content="cover"/></metadata><manifest>%s</manifest>'
           '<spine toc="ncx">%s</spine></package>' % (manifest, spine))
    ncx = ('<?xml version="1.0" encoding="utf-8"?><ncx xmlns="http://www.daisy.org/z3986/2005/ncx/" version="2005-1">'
           '<head/><docTitle><text>The Lantern Harbour</text></docTitle><navMap>%s</navMap></ncx>' %
           "".join('<navPoint id="n%d" playOrder="%d"><navLabel><text>Chapter %d</text></navLabel>'
                   '<content src="c%d.xhtml"/></navPoint>' % (n, n, n, n) for n in chapters))
    with zipfile.ZipFile(path, "w") as z:
        z.writestr(zipfile.ZipInfo("mimetype"), "application/epub+zip")
        z.writestr("META-INF/container.xml",
                   '<?xml version="1.0"?><container version="1.0" xmlns="urn:oasis:names:tc:opendocument:xmlns:container">'
                   '<rootfiles><rootfile full-path="OEBPS/content.opf" media-type="application/oebps-package+xml"/>'
                   "</rootfiles></container>", compress_type=zipfile.ZIP_DEFLATED)
        z.writestr("OEBPS/content.opf", opf, compress_type=zipfile.ZIP_DEFLATED)
        z.writestr("OEBPS/toc.ncx", ncx, compress_type=zipfile.ZIP_DEFLATED)
        for n in chapters:
            z.writestr("OEBPS/c%d.xhtml" % n, chapter(n), compress_type=zipfile.ZIP_DEFLATED)
        z.writestr("OEBPS/cover.png", png(60, 80, 40))
        z.writestr("OEBPS/pic2.png", png(40, 30, 200))


def convert(src, dst, *options):
    subprocess.run(["ebook-convert", src, dst, *options], check=True, stdout=subprocess.DEVNULL)


def main():
    with tempfile.TemporaryDirectory() as tmp:
        epub = os.path.join(tmp, "source.epub")
        build_epub(epub)
        convert(epub, "old.mobi", "--mobi-file-type", "old", "--no-inline-toc")
        convert(epub, "old-plain.mobi", "--mobi-file-type", "old", "--dont-compress", "--no-inline-toc")
        convert(epub, "joint.mobi", "--mobi-file-type", "both", "--no-inline-toc")
        convert(epub, "book.azw3", "--no-inline-toc")
        convert(epub, "book.fb2")
        with open("source-words.txt", "w") as f:
            for n in (1, 2, 3):
                f.write("Chapter %d\n" % n)
                for k in range(6):
                    f.write(paragraph(n * 10 + k, 24) + "\n")


if __name__ == "__main__":
    main()
