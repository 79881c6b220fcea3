#!/usr/bin/env python3
"""Mutation analysis of the library sources (src/).

Makes mutants of the C++ files under src/ one at a time, rebuilds a private
copy of the tree incrementally, runs every test through CTest and records,
per mutant, whether the suite killed it and which tests failed. The working
tree is never modified: the mutants are written into build/mutants/tree/, a
copy refreshed at the start of every run, and the copied file is restored
after each mutant (also on Ctrl-C or SIGTERM).

Standard library only; runs with any Python 3.9 or later.
Run through scripts/mutants.sh; `--help` lists the options.
"""

import argparse
import hashlib
import json
import os
import random
import re
import resource
import shutil
import signal
import subprocess
import sys
import time

REPO = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
# What the copy of the tree needs to configure, build and run the suites.
# Survivors shown by reading to behave as the original for every input.
EQUIVALENTS = os.path.join(REPO, "scripts", "mutants-equivalent.json")
# Address space allowed to each process of a test run.
TEST_MEMORY_LIMIT = 4 << 30
TREE_PARTS = ["CMakeLists.txt", "cmake", "src", "include", "tests", "tools", "examples", "bench", "fuzz"]

KEYWORDS = {
    "alignas", "alignof", "auto", "bool", "break", "case", "catch", "char", "class", "co_await",
    "co_return", "co_yield", "concept", "const", "const_cast", "consteval", "constexpr",
    "constinit", "continue", "decltype", "default", "delete", "do", "double", "dynamic_cast",
    "else", "enum", "explicit", "export", "extern", "false", "float", "for", "friend", "goto",
    "if", "inline", "int", "long", "mutable", "namespace", "new", "noexcept", "nullptr",
    "operator", "private", "protected", "public", "register", "reinterpret_cast", "requires",
    "return", "short", "signed", "sizeof", "static", "static_assert", "static_cast", "struct",
    "switch", "template", "this", "thread_local", "throw", "true", "try", "typedef", "typeid",
    "typename", "union", "unsigned", "using", "virtual", "void", "volatile", "while",
}
SPECIFIERS = {"static", "inline", "constexpr", "consteval", "virtual", "explicit", "friend",
              "extern"}
ASSIGN_OPS = {"=", "+=", "-=", "*=", "/=", "%=", "|=", "&=", "^=", "<<=", ">>="}

# ---------------------------------------------------------------------------
# Tokenizer: enough C++ to find operators, literals, statements and function
# bodies outside comments, string and character literals and preprocessor
# lines.

PUNCTS = ["<<=", ">>=", "<=>", "->*", "...", "::", "->", "++", "--", "<<", ">>", "<=", ">=",
          "==", "!=", "&&", "||", "+=", "-=", "*=", "/=", "%=", "&=", "|=", "^=", ".*"]
NUMBER_RE = re.compile(
    r"0[xX][0-9a-fA-F']+(?:\.[0-9a-fA-F']*)?(?:[pP][+-]?\d+)?[uUlLfF]*"
    r"|(?:\d[\d']*\.?[\d']*|\.\d[\d']*)(?:[eE][+-]?\d+)?[uUlLfF]*")
IDENT_RE = re.compile(r"[A-Za-z_]\w*")
RAW_STRING_RE = re.compile(r'(?:u8|u|U|L)?R"([^()\\ ]{0,16})\(')


class Token:
    __slots__ = ("kind", "text", "start", "end", "line")

    def __init__(self, kind, text, start, end, line):
        self.kind, self.text, self.start, self.end, self.line = kind, text, start, end, line

    def __repr__(self):
        return "%s(%r@%d)" % (self.kind, self.text, self.line)


def tokenize(src):
    """Tokens of `src`: kinds ident, number, string, char, punct."""
    tokens = []
    i, n, line = 0, len(src), 1
    at_line_start = True
    while i < n:
        c = src[i]
        if c == "\n":
            line += 1
            i += 1
            at_line_start = True
            continue
        if c in " \t\r\f\v":
            i += 1
            continue
        if c == "#" and at_line_start:
            # A preprocessor line, with its continuations.
            while i < n and src[i] != "\n":
                if src[i] == "\\" and i + 1 < n and src[i + 1] == "\n":
                    line += 1
                    i += 1
                i += 1
            continue
        at_line_start = False
        if src.startswith("//", i):
            while i < n and src[i] != "\n":
                i += 1
            continue
        if src.startswith("/*", i):
            j = src.find("*/", i + 2)
            j = n if j < 0 else j + 2
            line += src.count("\n", i, j)
            i = j
            continue
        m = RAW_STRING_RE.match(src, i)
        if m:
            close = ")" + m.group(1) + '"'
            j = src.find(close, m.end())
            j = n if j < 0 else j + len(close)
            tokens.append(Token("string", src[i:j], i, j, line))
            line += src.count("\n", i, j)
            i = j
            continue
        if c in "\"'" or (c in "uUL" and i + 1 < n and src[i + 1] in "\"'") or \
                (src.startswith("u8", i) and i + 2 < n and src[i + 2] in "\"'"):
            j = i
            while src[j] not in "\"'":
                j += 1
            quote = src[j]
            j += 1
            while j < n and src[j] != quote:
                j += 2 if src[j] == "\\" else 1
            j += 1
            # A user-defined literal suffix (e.g. "..."sv) belongs to the token.
            m2 = IDENT_RE.match(src, j)
            if m2:
                j = m2.end()
            tokens.append(Token("string" if quote == '"' else "char", src[i:j], i, j, line))
            i = j
            continue
        if c.isdigit() or (c == "." and i + 1 < n and src[i + 1].isdigit()):
            m = NUMBER_RE.match(src, i)
            tokens.append(Token("number", m.group(0), i, m.end(), line))
            i = m.end()
            continue
        m = IDENT_RE.match(src, i)
        if m:
            tokens.append(Token("ident", m.group(0), i, m.end(), line))
            i = m.end()
            continue
        for p in PUNCTS:
            if src.startswith(p, i):
                break
        else:
            p = c
        tokens.append(Token("punct", p, i, i + len(p), line))
        i += len(p)
    return tokens


