#!/usr/bin/env python3
"""Makes the help file KuRoEZuziz.chm from the README's user guide.

Usage: userguide.py README.md DOCS-FOLDER OUTPUT-FOLDER [CHMCMD]

Writes OUTPUT-FOLDER/help/ (the guide as HTML with its screenshots and the
CHM project files) and, with the CHM compiler chmcmd, OUTPUT-FOLDER/KuRoEZuziz.chm.
Only the Markdown the guide uses is read: headings, paragraphs, bullet
lists, images, bold, inline code and indented code blocks.
"""

import html
import os
import re
import shutil
import subprocess
import sys

GUIDE_HEADING = "## Using KuRoEView"


def inline(text):
    text = html.escape(text, quote=False)
    text = re.sub(r"\*\*(.+?)\*\*", r"<b>\1</b>", text)
    text = re.sub(r"`(.+?)`", r"<code>\1</code>", text)
    return text


def guide_section(readme):
    lines = open(readme, encoding="utf-8").read().splitlines()
    start = lines.index(GUIDE_HEADING)
    end = next((i for i in range(start + 1, len(lines)) if lines[i].startswith("## ")), len(lines))
    return lines[start + 1:end]


def to_html(lines, images):
    """Paragraphs, bullet items (with their indented lines and pictures), pictures and code lines."""
    body, paragraph, item = [], [], []
    in_list = False

    def picture(match):
        images.append(match.group(2))
        return '<img src="%s" alt="%s">' % (os.path.basename(match.group(2)), html.escape(match.group(1)))

    def flush():
        if paragraph:
            body.append("<p>" + " ".join(paragraph) + "</p>")
            paragraph.clear()
        if item:
            body.append("<li>" + " ".join(item) + "</li>")
            item.clear()

    for line in lines:
        stripped = line.strip()
        image = re.fullmatch(r"!\[(.*?)\]\((.+?)\)", stripped)
        if not stripped:
            if paragraph:
                flush()
            continue
        if stripped.startswith("- "):
            flush()
            if not in_list:
                body.append("<ul>")
                in_list = True
            item.append(inline(stripped[2:]))
        elif in_list and line.startswith("  "):
            item.append('<br><span class="shot">' + picture(image) + "</span>" if image else inline(stripped))
        else:
            flush()
            if in_list:
                body.append("</ul>")
                in_list = False
            if image:
                body.append('<p class="shot">' + picture(image) + "</p>")
            elif line.startswith("    "):
                body.append("<pre>" + html.escape(stripped) + "</pre>")
            else:
                paragraph.append(inline(stripped))
    flush()
    if in_list:
        body.append("</ul>")
    return "\n".join(body)


PAGE = """<!DOCTYPE html>
<html lang="ja">
<head>
<meta charset="utf-8">
<title>KuRoE Zuziz</title>
<style>
body { font-family: sans-serif; margin: 1.5em; line-height: 1.5; max-width: 52em; }
img { max-width: 100%%; border: 1px solid #888; }
code, pre { background: #eee; padding: 0 0.2em; }
</style>
</head>
<body>
<h1>KuRoE Zuziz</h1>
%s
</body>
</html>
"""

PROJECT = """[OPTIONS]
Compatibility=1.1 or later
Compiled file=KuRoEZuziz.chm
Contents file=toc.hhc
Default topic=index.html
Display compile progress=No
Language=0x411 Japanese
Title=KuRoE Zuziz

[FILES]
index.html
%s
"""

CONTENTS = """<!DOCTYPE HTML PUBLIC "-//IETF//DTD HTML//EN">
<HTML><HEAD></HEAD><BODY>
<UL>
<LI><OBJECT type="text/sitemap"><param name="Name" value="KuRoE Zuziz"><param name="Local" value="index.html"></OBJECT>
</UL>
</BODY></HTML>
"""


def main():
    readme, docs, output = sys.argv[1:4]
    chmcmd = sys.argv[4] if len(sys.argv) > 4 else ""
    folder = os.path.join(output, "help")
    os.makedirs(folder, exist_ok=True)
    images = []
    page = PAGE % to_html(guide_section(readme), images)
    with open(os.path.join(folder, "index.html"), "w", encoding="utf-8") as out:
        out.write(page)
    names = []
    for image in images:
        source = os.path.join(docs, os.path.basename(image))
        shutil.copy(source, folder)
        names.append(os.path.basename(image))
    with open(os.path.join(folder, "KuRoEZuziz.hhp"), "w", encoding="utf-8") as out:
        out.write(PROJECT % "\n".join(names))
    with open(os.path.join(folder, "toc.hhc"), "w", encoding="utf-8") as out:
        out.write(CONTENTS)
    if not chmcmd:
        return 0
    result = subprocess.run([chmcmd, "--no-html-scan", "KuRoEZuziz.hhp"], cwd=folder, capture_output=True, text=True)
    compiled = os.path.join(folder, "KuRoEZuziz.chm")
    if result.returncode != 0 or not os.path.exists(compiled):
        sys.stderr.write(result.stdout + result.stderr)
        return 1
    shutil.move(compiled, os.path.join(output, "KuRoEZuziz.chm"))
    return 0


if __name__ == "__main__":
    sys.exit(main())
