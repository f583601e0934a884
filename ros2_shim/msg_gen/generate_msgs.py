#!/usr/bin/env python3
"""Turns ROS 2 .msg files into C++ headers `<pkg>/msg/<snake_name>.hpp`.

Each message becomes a plain struct in namespace `<pkg>::msg` with its fields
in file order, their defaults, its constants, the usual smart-pointer aliases
and `==` / `!=`.  Only the standard library is used so the build needs
nothing beyond python3.

usage: generate_msgs.py --package PKG --output INCLUDE_DIR FILE.msg [...]
"""
import argparse
import os
import re
import sys

PRIMITIVES = {
    "bool": "bool",
    "byte": "uint8_t",
    "char": "uint8_t",
    "float32": "float",
    "float64": "double",
    "int8": "int8_t",
    "uint8": "uint8_t",
    "int16": "int16_t",
    "uint16": "uint16_t",
    "int32": "int32_t",
    "uint32": "uint32_t",
    "int64": "int64_t",
    "uint64": "uint64_t",
    "string": "std::string",
}


def snake_case(name):
    name = re.sub(r"(.)([A-Z][a-z]+)", r"\1_\2", name)
    name = re.sub(r"([a-z0-9])([A-Z])", r"\1_\2", name)
    return name.lower()


class MsgError(Exception):
    pass


class Field:
    def __init__(self, base, array, bound, name, default):
        self.base = base          # primitive name or (pkg, Type)
        self.array = array        # None, "dynamic" or "fixed"
        self.bound = bound        # element count for fixed arrays
        self.name = name
        self.default = default    # raw default text or None


def parse_type(text, package):
    array, bound = None, None
    m = re.fullmatch(r"([\w/]+?)(<=\d+)?(\[(<=)?(\d*)\])?", text)
    if not m:
        raise MsgError("bad type '%s'" % text)
    base = m.group(1)
    if m.group(3):
        if m.group(5) and not m.group(4):
            array, bound = "fixed", int(m.group(5))
        else:
            array = "dynamic"
    if base in PRIMITIVES:
        return base, array, bound
    if base == "Header":
        return ("std_msgs", "Header"), array, bound
    if "/" in base:
        pkg, _, typ = base.partition("/")
        typ = typ.split("/")[-1]
        return (pkg, typ), array, bound
    return (package, base), array, bound


def parse_msg(path, package):
    fields, constants = [], []
    with open(path, encoding="utf-8") as handle:
        for lineno, raw in enumerate(handle, 1):
            line = raw.split("#", 1)[0].strip() if '"' not in raw else strip_comment(raw)
            if not line:
                continue
            try:
                type_text, rest = line.split(None, 1)
            except ValueError:
                raise MsgError("%s:%d: expected '<type> <name>'" % (path, lineno))
            base, array, bound = parse_type(type_text, package)
            const = re.fullmatch(r"([A-Z][A-Z0-9_]*)\s*=\s*(.+)", rest)
            if const:
                if array or not isinstance(base, str):
                    raise MsgError("%s:%d: constants must be primitive" % (path, lineno))
                constants.append((base, const.group(1), const.group(2).strip()))
                continue
            parts = rest.split(None, 1)
            name = parts[0]
            if not re.fullmatch(r"[a-z][a-z0-9_]*", name):
                raise MsgError("%s:%d: bad field name '%s'" % (path, lineno, name))
            default = parts[1].strip() if len(parts) > 1 else None
            fields.append(Field(base, array, bound, name, default))
    return fields, constants


def strip_comment(raw):
    # A '#' inside a quoted default is not a comment.
    out, quote = [], None
    for ch in raw:
        if quote:
            out.append(ch)
            if ch == quote:
                quote = None
        elif ch in "\"'":
            quote = ch
            out.append(ch)
        elif ch == "#":
            break
        else:
            out.append(ch)
    return "".join(out).strip()


def cpp_scalar(base):
    if isinstance(base, str):
        return PRIMITIVES[base]
    return "%s::msg::%s" % base


def cpp_type(field):
    scalar = cpp_scalar(field.base)
    if field.array == "fixed":
        return "std::array<%s, %d>" % (scalar, field.bound)
    if field.array == "dynamic":
        return "std::vector<%s>" % scalar
    return scalar