def matching(tokens, i):
    """Index of the bracket closing the one at tokens[i] ((, [ or {)."""
    open_, close = tokens[i].text, {"(": ")", "[": "]", "{": "}"}[tokens[i].text]
    depth = 0
    for j in range(i, len(tokens)):
        t = tokens[j].text
        if tokens[j].kind != "punct":
            continue
        if t == open_:
            depth += 1
        elif t == close:
            depth -= 1
            if depth == 0:
                return j
    return len(tokens) - 1


# ---------------------------------------------------------------------------
# Mutant generation.


class Mutant:
    def __init__(self, path, src, start, end, replacement, kind, description):
        self.path = path
        self.start, self.end, self.replacement = start, end, replacement
        self.kind, self.description = kind, description
        self.line = src.count("\n", 0, start) + 1
        line_start = src.rfind("\n", 0, start) + 1
        self.column = start - line_start + 1
        line_end = src.find("\n", start)
        self.source_line = src[line_start:line_end if line_end >= 0 else len(src)].strip()

    def key(self):
        """What identifies the mutant across edits elsewhere in the file."""
        return "|".join([self.path, self.kind, self.source_line, str(self.column),
                         self.description])

    def ident(self):
        digest = hashlib.sha1(self.key().encode()).hexdigest()[:10]
        return digest

    def apply(self, src):
        return src[:self.start] + self.replacement + src[self.end:]


def spaced(src, tok):
    """True when the token has whitespace on both sides: how clang-format
    writes binary operators (and never template brackets, pointers,
    references or unary operators)."""
    return tok.start > 0 and src[tok.start - 1] in " \n" and tok.end < len(src) and \
        src[tok.end] in " \n"


def statement_bounds(tokens, i):
    """(first, last) token indexes of the statement containing tokens[i]:
    from just after the previous ;, { or } to the next ; at the same depth."""
    first = i
    depth = 0
    while first > 0:
        t = tokens[first - 1]
        if t.kind == "punct":
            if t.text in ")]}":
                if t.text == "}" and depth == 0:
                    break
                depth += 1
            elif t.text in "([{":
                if depth == 0:
                    break
                depth -= 1
            elif t.text == ";" and depth == 0:
                break
        first -= 1
    last = i
    depth = 0
    while last < len(tokens) - 1:
        t = tokens[last]
        if t.kind == "punct":
            if t.text in "([{":
                depth += 1
            elif t.text in ")]}":
                if depth == 0:
                    break
                depth -= 1
            elif t.text == ";" and depth == 0:
                break
        last += 1
    return first, last


def for_header_ranges(tokens):
    """Token index ranges (open paren, close paren) of for headers."""
    ranges = []
    for i, t in enumerate(tokens):
        if t.kind == "ident" and t.text == "for" and i + 1 < len(tokens) and \
                tokens[i + 1].text == "(":
            ranges.append((i + 1, matching(tokens, i + 1)))
    return ranges


def in_ranges(ranges, i):
    return any(a < i < b for a, b in ranges)


def noreturn_names(paths):
    names = set()
    for path in paths:
        with open(os.path.join(REPO, path), encoding="utf-8") as f:
            for m in re.finditer(r"\[\[noreturn\]\][^;{(]*?(\w+)\s*\(", f.read()):
                names.add(m.group(1))
    return names


