#!/usr/bin/env bash
# Mutation testing: plants N mutants, drawn at random with a seed, in the library code, one at
# a time, and tells for each whether the test suite kills it.
#
#   bash scripts/mutants.sh N [SEED]                 draw N mutants (seed 1 by default)
#   bash scripts/mutants.sh --only 3,17,42 N [SEED]  re-run mutants 3, 17 and 42 of that draw
#   bash scripts/mutants.sh --list N [SEED]          only print the mutants of that draw
#   bash scripts/mutants.sh --in a.cpp,dir/ N [SEED] draw only from these files and folders
#                                                    (for a review of the code a change touched)
#
# The mutants are of the common kinds: a comparison widened or narrowed (< and <=, > and >=)
# or turned (== and !=), an integer constant moved by one, an if or while condition negated,
# a statement removed, the operands of a subtraction or division swapped, && and || swapped.
# They are taken from the code of the .cpp files of common/, veltool/ (not main.cpp),
# parmdump/ (not main.cpp, not tools/) and velmount/ (not main.cpp, only where it is built),
# never from comments, strings or preprocessor lines. The same N, SEED and code give the
# same mutants under the same numbers.
#
# The sources are copied to build-mutants/src (only what changed is copied again, so the
# build stays incremental); each mutant is planted in that copy, built in build-mutants/build
# (-j2, nice) and put back however the run ends. ctest runs without the installation test and
# the Python package (the C++ suites test the same library code), stops at the first failure
# and kills a test after 60 seconds; every process it starts has a limit on CPU time and
# memory, so a mutant that loops does not run on. A mutant that does not build is not counted.
# A survivor whose signature scripts/mutants.txt lists is reported as equivalent (it changes
# nothing a user can see; the file tells why).
# Results go to build-mutants/mutants-N-SEED.txt, the build and test output of the last
# mutant to build-mutants/last-*.log.
set -uo pipefail
cd "$(dirname "$0")/.."
export TZ=UTC LC_ALL=C
exec nice -n 15 python3 - "$@" <<'PYTHON'
import hashlib, os, random, re, resource, shutil, signal, subprocess, sys, time

args, only, listing, within = sys.argv[1:], None, False, None
while args and args[0].startswith("--"):
    if args[0] == "--list":
        listing, args = True, args[1:]
    elif args[0] in ("--only", "--in") and len(args) >= 2:
        if args[0] == "--only":
            only = {int(x) for x in args[1].split(",") if x.isdigit()}
        else:
            within = [p for p in args[1].split(",") if p]
        args = args[2:]
    else:
        break
if not 1 <= len(args) <= 2 or not all(a.isdigit() for a in args):
    sys.exit("usage: scripts/mutants.sh [--list] [--in FILE,FOLDER/,...] [--only ID,ID,...] N [SEED]")
count, seed = int(args[0]), int(args[1]) if len(args) == 2 else 1

root = os.getcwd()
work = os.path.join(root, "build-mutants")
src, build, tmp = (os.path.join(work, d) for d in ("src", "build", "tmp"))


def run(command, log, limits=False, **kw):
    def limit():
        resource.setrlimit(resource.RLIMIT_CPU, (120, 120))
        resource.setrlimit(resource.RLIMIT_AS, (4 << 30, 4 << 30))
    with open(os.path.join(work, log), "w") as out:
        return subprocess.run(command, stdout=out, stderr=subprocess.STDOUT, stdin=subprocess.DEVNULL,
                              preexec_fn=limit if limits else None, **kw).returncode


def sync():
    """Copies the worktree's files to src/, touching only those that differ."""
    files = subprocess.run(["git", "ls-files", "-co", "--exclude-standard"], capture_output=True,
                           text=True, check=True).stdout.split("\n")
    wanted = {f for f in files if f and os.path.isfile(f)}
    for f in wanted:
        to = os.path.join(src, f)
        with open(f, "rb") as a:
            data = a.read()
        if os.path.exists(to):
            with open(to, "rb") as b:
                if b.read() == data:
                    continue
        os.makedirs(os.path.dirname(to), exist_ok=True)
        shutil.copy2(f, to)
    for dirpath, _, names in os.walk(src):
        for n in names:
            rel = os.path.relpath(os.path.join(dirpath, n), src)
            if rel not in wanted:
                os.remove(os.path.join(dirpath, n))


