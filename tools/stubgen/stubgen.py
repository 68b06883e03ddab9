#!/usr/bin/env python3
"""Writes E_NOTIMPL stub bases for COM interfaces from the C vtable structs of
the installed Windows headers.

For each interface I asked for, the output header gets a specialisation
TStub<I> that derives from I and implements every method of I and of its
bases except the three of IUnknown: HRESULT methods return E_NOTIMPL, other
methods return 0, and out arguments are left as the caller passed them. Every
method is marked override, so a header whose interface differs from the
parsed one breaks the build instead of leaving a stub silently unused.

Usage: stubgen.py --include-dir DIR --header H [--header H ...] --out FILE I [I ...]
Exits non-zero with a message when an interface is missing or cannot be parsed.
"""

import argparse
import os
import re
import sys

METHOD = re.compile(
    r"(?P<ret>[A-Za-z_][\w\s\*]*?)\s*\(\s*STDMETHODCALLTYPE\s*\*\s*(?P<name>\w+)\s*\)\s*\((?P<params>[^;]*)\)\s*;",
    re.S)
SECTION = re.compile(r"/\*\*\*\s*(\w+)\s+methods\s*\*\*\*/")
IUNKNOWN = ("QueryInterface", "AddRef", "Release")


class StubError(Exception):
    pass


def find_vtable(headers, iface):
    start = re.compile(r"typedef\s+struct\s+" + re.escape(iface) + r"Vtbl\s*\{")
    for path, text in headers:
        m = start.search(text)
        if not m:
            continue
        end = text.find("END_INTERFACE", m.end())
        if end < 0:
            raise StubError(f"{path}: vtable of {iface} has no END_INTERFACE")
        return path, text[m.end():end]
    names = ", ".join(os.path.basename(p) for p, _ in headers)
    raise StubError(f"interface {iface} not found in {names}")


def split_params(params):
    parts, depth, cur = [], 0, ""
    for ch in params:
        if ch == "," and depth == 0:
            parts.append(cur.strip())
            cur = ""
            continue
        depth += ch == "("
        depth -= ch == ")"
        cur += ch
    if cur.strip():
        parts.append(cur.strip())
    return [" ".join(p.split()) for p in parts]


def parse_methods(path, iface, body):
    body = body.replace("BEGIN_INTERFACE", "")
    # Cut the body into statements; each must be a section comment or a method.
    methods = []
    section = None
    pos = 0
    expected = body.count("STDMETHODCALLTYPE")
    while True:
        sm = SECTION.search(body, pos)
        mm = METHOD.search(body, pos)
        if mm is None and sm is None:
            break
        if sm is not None and (mm is None or sm.start() < mm.start()):
            section = sm.group(1)
            pos = sm.end()
            continue
        name = mm.group("name")
        params = split_params(mm.group("params"))
        if not params or not re.match(r"^" + re.escape(iface) + r"\s*\*\s*This$", params[0]):
            raise StubError(f"{path}: {iface}::{name}: first parameter is not '{iface} *This': {params[:1]}")
        methods.append((section, " ".join(mm.group("ret").split()), name, params[1:]))
        pos = mm.end()
    if len(methods) != expected:
        raise StubError(f"{path}: {iface}: parsed {len(methods)} of {expected} methods")
    if [m[2] for m in methods[:3]] != list(IUNKNOWN):
        raise StubError(f"{path}: {iface}: vtable does not start with the IUnknown methods")
    if len(methods) == 3 and iface != "IUnknown":
        raise StubError(f"{path}: {iface}: no methods beyond IUnknown")
    return methods[3:]


def emit(iface, methods):
    out = [f"template <> class TStub<{iface}> : public {iface} {{", "public:"]
    current = None
    for section, ret, name, params in methods:
        if section != current:
            out.append(f"  // {section}")
            current = section
        args = ", ".join(params)
        if ret == "HRESULT":
            out.append(f"  HRESULT STDMETHODCALLTYPE {name}({args}) override {{ return E_NOTIMPL; }}")
        elif ret == "void":
            out.append(f"  void STDMETHODCALLTYPE {name}({args}) override {{}}")
        else:
            out.append(f"  {ret} STDMETHODCALLTYPE {name}({args}) override {{ return 0; }}")
    out.append("};")
    out.append("")
    return out


def write_if_changed(path, text):
    # Only touch the output when it changes, so dependants are not rebuilt.
    try:
        with open(path, encoding="utf-8") as f:
            if f.read() == text:
                return
    except OSError:
        pass
    os.makedirs(os.path.dirname(os.path.abspath(path)), exist_ok=True)
    with open(path, "w", encoding="utf-8") as f:
        f.write(text)


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--include-dir", required=True)
    ap.add_argument("--header", action="append", required=True)
    ap.add_argument("--out", required=True)
    ap.add_argument("--check", help="also write a source file that fails to compile when a stub is incomplete")
    ap.add_argument("interfaces", nargs="+")
    a = ap.parse_args()
    try:
        headers = []
        for h in a.header:
            path = os.path.join(a.include_dir, h)
            try:
                with open(path, encoding="latin-1") as f:
                    headers.append((path, f.read()))
            except OSError as e:
                raise StubError(f"cannot read {path}: {e.strerror}")
        lines = [
            "// Generated by tools/stubgen/stubgen.py from the installed Windows headers. Do not edit.",
            "#pragma once", "", "#include <windows.h>"
        ]
        lines += [f"#include <{h}>" for h in a.header]
        lines += [
            "", "#pragma GCC diagnostic push", "#pragma GCC diagnostic ignored \"-Wunused-parameter\"", "",
            "// E_NOTIMPL for every method but IUnknown's; out arguments are left alone.",
            "template <class TInterface> class TStub;", ""
        ]
        seen = set()
        for iface in a.interfaces:
            if iface in seen:
                continue
            seen.add(iface)
            path, body = find_vtable(headers, iface)
            lines += emit(iface, parse_methods(path, iface, body))
        lines += ["#pragma GCC diagnostic pop", ""]
        write_if_changed(a.out, "\n".join(lines))
        if a.check:
            check = [
                "// Generated by tools/stubgen/stubgen.py. Do not edit.", "#include <type_traits>", "",
                f"#include \"{os.path.basename(a.out)}\"", "", "namespace {",
                "template <class T> struct TComplete : TStub<T> {",
                "  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void **) override { return E_NOINTERFACE; }",
                "  ULONG STDMETHODCALLTYPE AddRef() override { return 1; }",
                "  ULONG STDMETHODCALLTYPE Release() override { return 1; }", "};"
            ]
            check += [f"static_assert(!std::is_abstract_v<TComplete<{i}>>, \"stub of {i} misses a method\");"
                      for i in sorted(seen)]
            check += ["} // namespace", ""]
            write_if_changed(a.check, "\n".join(check))
    except StubError as e:
        print(f"stubgen: error: {e}", file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