def operator_mutants(path, src, tokens):
    out = []
    fors = for_header_ranges(tokens)
    boundary = {"<": "<=", "<=": "<", ">": ">=", ">=": ">"}
    negation = {"<": ">=", "<=": ">", ">": "<=", ">=": "<", "==": "!=", "!=": "=="}
    arithmetic = {"+": "-", "-": "+", "*": "/", "/": "*", "%": "*", "+=": "-=", "-=": "+=",
                  "*=": "/=", "/=": "*="}
    for i, t in enumerate(tokens):
        if t.kind != "punct":
            continue
        prev = tokens[i - 1] if i > 0 else None
        nxt = tokens[i + 1] if i + 1 < len(tokens) else None
        if t.text in negation:
            if not spaced(src, t) or (prev and prev.text in ("template", "operator")):
                continue
            if t.text in boundary:
                out.append(Mutant(path, src, t.start, t.end, boundary[t.text], "boundary",
                                  "%s -> %s" % (t.text, boundary[t.text])))
            out.append(Mutant(path, src, t.start, t.end, negation[t.text], "comparison",
                              "%s -> %s" % (t.text, negation[t.text])))
        elif t.text in ("&&", "||"):
            if not spaced(src, t):
                continue
            other = "||" if t.text == "&&" else "&&"
            out.append(Mutant(path, src, t.start, t.end, other, "logical",
                              "%s -> %s" % (t.text, other)))
        elif t.text in arithmetic:
            if not spaced(src, t) or (prev and prev.text == "operator"):
                continue
            if t.text in ("+", "+=", "-", "-="):
                # Text is joined with +: swapping it would not compile.
                first, last = statement_bounds(tokens, i)
                if any(tokens[k].kind in ("string", "char") for k in range(first, last + 1)):
                    continue
            if t.text in ("*", "/") and prev and prev.kind == "punct" and \
                    prev.text not in (")", "]"):
                continue
            out.append(Mutant(path, src, t.start, t.end, arithmetic[t.text], "arithmetic",
                              "%s -> %s" % (t.text, arithmetic[t.text])))
        elif t.text in ("++", "--"):
            if in_ranges(fors, i):
                continue  # loop steps turned around only hang
            other = "--" if t.text == "++" else "++"
            operand = nxt if nxt and nxt.kind == "ident" else prev
            if not operand or operand.kind != "ident":
                continue
            out.append(Mutant(path, src, t.start, t.end, other, "arithmetic",
                              "%s -> %s" % (t.text, other)))
    return out


def constant_mutants(path, src, tokens):
    out = []
    for i, t in enumerate(tokens):
        if t.kind != "number":
            continue
        m = re.fullmatch(r"(0[xX][0-9a-fA-F']+|[0-9][0-9']*)([uUlL]*)", t.text)
        if not m:
            continue  # floating point
        digits, suffix = m.group(1).replace("'", ""), m.group(2)
        is_hex = digits[:2].lower() == "0x"
        value = int(digits, 16) if is_hex else int(digits, 8 if len(digits) > 1 and
                                                      digits[0] == "0" else 10)
        if value >= 2 ** 63 - 1:
            continue
        prev = tokens[i - 1] if i > 0 else None
        if prev and prev.text in ("[", "[["):
            continue

        def spell(v):
            return ("0x%X" % v if is_hex else str(v)) + suffix

        for v in ([value + 1, value - 1] if value > 0 else [value + 1]):
            out.append(Mutant(path, src, t.start, t.end, spell(v), "constant",
                              "%s -> %s" % (t.text, spell(v))))
    return out


def condition_mutants(path, src, tokens):
    out = []
    for i, t in enumerate(tokens):
        if t.kind != "ident" or t.text not in ("if", "while") or i + 1 >= len(tokens):
            continue
        if tokens[i + 1].text != "(":
            continue  # if constexpr, do ... while handled as while
        close = matching(tokens, i + 1)
        first = i + 2
        depth = 0
        for k in range(i + 2, close):
            x = tokens[k].text
            if x in "([{":
                depth += 1
            elif x in ")]}":
                depth -= 1
            elif x == ";" and depth == 0:
                first = k + 1
        if first >= close:
            continue
        depth = 0
        declares = False
        for k in range(first, close):
            x = tokens[k]
            if x.text in "([{":
                depth += 1
            elif x.text in ")]}":
                depth -= 1
            elif x.kind == "punct" and x.text in ASSIGN_OPS and depth == 0:
                declares = True
        if declares:
            continue
        a, b = tokens[first].start, tokens[close - 1].end
        cond = src[a:b]
        out.append(Mutant(path, src, a, b, "!(" + cond + ")", "negation",
                          "%s (%s) -> %s (!(%s))" % (t.text, shorten(cond), t.text,
                                                      shorten(cond))))
    return out


def shorten(text, limit=60):
    text = " ".join(text.split())
    return text if len(text) <= limit else text[:limit - 3] + "..."


def statement_starts(tokens):
    """Indexes of tokens that begin a statement inside a block."""
    starts = []
    for i in range(1, len(tokens)):
        p = tokens[i - 1]
        if p.kind == "punct" and p.text in (";", "{", "}"):
            starts.append(i)
        elif p.kind == "ident" and p.text in ("else", "do"):
            starts.append(i)
        elif p.text == ")":
            # After the header of if, for, while or switch.
            depth = 0
            for k in range(i - 1, -1, -1):
                x = tokens[k].text
                if x == ")":
                    depth += 1
                elif x == "(":
                    depth -= 1
                    if depth == 0:
                        if k > 0 and tokens[k - 1].text in ("if", "for", "while", "switch"):
                            starts.append(i)
                        elif k > 1 and tokens[k - 1].text == "constexpr" and \
                                tokens[k - 2].text == "if":
                            starts.append(i)
                        break
    return starts


