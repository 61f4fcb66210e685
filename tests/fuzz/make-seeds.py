#!/usr/bin/env python3
"""Writes the seed corpora of the fuzzers (tests/fuzz/corpus/{job,spill}).

Each seed is shaped to reach a hard path of the job: words that straddle a
read block, very long words, long runs of one word, lists ascending for a
while and then not, every byte value, text in code page 936 and UTF-8. The
spill seeds are the same sources behind two bytes of memory limit.
Run it again only to change the seeds; the fuzzers add to the corpora.
"""
import os
import random

HERE = os.path.dirname(os.path.abspath(__file__))
rng = random.Random(7)


def words(alphabet, count, lo, hi):
    return [bytes(rng.choice(alphabet) for _ in range(rng.randint(lo, hi))) for _ in range(count)]


def join(ws):
    seps = [b" ", b"\t", b"\n", b"\r\n", b"\x0b", b"\x0c", b"\r", b"  "]
    return b"".join(w + rng.choice(seps) for w in ws)


SEEDS = {
    "table-order": b"b a b\r\nA",
    "table-prefix-case": b"abc ab apple Apple Zoo 1",
    "table-nul": b"a\x00b a\x00 a a\x00\x00",
    "table-end-of-text": b"zz ab\x1acd ef",
    "table-high-bytes": b"\xff \x80 ~ \xd6\xd0\xce\xc4 \xd6\xd0\xa1\xa1\xce\xc4 \xc3\xa9t\xc3\xa9",
    "all-byte-values": bytes(range(256)),
    "all-byte-values-reversed": bytes(reversed(range(256))),
    "straddling-words": join([b"x" * n for n in range(1, 40)]),
    "long-word": b"q" * 20000 + b" " + b"q" * 19999 + b"r q",
    "long-common-prefix": join([b"p" * 3000 + bytes([c]) for c in b"zyxabc"] * 2),
    "one-word-many-times": b"again " * 3000,
    "ascending-then-not": join(sorted(words(b"abcdef", 300, 1, 8))) + join(words(b"abcdef", 50, 1, 8)),
    "descending": join(sorted(words(b"ghijk", 300, 1, 6), reverse=True)),
    "gbk-and-utf8": join(words([0xd6, 0xd0, 0xce, 0xc4, 0xa1, 0xe4, 0xb8, 0xad, 0x61], 400, 2, 10)),
    "every-byte-words": join(words(bytes(b for b in range(256) if b not in (9, 10, 11, 12, 13, 32, 26)), 200, 1, 20)),
    "sixteen-byte-edge": join([b"w" * n + t for n in (7, 8, 9, 15, 16, 17) for t in (b"", b"a", b"\x00")] * 30),
}


def main():
    for mode, prefix in (("job", b""), ("spill", b"\x00\x00")):
        folder = os.path.join(HERE, "corpus", mode)
        os.makedirs(folder, exist_ok=True)
        for name, data in SEEDS.items():
            with open(os.path.join(folder, "seed-" + name), "wb") as f:
                f.write(prefix + data)
        if mode == "spill":
            # Larger limits too: a few runs rather than many.
            with open(os.path.join(folder, "seed-every-byte-words-4k"), "wb") as f:
                f.write(b"\x00\x0f" + SEEDS["every-byte-words"])


if __name__ == "__main__":
    main()
