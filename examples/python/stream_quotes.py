#!/usr/bin/env python3
"""Streams level 1 quotes and prints one line each until Ctrl-C (or --count records).

    PYTHONPATH=build/linux/python python3 examples/python/stream_quotes.py MSFT IBM
    python3 examples/python/stream_quotes.py MSFT --server quotes.example:5020 --user me --password-file ~/.vokpass

Without --server it runs against the built-in simulator. Connection events are printed as they come.
"""
import argparse

import vokquote


def main() -> int:
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("symbols", nargs="*", default=["MSFT", "IBM", "AAPL"])
    parser.add_argument("--server", help="host:port; default: the built-in simulator")
    parser.add_argument("--user", default="")
    parser.add_argument("--password-file")
    parser.add_argument("--count", type=int)
    args = parser.parse_args()

    def on_event(event: vokquote.ConnectionEvent) -> None:
        print(f"-- {event.kind.name} {event.code or ''} {event.text}".rstrip())

    try:
        if args.server:
            session = vokquote.Session(args.server, args.user, password_file=args.password_file,
                                       on_event=on_event)
        else:
            session = vokquote.Session.simulated(seed=1, rate=2, on_event=on_event)
    except vokquote.VokQuoteError as error:
        print(f"stream_quotes: {error}")
        return 3
    with session:
        try:
            for q in session.quotes(args.symbols, count=args.count):
                print(f"{q.time:%H:%M:%S.%f} {q.symbol:<8} {q.last:>10.2f} {q.bid:>10.2f} x {q.bid_size:<6}"
                      f"{q.ask:>10.2f} x {q.ask_size:<6} vol {q.volume:,}")
        except KeyboardInterrupt:
            pass
    return 0


if __name__ == "__main__":
    raise SystemExit(main())