def statement_mutants(path, src, tokens, noreturn, fors):
    out = []
    for i in statement_starts(tokens):
        if in_ranges(fors, i):
            continue
        t = tokens[i]
        end = None
        if t.kind == "ident" and t.text in ("break", "continue") and \
                i + 1 < len(tokens) and tokens[i + 1].text == ";":
            end = i + 1
        elif t.kind == "punct" and t.text in ("++", "--") and i + 1 < len(tokens) and \
                tokens[i + 1].kind == "ident":
            end = statement_bounds(tokens, i)[1]
        elif t.kind == "ident" and t.text not in KEYWORDS:
            # An expression statement: a (qualified) name followed by a call,
            # a member access, an index, an assignment or an increment; a
            # name followed by another name is a declaration.
            k = i
            while k + 2 < len(tokens) and tokens[k + 1].text == "::" and \
                    tokens[k + 2].kind == "ident":
                k += 2
            if k + 1 >= len(tokens):
                continue
            after = tokens[k + 1]
            if after.kind != "punct" or not (after.text in ("(", ".", "->", "[", "++", "--")
                                             or after.text in ASSIGN_OPS):
                continue
            if tokens[k].text in noreturn and after.text == "(":
                continue  # a call that never returns cannot be dropped
            end = statement_bounds(tokens, i)[1]
        if end is None or tokens[end].text != ";":
            continue
        text = src[t.start:tokens[end].end]
        out.append(Mutant(path, src, t.start, tokens[end].end, "{}", "statement",
                          "drop `%s`" % shorten(text)))
    return out


def function_mutants(path, src, tokens, noreturn):
    """Early returns of the default value at the top of each function body
    (namespace or class scope, not lambdas), skipping constructors,
    destructors, functions returning references or deduced types, and
    functions that never return."""
    out = []
    stack = []  # kinds of the enclosing braces
    boundary = -1  # index of the last ;, { or } seen at any depth
    for i, t in enumerate(tokens):
        if t.kind != "punct" or t.text not in ("{", "}", ";"):
            continue
        if t.text == ";":
            boundary = i
            continue
        if t.text == "}":
            if stack:
                stack.pop()
            boundary = i
            continue
        header = tokens[boundary + 1:i]
        boundary_before = boundary
        boundary = i
        kind = classify_brace(header, stack)
        stack.append(kind)
        if kind != "function":
            continue
        close = matching(tokens, i)
        if close == i + 1:
            continue  # empty body
        ret = return_kind(header, noreturn)
        if ret is None:
            continue
        del boundary_before
        replacement = "{ return; " if ret == "void" else "{ return {}; "
        out.append(Mutant(path, src, t.start, t.end, replacement, "early-return",
                          "insert `%s` at the top of %s" %
                          (replacement[2:].strip(), function_name(header))))
    return out


def strip_prefix(header):
    """Drops template heads, attributes and access labels from a header."""
    h = list(header)
    changed = True
    while changed and h:
        changed = False
        if h[0].text in ("public", "private", "protected") and len(h) > 1 and \
                h[1].text == ":":
            h = h[2:]
            changed = True
        elif h[0].text == "template" and len(h) > 1 and h[1].text == "<":
            depth = 0
            for k in range(1, len(h)):
                if h[k].text == "<":
                    depth += 1
                elif h[k].text == ">":
                    depth -= 1
                elif h[k].text == ">>":
                    depth -= 2
                if depth <= 0:
                    h = h[k + 1:]
                    break
            changed = True
        elif h[0].text == "[" and len(h) > 1 and h[1].text == "[":
            k = 2
            while k + 1 < len(h) and not (h[k].text == "]" and h[k + 1].text == "]"):
                k += 1
            h = h[k + 2:]
            changed = True
    return h


def classify_brace(header, stack):
    if any(k not in ("namespace", "class") for k in stack):
        return "block"
    h = strip_prefix(header)
    if not h:
        return "block"
    words = [t.text for t in h]
    if words[0] == "namespace" or (words[0] == "extern" and len(h) > 1 and
                                   h[1].kind == "string"):
        return "namespace"
    if words[0] in ("class", "struct", "union", "enum"):
        return "class" if "(" not in words else "block"
    depth = 0
    for t in h:
        if t.text in "([":
            depth += 1
        elif t.text in ")]":
            depth -= 1
        elif t.text == "=" and depth == 0:
            return "block"  # an initializer
    if "(" not in words:
        return "block"
    return "function"


def name_range(h):
    """(start, param_open) indexes of the function name in a stripped header."""
    for k, t in enumerate(h):
        if t.text == "operator":
            start = k
            while start >= 2 and h[start - 1].text == "::" and h[start - 2].kind == "ident":
                start -= 2
            j = k + 1
            if j < len(h) and h[j].text == "(":
                j += 2  # operator()
            while j < len(h) and h[j].text != "(":
                j += 1
            return start, j
    for k, t in enumerate(h):
        if t.text == "(":
            start = k - 1
            if start >= 1 and h[start - 1].text == "~":
                start -= 1
            while start >= 2 and h[start - 1].text == "::" and h[start - 2].kind == "ident":
                start -= 2
            return start, k
    return None


def function_name(header):
    h = strip_prefix(header)
    r = name_range(h)
    if not r:
        return "?"
    return "".join(t.text for t in h[r[0]:r[1]])


def return_kind(header, noreturn):
    if any(t.text == "noreturn" for t in header):
        return None
    h = strip_prefix(header)
    r = name_range(h)
    if not r or r[0] < 0:
        return None
    name_tokens = h[r[0]:r[1]]
    if name_tokens and name_tokens[-1].text in noreturn:
        return None
    ret = [t for t in h[:r[0]] if t.text not in SPECIFIERS]
    if not ret:
        return None  # constructor, destructor or conversion
    words = [t.text for t in ret]
    if words[-1] in ("&", "&&") or "auto" in words or "decltype" in words:
        return None
    if words == ["void"]:
        return "void"
    return "value"


