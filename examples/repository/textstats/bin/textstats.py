#!/usr/bin/env python3
"""Text Stats: a small window with the lines, words and characters of the files given (of the
program's README.txt when none is given); Add... counts more files."""
import os
import sys
import tkinter as tk
from tkinter import filedialog, ttk

README = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "README.txt")


def stats(path):
    with open(path, encoding="utf-8", errors="replace") as f:
        text = f.read()
    return text.count("\n"), len(text.split()), len(text)


def main():
    window = tk.Tk()
    window.title("Text Stats")
    table = ttk.Treeview(window, columns=("lines", "words", "chars"), height=6)
    table.heading("#0", text="File")
    for column in ("lines", "words", "chars"):
        table.heading(column, text=column.capitalize())
        table.column(column, width=70, anchor=tk.E)

    def add(path):
        try:
            values = stats(path)
        except OSError as error:
            values = (error.strerror, "", "")
        table.insert("", tk.END, text=os.path.basename(path), values=values)

    def on_add():
        for path in filedialog.askopenfilenames(parent=window):
            add(path)

    tk.Button(window, text="Add...", command=on_add).pack(padx=10, pady=(10, 4), anchor=tk.W)
    table.pack(padx=10, pady=(4, 10), fill=tk.BOTH, expand=True)
    for path in sys.argv[1:] or [os.path.normpath(README)]:
        add(path)
    window.mainloop()


if __name__ == "__main__":
    main()
