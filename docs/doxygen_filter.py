#!/usr/bin/env python3
"""Doxygen's input filter for the library's public headers.

The headers are commented with plain `//`, in this house's style: the comment
directly above a declaration says what it is, a comment after a member on its
line says what that member holds, and the comment at the head of a file says
what the file is. This filter hands Doxygen the same text with those comments
as documentation (`///`, `///<`, `\\file`), so that the headers stay as they
are read in an editor. Comments inside function bodies, comments followed by
a blank line, a preprocessor line or a closing brace, and NOLINT notes stay
plain. Outside `code spans` the characters Doxygen would read as commands or
markup are escaped; the number of lines never changes, so Doxygen's warnings
name the header's own lines.

    doxygen_filter.py HEADER   (prints the filtered text)
"""
import re
import sys

# Characters Doxygen reads as the start of a command or an HTML tag.
ESCAPES = {"\\": "\\\\", "@": "\\@", "<": "\\<", ">": "\\>", "&": "\\&", "#": "\\#",
           "$": "\\$", "%": "\\%"}
SCOPE_WORDS = re.compile(r"\b(namespace|class|struct|enum|union)\b")
ACCESS = re.compile(r"^\s*(public|private|protected)\s*:")


def escape(text):
    """Escapes `text` outside its backtick code spans."""
    parts = text.split("`")
    if len(parts) % 2 == 0:  # an unpaired backtick: no code spans at all
        parts = [text]
    for i in range(0, len(parts), 2):
        parts[i] = "".join(ESCAPES.get(c, c) for c in parts[i])
    return "`".join(parts)


def split_comment(line):
    """(code, comment text or None): the line split at a `//` outside literals."""
    i, quote = 0, None
    while i < len(line):
        c = line[i]
        if quote:
            if c == "\\":
                i += 1
            elif c == quote:
                quote = None
        elif c in "\"'":
            quote = c
        elif line.startswith("//", i):
            return line[:i], line[i + 2:]
        i += 1
    return line, None


def strip_literals(code):
    return re.sub(r"\"(\\.|[^\"\\])*\"|'(\\.|[^'\\])*'", "\"\"", code)


def filter_header(lines):
    out = list(lines)
    # Per line: whether it lies directly in a namespace, class or file scope
    # (not in a function body or an initializer).
    in_scope = []
    stack = []  # True for a scope brace, False for any other
    statement = ""
    for line in lines:
        in_scope.append(all(stack))
        code, _ = split_comment(line)
        if code.lstrip().startswith("#"):
            continue
        for c in strip_literals(code):
            if c == "{":
                stack.append(bool(SCOPE_WORDS.search(statement)) and "(" not in statement
                             and "=" not in statement)
                statement = ""
            elif c == "}":
                if stack:
                    stack.pop()
                statement = ""
            elif c == ";":
                statement = ""
            else:
                statement += c
        statement += " "

    i = 0
    while i < len(lines):
        code, comment = split_comment(lines[i])
        if comment is None or not in_scope[i]:
            i += 1
            continue
        if code.strip():
            # A member's own comment, after it on its line.
            if not comment.lstrip().startswith("NOLINT"):
                out[i] = code + "///<" + escape(comment)
            i += 1
            continue
        # A block of whole-line comments: documentation of what follows it.
        start = i
        while i < len(lines) and split_comment(lines[i])[0].strip() == "" and \
                split_comment(lines[i])[1] is not None:
            i += 1
        following = lines[i].strip() if i < len(lines) else ""
        head_of_file = start == 0
        documents = following and not following.startswith(("#", "}")) and \
            not ACCESS.match(following)
        if head_of_file or documents:
            for j in range(start, i):
                indent, text = split_comment(lines[j])
                if text.startswith("   "):
                    # An indented table or sample: a code block, shown as it is.
                    out[j] = indent + "///  " + text
                else:
                    out[j] = indent + "///" + escape(text)
            if head_of_file:
                out[start] += " \\file"
    return out


def main():
    with open(sys.argv[1], encoding="utf-8") as header:
        lines = header.read().split("\n")
    sys.stdout.write("\n".join(filter_header(lines)))


if __name__ == "__main__":
    main()