def mutants_of(path, noreturn):
    with open(os.path.join(REPO, path), encoding="utf-8") as f:
        src = f.read()
    tokens = tokenize(src)
    fors = for_header_ranges(tokens)
    found = (operator_mutants(path, src, tokens) + constant_mutants(path, src, tokens) +
             condition_mutants(path, src, tokens) +
             statement_mutants(path, src, tokens, noreturn, fors) +
             function_mutants(path, src, tokens, noreturn))
    found.sort(key=lambda m: (m.start, m.kind, m.description))
    return found


def source_files(requested):
    files = []
    for root, _, names in os.walk(os.path.join(REPO, "src")):
        for name in names:
            if name.endswith((".cpp", ".hpp", ".cc", ".h")):
                files.append(os.path.relpath(os.path.join(root, name), REPO))
    files.sort()
    if requested:
        wanted = [os.path.normpath(f) for f in requested]
        chosen = [f for f in files if any(f == w or f.startswith(w.rstrip("/") + "/")
                                          for w in wanted)]
        missing = [w for w in wanted if not any(f == w or f.startswith(w.rstrip("/") + "/")
                                                for f in files)]
        if missing:
            sys.exit("mutants: not C++ sources under src/: " + ", ".join(missing))
        files = chosen
    return files


# ---------------------------------------------------------------------------
# The build and the test runs.


class Interrupted(Exception):
    pass


def on_signal(signum, _frame):
    raise Interrupted("signal %d" % signum)


def log(*parts):
    print(*parts, flush=True)


def sync_tree(tree):
    """Makes `tree` a copy of the repository parts the build needs; files
    whose content is unchanged keep their time stamps, so the build stays
    incremental."""
    copied = 0
    keep = set()
    for part in TREE_PARTS:
        src_part = os.path.join(REPO, part)
        items = []
        if os.path.isdir(src_part):
            for root, dirs, names in os.walk(src_part):
                dirs[:] = [d for d in dirs if not d.startswith(".")]
                items += [os.path.join(root, n) for n in names]
        elif os.path.exists(src_part):
            items = [src_part]
        for item in items:
            rel = os.path.relpath(item, REPO)
            dest = os.path.join(tree, rel)
            keep.add(rel)
            with open(item, "rb") as f:
                data = f.read()
            if os.path.exists(dest):
                with open(dest, "rb") as f:
                    if f.read() == data:
                        continue
            os.makedirs(os.path.dirname(dest), exist_ok=True)
            with open(dest, "wb") as f:
                f.write(data)
            shutil.copymode(item, dest)
            copied += 1
    for root, _, names in os.walk(tree):
        for n in names:
            rel = os.path.relpath(os.path.join(root, n), tree)
            if rel not in keep:
                os.remove(os.path.join(root, n))
    return copied


def limit_memory():
    """Caps the address space of a test run's processes: a mutant that makes a
    container grow without bound fails with bad_alloc instead of taking the
    machine's memory."""
    resource.setrlimit(resource.RLIMIT_AS, (TEST_MEMORY_LIMIT, TEST_MEMORY_LIMIT))


def run(cmd, timeout=None, cwd=None, preexec=None):
    """Runs `cmd` in its own process group; kills the whole group on timeout.
    Returns (exit code or None on timeout, output)."""
    proc = subprocess.Popen(cmd, cwd=cwd, stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                            text=True, errors="replace", start_new_session=True,
                            preexec_fn=preexec)
    try:
        out, _ = proc.communicate(timeout=timeout)
        return proc.returncode, out
    except subprocess.TimeoutExpired:
        os.killpg(proc.pid, signal.SIGKILL)
        out, _ = proc.communicate()
        return None, out
    except BaseException:
        try:
            os.killpg(proc.pid, signal.SIGKILL)
        except ProcessLookupError:
            pass
        proc.wait()
        raise


CTEST_LINE = re.compile(
    r"^\s*\d+/\d+\s+Test\s+#\d+:\s+(\S+)\s+\.*\s*(\*\*\*)?\s*(Passed|Failed|Timeout|"
    r"Exception|Not Run|\S.*?)\s+([\d.]+) sec")


def parse_ctest(output):
    """{test name: status} from CTest's progress lines."""
    results = {}
    for line in output.splitlines():
        m = CTEST_LINE.match(line)
        if not m:
            continue
        status = m.group(3).strip()
        if status == "Passed":
            results[m.group(1)] = ("passed", float(m.group(4)))
        elif status == "Timeout":
            results[m.group(1)] = ("timeout", float(m.group(4)))
        else:
            results[m.group(1)] = ("failed", float(m.group(4)))
    return results


