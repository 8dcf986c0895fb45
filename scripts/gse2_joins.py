#!/usr/bin/env python3
"""Checks that the WID2 blocks of GSE2 files join: per channel, each block
starts where the previous one ended (start + samples / rate). Counts joins,
gaps, overlaps and duplicates (a block with the start, sample count and
checksum of an earlier one), from the first block on a whole second."""
import sys
from collections import defaultdict
from datetime import datetime, timedelta

def blocks(path):
    head = None
    with open(path, 'rb') as f:
        for raw in f:
            line = raw.decode('latin-1')
            if line.startswith('WID2'):
                start = datetime.strptime(line[5:28], '%Y/%m/%d %H:%M:%S.%f')
                chan = (line[29:34].strip(), line[35:38].strip(), line[39:43].strip())
                head = (chan, start, int(line[48:54]), float(line[57:68]))
            elif line.startswith('CHK2 ') and head:
                yield head + (int(line[5:]),)
                head = None

def main(paths):
    per = defaultdict(list)
    for p in sorted(paths):
        for chan, start, n, rate, chk in blocks(p):
            per[chan].append((start, n, rate, chk))
    bad = 0
    for chan, seq in sorted(per.items()):
        i = next((k for k, b in enumerate(seq) if b[0].microsecond == 0), len(seq))
        seen, joins, gaps, overlaps, dups, counts = set(), 0, 0, 0, 0, defaultdict(int)
        prev_end = None
        for start, n, rate, chk in seq[i:]:
            counts[n] += 1
            # The same second with the same data: written twice.
            if (start, n, chk) in seen:
                dups += 1
            seen.add((start, n, chk))
            if prev_end is not None:
                d = (start - prev_end) / timedelta(milliseconds=1)
                if abs(d) < 0.5: joins += 1
                elif d > 0: gaps += 1
                else: overlaps += 1
            prev_end = start + timedelta(seconds=n / rate)
        bad += gaps + overlaps + dups
        first = seq[i][0] if i < len(seq) else None
        print(f'{"/".join(chan)}: blocks {len(seq)} (from {first}: {len(seq) - i}), joins {joins}, '
              f'gaps {gaps}, overlaps {overlaps}, duplicates {dups}, samples/block {dict(counts)}')
    return 1 if bad else 0

if __name__ == '__main__':
    sys.exit(main(sys.argv[1:]))
