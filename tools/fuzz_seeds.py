#!/usr/bin/env python3
"""Writes the seed corpora of the fuzz targets, tests/fuzz/corpus/<target>/seed-*, from the
bundled example (examples/), the golden case inputs (tests/cases/) and the gfortran table
inputs (tools/gfortran_tables/read_cases.in). Long files are thinned (every k-th sample kept,
counts rewritten) so that every seed stays small. Inputs that the fuzzers found are kept
beside the seeds under other names; this script only replaces seed-* files."""
import codecs
import glob
import os
import re

ROOT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..")
CASES = os.path.join(ROOT, "tests", "cases")


def read(path):
    with open(path, "rb") as f:
        return f.read().decode("latin-1")


def thin(lines, keep):
    """At most `keep` of the lines, evenly spaced, the last one included."""
    if len(lines) <= keep:
        return lines
    step = -(-len(lines) // keep)
    return lines[::step] + ([lines[-1]] if (len(lines) - 1) % step else [])


def small_ssp(text, keep=40):
    lines = text.split("\n")
    head = 0
    while head < len(lines) and lines[head].startswith("#"):
        head += 1
    return "\n".join(lines[:head] + thin(lines[head:], keep))


def small_standard(text, keep=40):
    lines = text.split("\n")
    m = re.match(r"\s*(\S+)\s+(\d+)\s*$", lines[0])
    if not m or len(lines) < int(m.group(2)) + 1:
        return text[:3000]
    samples = thin(lines[1:int(m.group(2)) + 1], keep)
    return "\n".join([f"{m.group(1)} {len(samples)}"] + samples + lines[int(m.group(2)) + 1:])


def small_result(text, keep=6):
    """The observed spectrum cut to `keep` points: its count is the record followed by exactly
    that many records up to the end of the file."""
    lines = text.rstrip("\n").split("\n")
    for at in range(63, len(lines)):
        if re.match(r"\s*\d+(\s|$)", lines[at]) and int(lines[at].split()[0]) == len(lines) - at - 1 > keep:
            return "\n".join(lines[:at] + [str(keep)] + lines[at + 1:at + 1 + keep]) + "\n"
    return text[:4000]


def first_token(line):
    return line.split()[0] if line.split() else ""


def textio_seeds():
    seeds = []
    cases = [l.rstrip("\n").split("\t") for l in open(os.path.join(ROOT, "tools", "gfortran_tables", "read_cases.in"))
             if l.strip() and not l.startswith("#")]
    fixed = {"(i15)": "I", "(e15.5)": "E", "(a)": "A"}
    for fmt, spec, *text in cases[::9]:
        program = spec if fmt == "*" else "".join(fixed[fmt] for c in spec if c != "|")
        seeds.append(program + "\t" + codecs.escape_decode(text[0] if text else "")[0].decode("latin-1"))
    grid = read(os.path.join(ROOT, "examples", "grid.in"))
    seeds.append("IAAArEIII|ar|ar\t" + grid)
    seeds.append("rrrr\t" + "\n".join(read(os.path.join(ROOT, "examples", "base", "ssp_00001Myr_Z0.0040.dat")).split("\n")[:12]))
    seeds.append("CCCA|arrarrr|arrarrr\t" + read(os.path.join(ROOT, "examples", "base", "Base.example"))[:600])
    # Texts longer than 600 characters: quoted and cut at 600, and a quote never closed.
    seeds.append("ar|aA\t'" + "ab, " * 160 + "'  7\n" + "x" * 650 + "\n" + "z" * 610)
    seeds.append("ar\t'" + "1 2\n" * 200)
    return seeds


def result_seeds():
    paths = sorted(glob.glob(os.path.join(ROOT, "examples", "galaxies", "gal01")) +
                   glob.glob(os.path.join(CASES, "result_*", "gal*")) +
                   glob.glob(os.path.join(CASES, "_shared", "gal01")) +
                   glob.glob(os.path.join(CASES, "base_ssp_garbage", "gal0[12]")))
    return [small_result(read(p)) for p in paths]


def base_seeds():
    seeds = []
    for base_dir in sorted(glob.glob(os.path.join(CASES, "*", "base")) + [os.path.join(ROOT, "examples", "base")]):
        case = os.path.dirname(base_dir)
        fit = "4000 7000"
        gal = os.path.join(case, "gal01")
        if os.path.isfile(gal):
            rec = read(gal).split("\n")
            fit = f"{first_token(rec[17])} {first_token(rec[18])}" if len(rec) > 18 else fit
        for path in sorted(glob.glob(os.path.join(base_dir, "*"))):
            if not os.path.isfile(path) or os.path.getsize(path) > 8000:
                continue
            lines = read(path).split("\n")
            if not re.match(r"\s*-?\d+(\s|$)", lines[0]) or path.endswith(".ssp"):
                continue
            ssps = []
            for line in lines[1:5]:
                ssp = os.path.join(base_dir, first_token(line))
                if first_token(line) and os.path.isfile(ssp):
                    ssps.append(small_ssp(read(ssp)))
            verbose = (0, 1, 5)[len(seeds) % 3]
            seeds.append("|".join([f"{fit} 0 {verbose}", "\n".join(lines)] + ssps))
    return seeds


def filter_seeds():
    seeds = []
    dirs = [os.path.join(ROOT, "examples", "filters")] + sorted(
        d for d in glob.glob(os.path.join(CASES, "*", "*")) if os.path.isfile(os.path.join(d, "ListFilters.txt")))
    for d in dirs:
        parts = [small_standard(read(os.path.join(d, n))) if os.path.isfile(os.path.join(d, n)) else ""
                 for n in ("VegaLR.dat", "Sun_LR.dat", "BD+17d4708.dat")]
        listing = read(os.path.join(d, "ListFilters.txt"))
        parts.append(listing)
        for name in [first_token(l) for l in listing.split("\n")[1:4]]:
            path = os.path.join(d, name)
            if name and os.path.isfile(path):
                lines = read(path).split("\n")
                parts.append("\n".join(lines[:15] + thin(lines[15:], 30)))
        seeds.append("|".join(parts))
    return seeds


def parameter_seeds():
    paths = [os.path.join(ROOT, "examples", "grid.in")] + sorted(
        glob.glob(os.path.join(CASES, "*", "*.in")) + glob.glob(os.path.join(CASES, "run_bad_parameter_records", "*.txt")))
    seen, seeds = set(), []
    for p in paths:
        text = "\n".join(read(p).split("\n")[:10])
        if text not in seen:
            seen.add(text)
            seeds.append(text)
    return seeds


def main():
    for target, seeds in (("textio", textio_seeds()), ("synthesis_result", result_seeds()),
                          ("ssp_base", base_seeds()), ("filter_set", filter_seeds()),
                          ("parameters", parameter_seeds())):
        out = os.path.join(ROOT, "tests", "fuzz", "corpus", target)
        os.makedirs(out, exist_ok=True)
        for old in glob.glob(os.path.join(out, "seed-*")):
            os.remove(old)
        for k, s in enumerate(seeds):
            with open(os.path.join(out, f"seed-{k:03d}"), "wb") as f:
                f.write(s.encode("latin-1"))
        print(f"{target}: {len(seeds)} seeds, {sum(len(s) for s in seeds)} bytes")


if __name__ == "__main__":
    main()
