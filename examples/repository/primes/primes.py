#!/usr/bin/env python3
"""Primes: a small window that lists the prime numbers up to a limit (default 100, or the first
argument), found with a sieve."""
import sys
import tkinter as tk


def primes(limit):
    sieve = bytearray([1]) * (limit + 1)
    sieve[0:2] = b"\0\0"
    for n in range(2, int(limit ** 0.5) + 1):
        if sieve[n]:
            sieve[n * n::n] = bytearray(len(sieve[n * n::n]))
    return [n for n, is_prime in enumerate(sieve) if is_prime]


def main():
    window = tk.Tk()
    window.title("Primes")
    limit = tk.StringVar(value=sys.argv[1] if len(sys.argv) > 1 else "100")
    summary = tk.StringVar()
    text = tk.Text(window, width=40, height=10, wrap=tk.WORD)

    def on_list(*_):
        try:
            found = primes(max(0, min(int(limit.get()), 1_000_000)))
        except ValueError:
            summary.set("The limit is a whole number")
            return
        summary.set(f"{len(found)} primes up to {limit.get()}")
        text.delete("1.0", tk.END)
        text.insert(tk.END, " ".join(map(str, found)))

    row = tk.Frame(window)
    tk.Label(row, text="Up to").pack(side=tk.LEFT)
    tk.Spinbox(row, from_=2, to=1_000_000, textvariable=limit, width=9).pack(side=tk.LEFT, padx=4)
    tk.Button(row, text="List", command=on_list).pack(side=tk.LEFT)
    row.pack(padx=10, pady=(10, 4), anchor=tk.W)
    tk.Label(window, textvariable=summary).pack(padx=10, anchor=tk.W)
    text.pack(padx=10, pady=(4, 10), fill=tk.BOTH, expand=True)
    window.bind("<Return>", on_list)
    on_list()
    window.mainloop()


if __name__ == "__main__":
    main()