def mask(text):
    """The text with comments, string and character literals blanked, at the same positions."""
    out, i, n = list(text), 0, len(text)
    while i < n:
        c = text[i]
        if text.startswith("//", i):
            j = text.find("\n", i)
            j = n if j < 0 else j
        elif text.startswith("/*", i):
            j = text.find("*/", i + 2)
            j = n if j < 0 else j + 2
        elif text.startswith('R"', i) and (i == 0 or not (text[i - 1].isalnum() or text[i - 1] == "_")):
            m = re.match(r'R"([^(\s]*)\(', text[i:])
            j = text.find(")" + m.group(1) + '"', i) + len(m.group(1)) + 2 if m else i + 1
        elif c in "\"'" and not (c == "'" and i > 0 and text[i - 1].isalnum()):
            j = i + 1
            while j < n and text[j] != c:
                j += 2 if text[j] == "\\" else 1
            j += 1
            for k in range(i + 1, min(j - 1, n)):
                if out[k] != "\n":
                    out[k] = " "
            i = j
            continue
        else:
            i += 1
            continue
        for k in range(i, j):
            if out[k] != "\n":
                out[k] = " "
        i = j
    return "".join(out)


OPERAND = r"[A-Za-z0-9_][\w.]*(?:\(\))?"
COMPARE = {"<": "<=", "<=": "<", ">": ">=", ">=": ">", "==": "!=", "!=": "=="}
STATEMENT = re.compile(
    r"^(\s*)(?:[A-Za-z_][\w:.\[\]>-]*\s*\(.*\)|(?:\+\+|--)[\w.\[\]>-]+|[\w.\[\]>-]+(?:\+\+|--)"
    r"|\*?[A-Za-z_][\w.\[\]>-]*(?:\(\))?\s*(?:[-+*/%|&^]|<<|>>)?=\s*[^=].*|break|continue);\s*$")
KEYWORDS = re.compile(r"^\s*(return|if|for|while|switch|case|else|do|throw|goto|using|typedef|static_assert)\b")


def paren_end(line, start):
    depth = 0
    for k in range(start, len(line)):
        depth += {"(": 1, ")": -1}.get(line[k], 0)
        if depth == 0:
            return k
    return -1


def candidates(path):
    """Every mutant of one file: (line number, kind, line before, line after)."""
    with open(path) as f:
        text = f.read()
    lines, masked = text.split("\n"), mask(text).split("\n")
    found, previous = [], ";"
    for number, (line, code) in enumerate(zip(lines, masked), 1):
        stripped = code.strip()
        if not stripped or stripped.startswith("#"):
            continue
        put = lambda kind, a, b, new: found.append((number, kind, line, line[:a] + new + line[b:]))
        for m in re.finditer(r"(?<=\s)(<=|>=|==|!=|<|>)(?=\s)", code):
            put("comparison", m.start(), m.end(), COMPARE[m.group()])
        for m in re.finditer(r"(?<![\w.'])(0[xX][0-9a-fA-F]+|\d+)([uUlL]*)(?![\w.'])", code):
            digits = m.group(1)
            base = 16 if digits[:2].lower() == "0x" else 8 if len(digits) > 1 and digits[0] == "0" else 10
            value = int(digits, base)
            moved = value + 1 if value == 0 or (number + m.start()) % 2 else value - 1
            literal = {16: hex, 8: lambda v: "0" + format(v, "o"), 10: str}[base](moved)
            put("constant", m.start(), m.end(), literal + m.group(2))
        for m in re.finditer(r"\b(if|while) \(", code):
            end = paren_end(code, m.end() - 1)
            if end > 0:
                put("negation", m.end(), end, "!(" + line[m.end():end] + ")")
        for m in re.finditer(r"(?<![\w.>\])])(?<![-+*/%] )(" + OPERAND + r") ([-/]) (" + OPERAND + r")(?![\w.(\[])(?!->)", code):
            if m.group(1) != m.group(3):
                put("swap", m.start(), m.end(), f"{m.group(3)} {m.group(2)} {m.group(1)}")
        for m in re.finditer(r" (&&|\|\|) ", code):
            put("logic", m.start(), m.end(), " || " if m.group(1) == "&&" else " && ")
        if (STATEMENT.match(code) and not KEYWORDS.match(code) and code.count("(") == code.count(")")
                and (previous[-1] in ";{}:)" or previous.endswith("else"))):
            found.append((number, "removal", line, STATEMENT.match(code).group(1) + ";"))
        previous = stripped
    return found


