#!/usr/bin/env python3
"""The documentation as it is read, in the source or installed: every
relative link and picture of README.md and doc/*.md leads to a file among
them (and a link to a heading, to a heading that is there), and the README
still opens with the block of its two commands, which CI and the set-up run.

    doc-links-test.py <folder that holds README.md and doc/>
"""
import pathlib
import re
import sys

FIRST_BLOCK = ["```", "scripts/run.sh", "scripts/test.sh", "```"]
LINK = re.compile(r"!?\[[^\]]*\]\(([^)\s]+)\)")


def prose(text):
    """The lines outside fenced code blocks, with code spans blanked."""
    fenced = False
    for line in text.splitlines():
        if line.startswith("```"):
            fenced = not fenced
        elif not fenced:
            yield re.sub(r"`[^`]*`", "``", line)


def anchors(text):
    """The anchors of a page's headings, as a Markdown renderer makes them."""
    made = {}
    for line in prose(text):
        heading = re.match(r"#+\s+(.*)", line)
        if not heading:
            continue
        slug = re.sub(r"[^\w\- ]", "", heading.group(1).replace("`", "").lower()).replace(" ", "-")
        made[slug] = made.get(slug, -1) + 1
        yield slug if made[slug] == 0 else f"{slug}-{made[slug]}"


def main():
    root = pathlib.Path(sys.argv[1]).resolve()
    pages = [root / "README.md", *sorted((root / "doc").glob("*.md"))]
    faults = []
    readme = pages[0].read_text(encoding="utf-8").splitlines()
    opening = readme.index("```") if "```" in readme else len(readme)
    if readme[opening:opening + 4] != FIRST_BLOCK:
        faults.append("README.md does not open with the block of scripts/run.sh and scripts/test.sh")
    for page in pages:
        for line in prose(page.read_text(encoding="utf-8")):
            for target in LINK.findall(line):
                if re.match(r"[a-z]+:", target):
                    continue  # a web address, not a file
                path, _, heading = target.partition("#")
                file = (page.parent / path).resolve() if path else page
                name = f"{page.relative_to(root)}: {target}"
                if not file.is_file() or root not in file.parents:
                    faults.append(f"{name} leads to no file of the documentation")
                elif heading and file.suffix == ".md" and heading not in anchors(file.read_text(encoding="utf-8")):
                    faults.append(f"{name} names no heading of {file.name}")
    for fault in faults:
        print(f"FAIL: {fault}", file=sys.stderr)
    return 1 if faults else 0


if __name__ == "__main__":
    sys.exit(main())
