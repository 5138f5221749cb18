#!/usr/bin/env python3
"""Text Stats: lines, words and characters of the files given (of standard input otherwise)."""
import sys


def stats(text):
    return text.count("\n"), len(text.split()), len(text)


sources = sys.argv[1:] or ["-"]
for source in sources:
    text = sys.stdin.read() if source == "-" else open(source, encoding="utf-8").read()
    lines, words, chars = stats(text)
    print(f"{lines:8} {words:8} {chars:8} {source}")