def cpp_literal(base, text):
    text = text.strip()
    if base == "string":
        if len(text) >= 2 and text[0] == text[-1] and text[0] in "\"'":
            text = text[1:-1]
        return "\"%s\"" % text.replace("\\", "\\\\").replace("\"", "\\\"")
    if base == "bool":
        return "true" if text.lower() in ("true", "1") else "false"
    if base in ("float32", "float64"):
        value = repr(float(text))
        return value + ("f" if base == "float32" else "")
    int(text, 0)
    suffix = {"int64": "LL", "uint64": "ULL", "uint32": "U"}.get(base, "")
    return text + suffix


def cpp_default(field):
    if field.default is None:
        if field.array == "fixed" or (
                isinstance(field.base, str) and not field.array and field.base != "string"):
            return "{}"
        return None
    if field.array:
        items = field.default.strip()
        if not (items.startswith("[") and items.endswith("]")):
            raise MsgError("array default of '%s' must be a list" % field.name)
        values = [v for v in items[1:-1].split(",") if v.strip()]
        inner = ", ".join(cpp_literal(field.base, v) for v in values)
        return "{%s}" % inner if field.array == "fixed" else "{%s}" % inner
    return "{%s}" % cpp_literal(field.base, field.default)


def render(package, name, fields, constants):
    includes = {"<array>", "<cstdint>", "<memory>", "<string>", "<vector>"}
    for f in fields:
        if not isinstance(f.base, str):
            includes.add("\"%s/msg/%s.hpp\"" % (f.base[0], snake_case(f.base[1])))
    out = ["// Generated from %s/msg/%s.msg; do not edit." % (package, name), "#pragma once", ""]
    out += ["#include %s" % inc for inc in sorted(includes, key=lambda s: (s[0] != "<", s))]
    out += ["", "namespace %s", "{", "namespace msg", "{", ""]
    out[out.index("namespace %s")] = "namespace %s" % package
    out.append("struct %s" % name)
    out.append("{")
    out.append("  using SharedPtr = std::shared_ptr<%s>;" % name)
    out.append("  using ConstSharedPtr = std::shared_ptr<const %s>;" % name)
    out.append("  using UniquePtr = std::unique_ptr<%s>;" % name)
    out.append("  using ConstUniquePtr = std::unique_ptr<const %s>;" % name)
    out.append("  using WeakPtr = std::weak_ptr<%s>;" % name)
    out.append("  using ConstWeakPtr = std::weak_ptr<const %s>;" % name)
    if constants:
        out.append("")
    for base, cname, value in constants:
        if base == "string":
            out.append("  static constexpr const char * %s = %s;" % (cname, cpp_literal(base, value)))
        else:
            out.append("  static constexpr %s %s = %s;" % (PRIMITIVES[base], cname, cpp_literal(base, value)))
    if fields:
        out.append("")
    for f in fields:
        default = cpp_default(f)
        out.append("  %s %s%s;" % (cpp_type(f), f.name, default if default else ""))
    out.append("")
    compare = " &&\n      ".join("%s == other.%s" % (f.name, f.name) for f in fields) or "true"
    out.append("  bool operator==(const %s & other) const" % name)
    out.append("  {")
    out.append("    %sreturn %s;" % ("(void)other;\n    " if not fields else "", compare))
    out.append("  }")
    out.append("  bool operator!=(const %s & other) const {return !(*this == other);}" % name)
    out.append("};")
    out += ["", "}  // namespace msg", "}  // namespace %s" % package, ""]
    return "\n".join(out)


def write_if_changed(path, text):
    if os.path.exists(path):
        with open(path, encoding="utf-8") as handle:
            if handle.read() == text:
                return
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "w", encoding="utf-8") as handle:
        handle.write(text)


def main(argv):
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--package", required=True)
    parser.add_argument("--output", required=True)
    parser.add_argument("msgs", nargs="+")
    args = parser.parse_args(argv)
    try:
        for path in args.msgs:
            name = os.path.splitext(os.path.basename(path))[0]
            fields, constants = parse_msg(path, args.package)
            header = os.path.join(args.output, args.package, "msg", snake_case(name) + ".hpp")
            write_if_changed(header, render(args.package, name, fields, constants))
    except (MsgError, ValueError) as err:
        print("generate_msgs: %s" % err, file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
