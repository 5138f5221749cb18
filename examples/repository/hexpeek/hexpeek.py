#!/usr/bin/env python3
"""Hex Peek: a small window that shows the first bytes of a file (the first argument, or itself)
as hex and text; Open... picks another file."""
import sys
import tkinter as tk
from tkinter import filedialog

PEEK_BYTES = 512


def dump(path):
    with open(path, "rb") as f:
        data = f.read(PEEK_BYTES)
    lines = []
    for offset in range(0, len(data), 16):
        chunk = data[offset:offset + 16]
        text = "".join(chr(b) if 32 <= b < 127 else "." for b in chunk)
        lines.append(f"{offset:08x}  {chunk.hex(' '):<47}  {text}")
    return "\n".join(lines)


def main():
    window = tk.Tk()
    window.title("Hex Peek")
    name = tk.StringVar()
    view = tk.Text(window, width=78, height=16, font="TkFixedFont")

    def show(path):
        try:
            content = dump(path)
        except OSError as error:
            content = str(error)
        name.set(path)
        view.configure(state=tk.NORMAL)
        view.delete("1.0", tk.END)
        view.insert(tk.END, content)
        view.configure(state=tk.DISABLED)

    def on_open():
        path = filedialog.askopenfilename(parent=window)
        if path:
            show(path)

    row = tk.Frame(window)
    tk.Button(row, text="Open...", command=on_open).pack(side=tk.LEFT)
    tk.Label(row, textvariable=name).pack(side=tk.LEFT, padx=6)
    row.pack(padx=10, pady=(10, 4), anchor=tk.W)
    view.pack(padx=10, pady=(4, 10), fill=tk.BOTH, expand=True)
    show(sys.argv[1] if len(sys.argv) > 1 else __file__)
    window.mainloop()


if __name__ == "__main__":
    main()