def library_files():
    files = []
    velmount = os.path.exists(os.path.join(build, "velmount")) or shutil.which("pkg-config") and \
        subprocess.run(["pkg-config", "--exists", "fuse3"]).returncode == 0
    for top in ["common", "veltool", "parmdump"] + (["velmount"] if velmount else []):
        for dirpath, dirs, names in os.walk(top):
            dirs[:] = sorted(d for d in dirs if os.path.join(dirpath, d) != "parmdump/tools")
            files += [os.path.join(dirpath, n) for n in sorted(names)
                      if n.endswith(".cpp") and not (n == "main.cpp" and dirpath == top)]
    if within is not None:
        files = [f for f in files if any(f == p or (p.endswith("/") and f.startswith(p)) for p in within)]
    return sorted(files)


def signature(path, before, after):
    return hashlib.sha1(f"{path}\n{before.strip()}\n{after.strip()}".encode()).hexdigest()[:8]


everything = [(f,) + c for f in library_files() for c in candidates(f)]
if count > len(everything):
    sys.exit(f"only {len(everything)} mutants to draw from")
drawn = random.Random(seed).sample(everything, count)
if listing:
    for number, (path, line, kind, before, after) in enumerate(drawn, 1):
        print(f"{number:3d} {signature(path, before, after)} {path}:{line} {kind}\n"
              f"      - {before.strip()}\n      + {after.strip()}")
    sys.exit(0)
equivalent = set()
if os.path.exists("scripts/mutants.txt"):
    with open("scripts/mutants.txt") as f:
        equivalent = {m.group(1) for m in re.finditer(r"^([0-9a-f]{8}) ", f.read(), re.M)}

os.makedirs(tmp, exist_ok=True)
sync()
env = dict(os.environ, TMPDIR=tmp)
if run(["cmake", "-S", src, "-B", build, "-DCMAKE_BUILD_TYPE=RelWithDebInfo", "-DVELTOOL_TESTS=ON"],
       "last-build.log") != 0 or run(["cmake", "--build", build, "-j2"], "last-build.log") != 0:
    sys.exit("the unchanged code does not build: see build-mutants/last-build.log")
ctest = ["ctest", "--test-dir", build, "-j2", "-E", "^(install|python)$", "--timeout", "60", "--stop-on-failure"]
if run(ctest, "last-test.log", limits=True, env=env) != 0:
    sys.exit("the unchanged code fails its tests: see build-mutants/last-test.log")


def clean_tmp():
    with open("/proc/mounts") as f:
        for point in [l.split()[1] for l in f if l.split()[1].startswith(tmp + "/")]:
            subprocess.run(["fusermount3", "-uz", point], capture_output=True)
    for entry in os.listdir(tmp):
        shutil.rmtree(os.path.join(tmp, entry), ignore_errors=True)


signal.signal(signal.SIGTERM, lambda *_: sys.exit(143))
name = f"mutants-{count}-{seed}" + ("-in" if within is not None else "")
report = open(os.path.join(work, name + ".txt" if only is None else "mutants-only.txt"), "w")
tally = {"killed": 0, "survived": 0, "equivalent": 0, "did not compile": 0}


def say(text):
    print(text, flush=True)
    report.write(text + "\n")
    report.flush()


say(f"{len(everything)} possible mutants, {count} drawn with seed {seed}")
for number, (path, line, kind, before, after) in enumerate(drawn, 1):
    if only is not None and number not in only:
        continue
    target, started = os.path.join(src, path), time.time()
    with open(target) as f:
        original = f.read()
    lines = original.split("\n")
    assert lines[line - 1] == before
    lines[line - 1] = after
    try:
        with open(target, "w") as f:
            f.write("\n".join(lines))
        if run(["cmake", "--build", build, "-j2"], "last-build.log") != 0:
            result = "did not compile"
        elif run(ctest, "last-test.log", limits=True, env=env) != 0:
            result = "killed"
        else:
            sig = signature(path, before, after)
            result = "equivalent" if sig in equivalent else "survived"
    finally:
        with open(target, "w") as f:
            f.write(original)
        clean_tmp()
    tally[result] += 1
    sig = signature(path, before, after)
    say(f"{number:3d} {sig} {path}:{line} {kind}: {result.upper() if result == 'survived' else result}"
        f" ({time.time() - started:.0f} s)\n      - {before.strip()}\n      + {after.strip()}")

counted = tally["killed"] + tally["survived"]
share = 100.0 * tally["killed"] / counted if counted else 0.0
say(f"mutants: {sum(tally.values())}, killed: {tally['killed']}, survived: {tally['survived']}, "
    f"equivalent: {tally['equivalent']}, did not compile: {tally['did not compile']}; "
    f"killed {share:.1f}% of those that change behaviour")
PYTHON
