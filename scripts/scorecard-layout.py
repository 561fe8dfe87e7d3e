#!/usr/bin/env python3
"""Measures the printed words of the official scorecard form, so the card
Quillon paints puts every label where the form has it.

Reads data/fitness-2025/scorecard-form.pdf with poppler's pdftotext -bbox
(where each word sits) and pdftohtml -xml (which runs are bold or italic),
and writes data/fitness-2025/scorecard-layout.tsv: page, left, top, right,
bottom (points from the page's top left), style (r, b, i, bi), colour (k or
blue u), word. Run it again only when the form changes; the result is
reviewed like any other source file.

    python3 scripts/scorecard-layout.py data/fitness-2025/scorecard-form.pdf > data/fitness-2025/scorecard-layout.tsv
"""
import html
import re
import subprocess
import sys

pdf = sys.argv[1]
bbox = subprocess.run(["pdftotext", "-bbox", pdf, "-"], capture_output=True, text=True, check=True).stdout
xml = subprocess.run(["pdftohtml", "-xml", "-i", "-stdout", "-zoom", "1", pdf],
                     capture_output=True, text=True, check=True).stdout

# Runs of styled text from pdftohtml: per page, (top, left, width, [(word, style, colour)]).
runs = {}
fonts = {}
for page in re.finditer(r'<page number="(\d+)".*?</page>', xml, re.S):
    n = int(page.group(1))
    for f in re.finditer(r'<fontspec id="(\d+)"[^>]*color="([^"]+)"', page.group(0)):
        fonts[f.group(1)] = "u" if f.group(2).lower() != "#000000" else "k"
    chunks = []
    for t in re.finditer(r'<text top="(\d+)" left="(\d+)" width="(\d+)" height="\d+" font="(\d+)">(.*?)</text>',
                         page.group(0)):
        top, left, width, font, body = int(t.group(1)), int(t.group(2)), int(t.group(3)), t.group(4), t.group(5)
        tokens = []
        for part in re.finditer(r'(<b>|</b>|<i>|</i>|<a[^>]*>|</a>|[^<]+)', body):
            tokens.append(part.group(1))
        bold = italic = False
        words = []
        for tok in tokens:
            if tok == "<b>": bold = True
            elif tok == "</b>": bold = False
            elif tok == "<i>": italic = True
            elif tok == "</i>": italic = False
            elif tok.startswith("<"): pass
            else:
                for w in html.unescape(tok).split():
                    style = ("b" if bold else "") + ("i" if italic else "") or "r"
                    words.append([w, style, fonts.get(font, "k"), False])
        chunks.append((top, left, width, words))
    runs[n] = chunks

out = []
for pi, page in enumerate(bbox.split("<page ")[1:], start=1):
    for m in re.finditer(r'<word xMin="([\d.]+)" yMin="([\d.]+)" xMax="([\d.]+)" yMax="([\d.]+)">([^<]*)</word>', page):
        x0, y0, x1, y1 = (float(m.group(i)) for i in range(1, 5))
        word = html.unescape(m.group(5))
        style, colour = None, "k"
        for top, left, width, words in runs.get(pi, []):
            if abs(top - y0) > 2 or not (left - 2 <= x0 <= left + width + 2):
                continue
            for w in words:
                if not w[3] and w[0] == word:
                    w[3] = True
                    style, colour = w[1], w[2]
                    break
            if style:
                break
        if style is None:
            # A word the form set in two runs ("at" and ":") takes the style
            # of the run it starts in.
            for top, left, width, words in runs.get(pi, []):
                if abs(top - y0) <= 2 and left - 2 <= x0 <= left + width + 2:
                    for w in words:
                        if word.startswith(w[0]):
                            style, colour = w[1], w[2]
                            break
                if style:
                    break
        if style is None:
            sys.exit(f"page {pi}: no style found for {word!r} at {x0},{y0}")
        out.append(f"{pi}\t{x0:.2f}\t{y0:.2f}\t{x1:.2f}\t{y1:.2f}\t{style}\t{colour}\t{word}")

print("\n".join(out))
