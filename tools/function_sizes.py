#!/usr/bin/env python3
"""Sizes of the C++ functions and files of a source tree, and the house's limits on them.

    python3 tools/function_sizes.py [--over N] [--files] [DIR ...]      (default DIR: src)
    python3 tools/function_sizes.py --check

Lists every function (free, member, or a lambda defined at namespace scope) with its length
in lines, from the first line of its declaration to its closing brace, longest first; with
--over N only those longer than N lines (the exit status is then 1 when there is one).
--files lists the files instead, with their line counts. Comments and literals are skipped
when the braces are counted; the parser is a heuristic made for this code base's style.

--check (run from the top of the tree, by tools/run_tests.sh) holds every C++ and Python
file of CHECKED to FUNCTION_LIMIT lines a function and FILE_LIMIT lines a file, but for the
exceptions below; it names each function or file over its limit and exits with 1.
"""
import argparse
import ast
import signal
import pathlib
import re
import sys

FUNCTION_LIMIT = 80
FILE_LIMIT = 500
# The folders held to the limits: the library, the programs, the Python module, the tests,
# the benchmarks, the tools and the examples.
CHECKED = ["src", "app", "python", "tests", "bench", "tools", "examples"]
# The only exceptions. Functions kept whole for reading (path, name): the literal twins that
# a fast path is proved equal to, written as the formulae read.
KEPT_WHOLE = {("src/numerics/integration_literal.cpp", "IntegralALLLiteral")}
# Files that are data written as code: the golden cases and the example, one long function
# per group of cases.
DATA_AS_CODE = {"tools/make_cases.py", "tools/make_example.py"}


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


def python_functions(path):
    """(name, first line, last line) of every function and method of a Python file, nested
    ones included; the first line is that of its first decorator."""
    tree = ast.parse(path.read_text(encoding="utf-8"), filename=str(path))
    return [(n.name, min([n.lineno] + [d.lineno for d in n.decorator_list]), n.end_lineno)
            for n in ast.walk(tree) if isinstance(n, (ast.FunctionDef, ast.AsyncFunctionDef))]


def is_python(path):
    """A .py file, or a script without a suffix whose first line runs python."""
    if path.suffix or not path.is_file():
        return path.suffix == ".py"
    with path.open("rb") as f:
        first = f.readline()
    return first.startswith(b"#!") and b"python" in first


def check():
    """The limits over CHECKED: one line per function or file over its limit; 1 if any."""
    over = []
    for d in CHECKED:
        for p in sorted(pathlib.Path(d).rglob("*")):
            rel = p.as_posix()
            if rel in DATA_AS_CODE or "__pycache__" in p.parts or not p.is_file():
                continue
            if p.suffix in (".cpp", ".h"):
                found = functions(p)
            elif is_python(p):
                found = python_functions(p)
            else:
                continue
            lines = len(p.read_text(encoding="utf-8").splitlines())
            if lines > FILE_LIMIT:
                over.append(f"{rel}: the file has {lines} lines (limit {FILE_LIMIT})")
            for name, first, last in found:
                if last - first + 1 > FUNCTION_LIMIT and (rel, name) not in KEPT_WHOLE:
                    over.append(f"{rel}:{first}: {name} has {last - first + 1} lines (limit {FUNCTION_LIMIT})")
    for line in over:
        print("function_sizes: " + line)
    if over:
        print("function_sizes: split what is over its limit (the exceptions are listed in tools/function_sizes.py)")
    return 1 if over else 0


def main():
    signal.signal(signal.SIGPIPE, signal.SIG_DFL)  # quiet when piped into head
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("dirs", nargs="*", default=["src"])
    ap.add_argument("--over", type=int, default=None)
    ap.add_argument("--files", action="store_true")
    ap.add_argument("--check", action="store_true")
    args = ap.parse_args()
    if args.check:
        return check()
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
