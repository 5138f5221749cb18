#!/usr/bin/env python3
"""Word List: the most frequent words of a text file (of its own source when none is given)."""
import collections
import re
import sys

path = sys.argv[1] if len(sys.argv) > 1 else __file__
words = re.findall(r"[a-z']+", open(path, encoding="utf-8").read().lower())
for word, count in collections.Counter(words).most_common(10):
    print(f"{count:5} {word}")
