#!/usr/bin/env python3
"""Turns a user guide of docs/ (Markdown) into one HTML page for the PDF
manual: tables, fenced code, pictures relative to the guide's folder.

    manual-html.py GUIDE.md TITLE OUTPUT.html
"""
import html
import pathlib
import sys

import markdown

STYLE = """
@page { size: A4; margin: 18mm 16mm 20mm 16mm;
        @bottom-center { content: counter(page); font-size: 8pt; color: #555; } }
body { font-family: "DejaVu Sans", sans-serif; font-size: 9.5pt; line-height: 1.4; }
h1 { font-size: 18pt; border-bottom: 1px solid #888; padding-bottom: 4pt; }
h2 { font-size: 13pt; margin-top: 16pt; break-after: avoid; }
h3 { font-size: 11pt; break-after: avoid; }
code, pre { font-family: "DejaVu Sans Mono", monospace; font-size: 8.5pt; }
pre { background: #f3f3f3; padding: 5pt; white-space: pre-wrap; }
table { border-collapse: collapse; margin: 6pt 0; }
th, td { border: 1px solid #aaa; padding: 2pt 4pt; vertical-align: top; }
img { max-width: 100%; break-inside: avoid; }
"""


def main():
    if len(sys.argv) != 4:
        sys.exit("usage: manual-html.py GUIDE.md TITLE OUTPUT.html")
    guide, title, output = pathlib.Path(sys.argv[1]), sys.argv[2], pathlib.Path(sys.argv[3])
    body = markdown.markdown(guide.read_text(encoding="utf-8"),
                             extensions=["tables", "fenced_code", "sane_lists"])
    page = (f'<!DOCTYPE html>\n<html lang="en"><head><meta charset="utf-8">'
            f"<title>{html.escape(title)}</title><style>{STYLE}</style></head>\n"
            f"<body>\n{body}\n</body></html>\n")
    output.write_text(page, encoding="utf-8")


if __name__ == "__main__":
    main()
