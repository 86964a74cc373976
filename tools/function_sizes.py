#!/usr/bin/env python3
"""Sizes of the C++ functions and files of a source tree.

    python3 tools/function_sizes.py [--over N] [--files] [DIR ...]      (default DIR: src)

Lists every function (free, member, or a lambda defined at namespace scope) with its length
in lines, from the first line of its declaration to its closing brace, longest first; with
--over N only those longer than N lines (the exit status is then 1 when there is one).
--files lists the files instead, with their line counts. Comments and literals are skipped
when the braces are counted; the parser is a heuristic made for this code base's style.
"""
import argparse
import signal
import pathlib
import re
import sys


def strip(text):
    """The text with comments, string and character literals blanked (newlines kept)."""
    out = []
    i, n = 0, len(text)
    while i < n:
        c = text[i]
        if text.startswith("//", i):
            j = text.find("\n", i)
            j = n if j < 0 else j
            out.append(" " * (j - i))
            i = j
        elif text.startswith("/*", i):
            j = text.find("*/", i + 2)
            j = n if j < 0 else j + 2
            out.append(re.sub(r"[^\n]", " ", text[i:j]))
            i = j
        elif c == "R" and text.startswith('R"', i) and (i == 0 or not (text[i - 1].isalnum() or text[i - 1] == "_")):
            m = re.match(r'R"([^(]*)\(', text[i:])
            end = text.find(")" + m.group(1) + '"', i)
            j = n if end < 0 else end + len(m.group(1)) + 2
            out.append(re.sub(r"[^\n]", " ", text[i:j]))
            i = j
        elif c in "\"'":
            if c == "'" and i > 0 and text[i - 1].isdigit():  # digit separator
                out.append(" ")
                i += 1
                continue
            j = i + 1
            while j < n and text[j] != c:
                j += 2 if text[j] == "\\" else 1
            out.append(c + " " * (j - i - 1) + c)
            i = j + 1
        else:
            out.append(c)
            i += 1
    return "".join(out)


def functions(path):
    """(name, first line, last line) of every function defined at namespace or class scope."""
    text = strip(path.read_text(encoding="utf-8"))
    found = []
    # Each open scope: its kind ('namespace', 'class', 'function', 'block').
    stack = []
    head_start = 0  # offset where the text before the next '{' at this level begins
    line_of = lambda off: text.count("\n", 0, off) + 1
    i = 0
    while i < len(text):
        c = text[i]
        if c == "{":
            inside_function = any(k == "function" for k in stack)
            if inside_function:
                stack.append("block")
            else:
                head = text[head_start:i]
                flat = " ".join(head.split())
                if re.search(r"\bnamespace\b", flat) or flat.startswith("extern \"C\""):
                    stack.append("namespace")
                elif re.match(r"^(template\s*<.*>\s*)?(class|struct|union|enum)\b", flat) and "(" not in flat.split("{")[0].split(":")[0]:
                    stack.append("class")
                elif "(" in flat and not re.search(r"=\s*$", flat):
                    stack.append("function")
                    name = re.split(r"\(", flat)[0].split()[-1] if flat.split("(")[0].split() else "?"
                    first = head_start + len(head) - len(head.lstrip())
                    found.append([name, line_of(first), None, len(stack)])
                else:
                    stack.append("block")
            head_start = i + 1
        elif c == "}":
            kind = stack.pop() if stack else "block"
            if kind == "function":
                for f in reversed(found):
                    if f[2] is None:
                        f[2] = line_of(i)
                        break
            head_start = i + 1
        elif c == ";" and not any(k == "function" for k in stack):
            head_start = i + 1
        elif c == ":" and not any(k == "function" for k in stack):
            # access specifiers end a head ("public:"), but "::" and initializer lists do not
            before = text[head_start:i].strip()
            if before in ("public", "private", "protected"):
                head_start = i + 1
        i += 1
    return [(name, first, last) for name, first, last, _ in found if last is not None]


def main():
    signal.signal(signal.SIGPIPE, signal.SIG_DFL)  # quiet when piped into head
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("dirs", nargs="*", default=["src"])
    ap.add_argument("--over", type=int, default=None)
    ap.add_argument("--files", action="store_true")
    args = ap.parse_args()
    paths = sorted(p for d in args.dirs for p in pathlib.Path(d).rglob("*") if p.suffix in (".cpp", ".h"))
    if args.files:
        rows = sorted(((len(p.read_text(encoding="utf-8").splitlines()), str(p)) for p in paths), reverse=True)
        for count, name in rows:
            if args.over is None or count > args.over:
                print(f"{count:6d}  {name}")
        return 1 if args.over is not None and any(c > args.over for c, _ in rows) else 0
    rows = []
    for p in paths:
        for name, first, last in functions(p):
            rows.append((last - first + 1, f"{p}:{first}", name))
    rows.sort(key=lambda r: (-r[0], r[1]))
    shown = [r for r in rows if args.over is None or r[0] > args.over]
    for length, where, name in shown:
        print(f"{length:6d}  {name:40s} {where}")
    return 1 if args.over is not None and shown else 0


if __name__ == "__main__":
    sys.exit(main())
