#!/usr/bin/env python3
"""Dice: rolls the dice given as NdM (default 2d6), prints the roll and keeps a history."""
import os
import random
import sys

notation = sys.argv[1] if len(sys.argv) > 1 else "2d6"
count, sides = (int(part) for part in notation.lower().split("d"))
rolls = [random.randint(1, sides) for _ in range(count)]
line = f"{notation}: {' + '.join(map(str, rolls))} = {sum(rolls)}"
print(line)
with open(os.path.join(os.path.dirname(os.path.abspath(__file__)), "history.txt"), "a") as f:
    f.write(line + "\n")
