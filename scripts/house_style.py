#!/usr/bin/env python3
"""The house style in figures, for a tree or a past commit:

    scripts/house_style.py [REV]

- namespaces: the spellings of the namespaces our sources open (anonymous
  ones aside), and how many files open each;
- assertions that print only "false": EXPECT_TRUE/ASSERT_TRUE over a single
  == or != comparison (EXPECT_EQ and EXPECT_NE print both sides), and over
  any expression holding one;
- the longest functions: lines from the line that opens a function's body to
  its closing brace, found by matching braces after a parameter list (a
  heuristic: lambdas count within their function);
- test programs named unlike any of their source files.
"""
import os
import re
import subprocess
import sys

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
REV = sys.argv[1] if len(sys.argv) > 1 else None
OURS = ("Plugin/", "host/", "tools/", "tests/", "bench/", "fuzz/")


def files():
    if REV:
        out = subprocess.run(["git", "-C", ROOT, "ls-tree", "-r", "--name-only", REV], capture_output=True, text=True,
                             check=True).stdout
    else:
        out = subprocess.run(["git", "-C", ROOT, "ls-files"], capture_output=True, text=True, check=True).stdout
    return [f for f in out.split() if f.startswith(OURS) and f.endswith((".cpp", ".h", ".c"))]


def read(path):
    if REV:
        return subprocess.run(["git", "-C", ROOT, "show", f"{REV}:{path}"], capture_output=True, text=True,
                              check=True).stdout
    with open(os.path.join(ROOT, path), encoding="utf-8") as f:
        return f.read()


def strip(text):
    # Comments and string literals out, so that braces inside them do not count.
    text = re.sub(r"//[^\n]*", "", text)
    text = re.sub(r"/\*.*?\*/", "", text, flags=re.S)
    text = re.sub(r'R"(\w*)\((.*?)\)\1"', '""', text, flags=re.S)
    text = re.sub(r'"(\\.|[^"\\\n])*"', '""', text)
    text = re.sub(r"'(\\.|[^'\\\n])*'", "''", text)
    return text


def functions(path, text):
    out = []
    code = strip(text)
    head = re.compile(r"\)\s*(const\s*)?(noexcept\s*)?(override\s*)?(final\s*)?(->\s*[\w:<>*&\s]+)?\{")
    for m in head.finditer(code):
        # Control statements are not functions.
        before = code[: m.start() + 1]
        depth, i = 0, len(before) - 1
        while i >= 0:
            if before[i] == ")":
                depth += 1
            elif before[i] == "(":
                depth -= 1
                if depth == 0:
                    break
            i -= 1
        word = re.search(r"(\w+)\s*$", before[:i])
        if not word or word.group(1) in ("if", "for", "while", "switch", "catch", "return", "sizeof", "decltype"):
            continue
        if re.search(r"\[[^\]]*\]\s*$", before[:i]):
            continue  # a lambda
        start = m.end() - 1
        depth, j = 0, start
        while j < len(code):
            if code[j] == "{":
                depth += 1
            elif code[j] == "}":
                depth -= 1
                if depth == 0:
                    break
            j += 1
        lines = code.count("\n", start, j) + 1
        out.append((lines, f"{path}:{code.count(chr(10), 0, start) + 1} {word.group(1)}"))
    return out


def truth_arguments(code):
    """The argument texts of every EXPECT_TRUE and ASSERT_TRUE."""
    for m in re.finditer(r"\b(?:EXPECT|ASSERT)_TRUE\(", code):
        depth, i = 1, m.end()
        while i < len(code) and depth:
            depth += {"(": 1, ")": -1}.get(code[i], 0)
            i += 1
        yield code[m.end(): i - 1]


def one_comparison(arg):
    """Whether arg is one == or != at its top level, with no && or || there."""
    depth, top = 0, []
    for ch in arg:
        if ch in "([{<" and ch != "<":
            depth += 1
        elif ch in ")]}":
            depth -= 1
        top.append(ch if depth == 0 else " ")
    flat = "".join(top)
    if "&&" in flat or "||" in flat or "?" in flat:
        return False
    return len(re.findall(r"[!=]=", flat)) == 1


def main():
    namespaces, truthy, compared, funcs = {}, 0, 0, []
    for path in files():
        text = read(path)
        for name in set(re.findall(r"^\s*namespace\s+([\w:]+)\s*\{", text, flags=re.M)):
            namespaces.setdefault(name, set()).add(path)
        code = strip(text)
        for arg in truth_arguments(code):
            truthy += one_comparison(arg)
            compared += bool(re.search(r"[!=]=", arg))
        funcs += functions(path, text)
    print("namespace spellings (files opening each):")
    for name in sorted(namespaces):
        print(f"  {name:24} {len(namespaces[name])}")
    print(f"EXPECT_TRUE/ASSERT_TRUE over one == or !=: {truthy}; over any comparison: {compared}")
    funcs.sort(reverse=True)
    print("longest functions (lines):")
    for lines, where in funcs[:10]:
        print(f"  {lines:5}  {where}")
    print(f"functions over 60 lines: {sum(1 for n, _ in funcs if n > 60)}")
    # Comments aside: the helper's own usage line reads like a call.
    cmake = re.sub(r"(?m)^\s*#.*$", "", read("tests/CMakeLists.txt"))
    unlike = []
    for name, sources in re.findall(r"lvs_test\(\s*(\w+)\s+SOURCES\s+([^)]*?)(?:LIBS|\))", cmake, flags=re.S):
        stems = [os.path.splitext(os.path.basename(s))[0] for s in sources.split()]
        if name not in stems:
            unlike.append(name)
    print(f"test programs named unlike their files: {len(unlike)} ({' '.join(unlike)})")


if __name__ == "__main__":
    main()