class Runner:
    def __init__(self, args):
        self.args = args
        self.work = os.path.abspath(args.work_dir)
        self.tree = os.path.join(self.work, "tree")
        self.build = os.path.join(self.work, "build")
        self.ctest = ["nice", "-n", str(args.nice), "ctest", "--test-dir", self.build,
                      "-j", str(args.test_jobs)]
        if args.exclude_tests:
            self.ctest += ["-E", args.exclude_tests]
        if args.first_failure:
            self.ctest += ["--stop-on-failure"]

    def configure(self):
        os.makedirs(self.work, exist_ok=True)
        copied = sync_tree(self.tree)
        log("tree copy: %s (%d files refreshed)" % (self.tree, copied))
        if not os.path.exists(os.path.join(self.build, "CMakeCache.txt")):
            generator = ["-G", "Ninja"] if shutil.which("ninja") else []
            cmd = ["cmake", "-S", self.tree, "-B", self.build] + generator + [
                "-DCMAKE_BUILD_TYPE=None", "-DCMAKE_CXX_FLAGS=" + self.args.cxx_flags,
                # A shared library that the executables do not relink against:
                # a mutant costs one object and one library link.
                "-DBUILD_SHARED_LIBS=ON", "-DCMAKE_LINK_DEPENDS_NO_SHARED=ON",
                "-DPLAYGRAPH_BUILD_EXAMPLES=OFF", "-DPLAYGRAPH_BUILD_BENCHMARKS=OFF",
                "-DPLAYGRAPH_BUILD_TOOLS=" + ("ON" if self.args.with_tools else "OFF")]
        else:
            # Configured before: only the options that may change between runs.
            cmd = ["cmake", "-S", self.tree, "-B", self.build, "-DCMAKE_CXX_FLAGS=" + self.args.cxx_flags,
                   "-DPLAYGRAPH_BUILD_TOOLS=" + ("ON" if self.args.with_tools else "OFF")]
        code, out = run(cmd)
        if code != 0:
            sys.exit("mutants: cmake failed:\n" + out)

    def build_tree(self, timeout=None):
        return run(["nice", "-n", str(self.args.nice), "cmake", "--build", self.build, "-j",
                    str(self.args.build_jobs)], timeout=timeout)

    def run_tests(self, timeout, per_test_timeout):
        start = time.time()
        code, out = run(self.ctest + ["--timeout", str(per_test_timeout)], timeout=timeout,
                        preexec=limit_memory)
        return code, parse_ctest(out), time.time() - start, out

    def library_objects(self):
        objects = {}
        for root, _, names in os.walk(self.build):
            if "/tests" in root or "/tools" in root:
                continue
            for n in names:
                if n.endswith(".o"):
                    p = os.path.join(root, n)
                    with open(p, "rb") as f:
                        objects[p] = hashlib.sha1(f.read()).hexdigest()
        return objects


def classify(results, expected, finished):
    failed = sorted(t for t, (s, _) in results.items() if s == "failed")
    timed_out = sorted(t for t, (s, _) in results.items() if s == "timeout")
    missing = sorted(t for t in expected if t not in results)
    if failed:
        status = "killed"
    elif timed_out or not finished:
        status = "timeout"
    elif missing:
        status = "killed"  # a test that did not run at all (crashed before)
        failed = missing
    else:
        status = "survived"
    return status, failed, timed_out


