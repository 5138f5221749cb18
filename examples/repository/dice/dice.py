#!/usr/bin/env python3
"""Dice: a small window that rolls the dice given in NdM notation (default 2d6, or the first
argument) and keeps a history of the rolls in history.txt beside itself."""
import os
import random
import sys
import tkinter as tk

HISTORY = os.path.join(os.path.dirname(os.path.abspath(__file__)), "history.txt")


def roll(notation):
    count, sides = (int(part) for part in notation.lower().split("d"))
    rolls = [random.randint(1, sides) for _ in range(count)]
    return f"{notation}: {' + '.join(map(str, rolls))} = {sum(rolls)}"


def main():
    window = tk.Tk()
    window.title("Dice")
    notation = tk.StringVar(value=sys.argv[1] if len(sys.argv) > 1 else "2d6")
    result = tk.StringVar(value="Press Roll")
    history = tk.Listbox(window, height=6, width=32)

    def on_roll(*_):
        try:
            line = roll(notation.get())
        except ValueError:
            result.set("Write the dice as NdM, for example 3d6")
            return
        result.set(line)
        history.insert(0, line)
        with open(HISTORY, "a") as f:
            f.write(line + "\n")

    row = tk.Frame(window)
    tk.Entry(row, textvariable=notation, width=8).pack(side=tk.LEFT)
    tk.Button(row, text="Roll", command=on_roll).pack(side=tk.LEFT, padx=6)
    row.pack(padx=10, pady=(10, 4), anchor=tk.W)
    tk.Label(window, textvariable=result, font=("TkDefaultFont", 14, "bold")).pack(padx=10)
    history.pack(padx=10, pady=(4, 10), fill=tk.BOTH, expand=True)
    window.bind("<Return>", on_roll)
    window.mainloop()


if __name__ == "__main__":
    main()
