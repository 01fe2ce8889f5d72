#!/usr/bin/env python3
"""The binding's cost per record: records per second through the library's C++ callback (into the
stream's queue) against records per second through Python (the queue to a record object in a
for loop), in one run against the built-in simulator at full speed.

    PYTHONPATH=build/linux/python python3 python/bench/binding_overhead.py [--seconds 1]

Phase 1 stalls the consumer while the queue (large enough not to conflate; some 400 bytes a
record) fills: the callback rate. Phase 2 drains it in Python with nothing else arriving: Python's
own rate. Phase 3 consumes live for the same time: what a consumer that keeps looking at each
record gets, and how many records the conflation replaced meanwhile.
"""
import argparse
import time

import vokquote

parser = argparse.ArgumentParser()
parser.add_argument("--seconds", type=float, default=1.0)
args = parser.parse_args()

symbols = [f"S{i:03}" for i in range(200)]
with vokquote.Session.simulated(seed=1, flood=True, queue_size=4_000_000) as session:
    stream = session.quotes(symbols)
    next(stream)
    time.sleep(args.seconds)
    filled = stream.stats
    stream.close()  # nothing more arrives; what waits can still be taken
    began = time.perf_counter()
    drained = sum(1 for _ in stream)
    drain_seconds = time.perf_counter() - began

with vokquote.Session.simulated(seed=1, flood=True, queue_size=65536) as session:
    stream = session.quotes(symbols, timeout=args.seconds)
    began = time.perf_counter()
    taken = 0
    for q in stream:
        taken += q.bid_size > 0
    live_seconds = time.perf_counter() - began
    live = stream.stats

callback_rate = filled["delivered"] / args.seconds
python_rate = drained / drain_seconds
print(f"C++ callback into the queue: {callback_rate:12,.0f} records/s ({1e6 / callback_rate:.2f} us each)")
print(f"Python iteration:            {python_rate:12,.0f} records/s ({1e6 / python_rate:.2f} us each)")
print(f"live for {live_seconds:.1f} s: {live['delivered'] / live_seconds:,.0f} delivered/s, "
      f"{live['taken'] / live_seconds:,.0f} taken/s, {live['replaced']:,} replaced, high water {live['high_water']:,}")