def main():
    parser = argparse.ArgumentParser(
        description="Mutation analysis of src/: makes mutants one at a time, rebuilds a copy "
        "of the tree and runs every test.")
    parser.add_argument("--sample", type=int, help="test a random sample of N mutants")
    parser.add_argument("--seed", type=int, default=1, help="seed of the sample (default 1)")
    parser.add_argument("--files", nargs="+", metavar="PATH",
                        help="only these files or directories under src/")
    parser.add_argument("--replay", metavar="REPORT",
                        help="test again the mutants of an earlier JSON report (matched by "
                        "file, kind, source line and mutation, so edits elsewhere do not "
                        "change the set)")
    parser.add_argument("--summary", metavar="REPORT",
                        help="print the summary of an earlier JSON report, with the tests "
                        "that kill no mutant alone and a greedy smallest set of tests that "
                        "kills every killed mutant, and stop")
    parser.add_argument("--list", action="store_true",
                        help="list the mutants (after sampling) and stop")
    parser.add_argument("--work-dir", default=os.path.join(REPO, "build", "mutants"),
                        help="where the tree copy, the build and the report go")
    parser.add_argument("--report", help="JSON report (default WORK_DIR/report.json)")
    parser.add_argument("--cxx-flags", default="-O1", help="compiler flags of the build")
    parser.add_argument("--with-tools", action="store_true",
                        help="also build the command-line tool and run its end-to-end tests "
                        "(measured: they kill no library mutant that no other test kills)")
    parser.add_argument("--exclude-tests", metavar="REGEX", help="CTest -E for every run")
    parser.add_argument("--first-failure", action="store_true",
                        help="stop a mutant's test run at its first failing test: faster, "
                             "but the per-test kill data then names only that test")
    parser.add_argument("--equivalents", metavar="FILE", default=EQUIVALENTS,
                        help="JSON object of mutant keys to the reason each is equivalent "
                             "(default scripts/mutants-equivalent.json); survivors listed "
                             "there are reported apart from the gaps")
    parser.add_argument("--build-jobs", type=int, default=1)
    parser.add_argument("--test-jobs", type=int, default=1)
    parser.add_argument("--nice", type=int, default=19)
    parser.add_argument("--timeout-factor", type=float, default=3.0,
                        help="a mutant's test run may take this times the clean run, plus "
                        "--timeout-slack seconds")
    parser.add_argument("--timeout-slack", type=float, default=30.0)
    args = parser.parse_args()
    if args.summary:
        with open(args.summary, encoding="utf-8") as f:
            print_summary(json.load(f), load_equivalents(args.equivalents), detailed=True)
        return 0

    files = source_files(args.files)
    noreturn = noreturn_names(files)
    mutants = []
    for path in files:
        mutants += mutants_of(path, noreturn)
    total = len(mutants)
    if args.replay:
        with open(args.replay, encoding="utf-8") as f:
            wanted = [m["key"] for m in json.load(f)["mutants"]]
        by_key = {m.key(): m for m in mutants}
        gone = [k for k in wanted if k not in by_key]
        mutants = [by_key[k] for k in wanted if k in by_key]
        if gone:
            log("%d mutants of %s no longer exist:" % (len(gone), args.replay))
            for k in gone:
                log("  " + k)
    elif args.sample is not None and args.sample < len(mutants):
        mutants = random.Random(args.seed).sample(mutants, args.sample)
    by_kind = {}
    for m in mutants:
        by_kind[m.kind] = by_kind.get(m.kind, 0) + 1
    log("%d mutants in %d files; testing %d (%s)" % (
        total, len(files), len(mutants),
        ", ".join("%s %d" % kv for kv in sorted(by_kind.items()))))
    if args.list:
        for m in sorted(mutants, key=lambda m: (m.path, m.start)):
            log("%s:%d:%d  %-12s %s" % (m.path, m.line, m.column, m.kind, m.description))
        return 0

    runner = Runner(args)
    report_path = args.report or os.path.join(runner.work, "report.json")
    signal.signal(signal.SIGTERM, on_signal)
    signal.signal(signal.SIGHUP, on_signal)
    runner.configure()

    log("clean build ...")
    code, out = runner.build_tree()
    if code != 0:
        sys.exit("mutants: the unmutated tree does not build:\n" + out[-4000:])
    clean_objects = runner.library_objects()
    log("clean test run ...")
    code, baseline, seconds, out = runner.run_tests(None, 600)
    failing = sorted(t for t, (s, _) in baseline.items() if s != "passed")
    if code != 0 or failing or not baseline:
        sys.exit("mutants: the suite does not pass without mutants (%s):\n%s" %
                 (", ".join(failing) or "exit %s" % code, out[-4000:]))
    slowest = max(t for _, t in baseline.values())
    suite_limit = seconds * args.timeout_factor + args.timeout_slack
    test_limit = max(20.0, slowest * args.timeout_factor + 5.0)
    log("clean run: %d tests in %.1f s; limits: %.0f s per mutant, %.0f s per test" % (
        len(baseline), seconds, suite_limit, test_limit))

    results = []
    started = time.time()
    # Grouped by file, so that restoring a file and mutating it again costs
    # one compilation.
    order = sorted(mutants, key=lambda m: (m.path, m.start, m.description))
    interrupted = False
    try:
        for n, m in enumerate(order, 1):
            results.append(test_mutant(runner, m, baseline, clean_objects, suite_limit,
                                       test_limit))
            r = results[-1]
            elapsed = time.time() - started
            log("[%d/%d %3.0f min] %-9s %s:%d  %s%s" % (
                n, len(order), elapsed / 60, r["status"], m.path, m.line, m.description,
                ("  (" + ", ".join(r["failed_tests"][:3]) +
                 (", ..." if len(r["failed_tests"]) > 3 else "") + ")")
                if r["failed_tests"] else ""))
    except (KeyboardInterrupt, Interrupted):
        interrupted = True
        log("interrupted: the mutated file is restored; partial report follows")
    finally:
        sync_tree(runner.tree)

    equivalents = load_equivalents(args.equivalents)
    report = summarize(args, files, total, mutants, results, baseline, interrupted, equivalents)
    os.makedirs(os.path.dirname(os.path.abspath(report_path)), exist_ok=True)
    with open(report_path, "w", encoding="utf-8") as f:
        json.dump(report, f, indent=1)
    print_summary(report, equivalents)
    log("report: %s" % report_path)
    dirty = subprocess.run(["git", "-C", REPO, "status", "--porcelain", "--", "src"],
                           stdout=subprocess.PIPE, text=True).stdout.strip()
    if dirty:
        log("warning: src/ has uncommitted changes (not made by this tool):\n" + dirty)
    return 130 if interrupted else 0


def test_mutant(runner, m, baseline, clean_objects, suite_limit, test_limit):
    path = os.path.join(runner.tree, m.path)
    with open(path, encoding="utf-8") as f:
        original = f.read()
    entry = {"id": m.ident(), "key": m.key(), "file": m.path, "line": m.line,
             "column": m.column, "kind": m.kind, "mutation": m.description,
             "source_line": m.source_line, "failed_tests": [], "timed_out_tests": []}
    start = time.time()
    try:
        with open(path, "w", encoding="utf-8") as f:
            f.write(m.apply(original))
        code, out = runner.build_tree(timeout=900)
        entry["build_seconds"] = round(time.time() - start, 1)
        if code != 0:
            entry["status"] = "compile-error"
            errors = [l for l in out.splitlines() if "error" in l]
            entry["compiler"] = errors[0][:300] if errors else (out[-300:] if out else "")
            return entry
        if runner.library_objects() == clean_objects:
            entry["status"] = "equivalent"  # the same machine code as the original
            return entry
        code, results, seconds, _ = runner.run_tests(suite_limit, test_limit)
        entry["test_seconds"] = round(seconds, 1)
        status, failed, timed_out = classify(results, baseline, code is not None)
        entry.update(status=status, failed_tests=failed, timed_out_tests=timed_out,
                     complete=code is not None and len(results) == len(baseline))
        return entry
    finally:
        with open(path, "w", encoding="utf-8") as f:
            f.write(original)


