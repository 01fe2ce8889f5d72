#!/usr/bin/env python3
"""Collects a minute of level 1 quotes from the built-in simulator into a pandas DataFrame and
prints a summary per symbol (notebook style: each step is one cell). Needs pandas; without it the
example says so and does nothing.

    PYTHONPATH=build/linux/python python3 examples/python/quotes_dataframe.py [--seconds 60]
"""
import argparse
import sys

import vokquote

parser = argparse.ArgumentParser(description="a minute of quotes in a DataFrame")
parser.add_argument("--seconds", type=float, default=60.0)
args = parser.parse_args()

try:
    import pandas as pd
except ImportError:
    print("quotes_dataframe: pandas is not installed; nothing to do")
    sys.exit(0)

# Cell 1: collect. to_records turns each record into a plain dict (enumerations by name).
with vokquote.Session.simulated(seed=42, rate=5) as session:
    rows = list(vokquote.to_records(session.quotes(["MSFT", "IBM", "AAPL"], timeout=args.seconds)))

# Cell 2: a DataFrame indexed by time (timezone-aware UTC).
pd.set_option("display.width", 120)
frame = pd.DataFrame(rows).set_index("time")
print(frame[["symbol", "last", "bid", "ask", "volume", "tick"]].tail())

# Cell 3: per symbol, the spread and the range of the last price.
frame["spread"] = frame["ask"] - frame["bid"]
print(frame.groupby("symbol").agg(updates=("last", "size"), low=("last", "min"), high=("last", "max"),
                                  mean_spread=("spread", "mean")))
