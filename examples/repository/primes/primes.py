#!/usr/bin/env python3
"""Primes: lists the prime numbers up to a limit (default 100) with a sieve."""
import sys

limit = int(sys.argv[1]) if len(sys.argv) > 1 else 100
sieve = bytearray([1]) * (limit + 1)
sieve[0:2] = b"\0\0"
for n in range(2, int(limit ** 0.5) + 1):
    if sieve[n]:
        sieve[n * n::n] = bytearray(len(sieve[n * n::n]))
print(" ".join(str(n) for n, is_prime in enumerate(sieve) if is_prime))