def load_equivalents(path):
    """{mutant key: why it is equivalent}; empty when the file is missing."""
    if not path or not os.path.exists(path):
        return {}
    with open(path, encoding="utf-8") as f:
        return json.load(f)


def mark_equivalents(results, equivalents):
    """Notes the reason on each survivor known to be equivalent; returns how many."""
    n = 0
    for r in results:
        if r["status"] == "survived" and r["key"] in equivalents:
            r["equivalent_by_reading"] = equivalents[r["key"]]
            n += 1
    return n


def summarize(args, files, total, mutants, results, baseline, interrupted, equivalents):
    counts = {}
    for r in results:
        counts[r["status"]] = counts.get(r["status"], 0) + 1
    killed = counts.get("killed", 0)
    scored = killed + counts.get("survived", 0) + counts.get("timeout", 0)
    equivalent = mark_equivalents(results, equivalents)
    # Which tests kill which mutants, and which tests kill nothing that no
    # other test kills.
    kills = {t: [] for t in baseline}
    for r in results:
        for t in r["failed_tests"]:
            kills.setdefault(t, []).append(r["id"])
    unique = {t: 0 for t in kills}
    for r in results:
        if r["status"] == "killed" and len(r["failed_tests"]) == 1:
            unique[r["failed_tests"][0]] += 1
    return {
        "command": " ".join(["scripts/mutants.sh"] + sys.argv[1:]),
        "commit": subprocess.run(["git", "-C", REPO, "rev-parse", "HEAD"],
                                 stdout=subprocess.PIPE, text=True).stdout.strip(),
        "seed": args.seed, "sample": args.sample, "files": files,
        "mutants_in_files": total, "mutants_tested": len(results),
        "mutants_selected": len(mutants), "interrupted": interrupted,
        "counts": counts,
        "score": round(killed / scored, 4) if scored else None,
        "survivors_equivalent_by_reading": equivalent,
        "score_without_them": (round(killed / (scored - equivalent), 4)
                               if scored > equivalent else None),
        "tests": {t: {"kills": len(kills[t]), "unique_kills": unique.get(t, 0),
                      "mutants": kills[t]} for t in sorted(kills)},
        "mutants": results,
    }


def greedy_cover(report):
    """Tests, in order, that together kill every killed mutant: each the one
    that kills the most mutants the earlier ones leave alive."""
    left = {r["id"] for r in report["mutants"] if r["status"] == "killed"}
    kills = {t: set(v["mutants"]) for t, v in report["tests"].items()}
    cover = []
    while left:
        best = max(sorted(kills), key=lambda t: len(kills[t] & left))
        gain = kills[best] & left
        if not gain:
            break
        cover.append((best, len(gain)))
        left -= gain
    return cover


def print_summary(report, equivalents, detailed=False):
    c = report["counts"]
    equivalent = mark_equivalents(report["mutants"], equivalents)
    log("")
    log("mutants: %d tested of %d" % (report["mutants_tested"], report["mutants_in_files"]))
    for status in ("killed", "survived", "timeout", "compile-error", "equivalent"):
        log("  %-14s %d" % (status, c.get(status, 0)))
    if report["score"] is not None:
        log("score: %.1f%% (killed / (killed + survived + timed out))" %
            (100 * report["score"]))
    if equivalent:
        scored = c.get("killed", 0) + c.get("survived", 0) + c.get("timeout", 0)
        log("survivors equivalent by reading: %d; score without them: %.1f%%" %
            (equivalent, 100 * c.get("killed", 0) / max(1, scored - equivalent)))
    survivors = [r for r in report["mutants"] if r["status"] in ("survived", "timeout")]
    gaps = [r for r in survivors if "equivalent_by_reading" not in r]
    if gaps:
        log("survivors (gaps unless shown equivalent):")
        for r in sorted(gaps, key=lambda r: (r["file"], r["line"])):
            log("  %-8s %s:%d  %s" % (r["status"], r["file"], r["line"], r["mutation"]))
    if len(gaps) < len(survivors):
        log("equivalent survivors:")
        for r in sorted(survivors, key=lambda r: (r["file"], r["line"])):
            if "equivalent_by_reading" in r:
                log("  %s:%d  %s: %s" % (r["file"], r["line"], r["mutation"],
                                        r["equivalent_by_reading"]))
    idle = sorted(t for t, v in report["tests"].items() if v["unique_kills"] == 0)
    log("tests that kill no mutant alone: %d of %d%s" %
        (len(idle), len(report["tests"]), "" if detailed else " (--summary lists them)"))
    if not detailed:
        return
    for t in idle:
        log("  %-70s kills %d" % (t, report["tests"][t]["kills"]))
    unique = sorted(((v["unique_kills"], t) for t, v in report["tests"].items()
                     if v["unique_kills"]), reverse=True)
    log("tests that kill some mutant alone (count):")
    for count, t in unique:
        log("  %-70s %d" % (t, count))
    cover = greedy_cover(report)
    log("a greedy smallest set of tests killing every killed mutant (%d tests):" % len(cover))
    for t, gain in cover:
        log("  %-70s +%d" % (t, gain))


if __name__ == "__main__":
    sys.exit(main())
