# The vokquote package against the built-in simulator: every stream's values against the seeded
# market, asyncio, the single quote and cached reads, logon outcomes, a stalled consumer, exit and
# Ctrl-C while streaming, and reference counts over many records. Run by ctest with PYTHONPATH at
# the package in the build tree.
import asyncio
import errno
import gc
import os
import signal
import socket
import subprocess
import sys
import textwrap
import time
from datetime import datetime, timezone

import pytest

import vokquote
from vokquote import MarketSide, PutCall, Tick, TickCondition, TickType

SEED = 7


def profile(symbol):
    return vokquote._native._simulated_profile(SEED, symbol)


@pytest.fixture
def session():
    with vokquote.Session.simulated(seed=SEED, rate=20) as s:
        yield s


def test_each_stream_carries_the_seeded_market(session):
    assert session.state == vokquote.ConnectionState.LOGGED_IN and session.server_name == "VokSim"

    with session.quotes(["msft", " IBM "], count=8) as stream:
        quotes = [next(stream), next(stream)]
        assert session.cached_quote(quotes[0].symbol).symbol == quotes[0].symbol  # while subscribed
        quotes += stream
    first = {}
    for q in quotes:
        first.setdefault(q.symbol, q)
    assert set(first) == {"MSFT", "IBM"}
    for symbol, q in first.items():
        start, market, company = profile(symbol)
        assert (q.last, q.market, q.company) == (start, market, company)
        assert 0 < q.ask - q.bid <= 0.05 and q.bid_size > 0 and isinstance(q.tick, Tick)
        assert q.time.tzinfo == timezone.utc and abs(q.time - datetime.now(timezone.utc)).total_seconds() < 60
    times = [q.time for q in quotes if q.symbol == "MSFT"]
    assert times == sorted(times)

    start = profile("MSFT")[0]
    with session.book("MSFT", count=4) as stream:
        book = [next(stream)]
        assert session.aggregate_size("MSFT", book[0].price, MarketSide.BID) >= book[0].size
        book += stream
    # The first two market makers always quote, bid then ask, a few cents around the start.
    assert [(l.mmid, l.side) for l in book] == [("NSDQ", MarketSide.BID), ("NSDQ", MarketSide.ASK),
                                                ("ARCA", MarketSide.BID), ("ARCA", MarketSide.ASK)]
    for l in book:
        offset = round((l.price - start) * 100)
        assert (1 <= -offset <= 8) if l.side == MarketSide.BID else (1 <= offset <= 8)
        assert l.size > 0 and not l.closed

    prints = list(session.tape("MSFT", count=5))
    assert all(p.symbol == "MSFT" and abs(p.price - start) < 0.25 and p.size > 0 for p in prints)
    assert all(isinstance(p.type, TickType) and isinstance(p.condition, TickCondition) for p in prints)

    with session.chain("MSFT", count=6) as stream:
        options = [next(stream)]
        assert session.cached_option(options[0].symbol).symbol == options[0].symbol
        options += stream
    for o in options:
        root, expiry, kind, strike = o.symbol.split("-")
        assert root == "+MSFT" and o.underlier == "MSFT" and o.strike_price == float(strike)
        assert o.put_call == (PutCall.PUT if kind == "P" else PutCall.CALL)
        assert (o.exp_year, o.exp_month) == (2000 + int(expiry[:2]), int(expiry[2:4]))

    rows = list(vokquote.to_records(quotes[:1]))
    assert rows[0]["symbol"] == quotes[0].symbol and rows[0]["tick"] == quotes[0].tick.name
    assert quotes[0]._asdict()["bid_size"] == quotes[0].bid_size
    with pytest.raises(AttributeError):
        quotes[0].last = 1.0


def test_single_quote_and_refused_symbols(session):
    q = session.single_quote("IBM", timeout=5.0)
    assert (q.symbol, q.last) == ("IBM", profile("IBM")[0])
    for call in (lambda: session.quotes(["MSFT", "A|B"]), lambda: session.single_quote("X;Y"),
                 lambda: session.book(""), lambda: session.cached_quote("A" * 65)):
        with pytest.raises(ValueError, match="not a valid symbol"):
            call()
    assert session.cached_quote("MSFT") is None  # the refused list left nothing subscribed


def test_asyncio_streams_wait_on_the_running_loop(session):
    async def main():
        ticks = 0

        async def ticker():
            nonlocal ticks
            while True:
                await asyncio.sleep(0.01)
                ticks += 1

        task = asyncio.create_task(ticker())
        async with session.aquotes(["MSFT", "IBM"], count=6) as stream:
            quotes = [q async for q in stream]
        began = time.monotonic()
        prints = [p async for p in session.atape("IBM", timeout=0.5)]
        elapsed = time.monotonic() - began
        task.cancel()
        return quotes, prints, elapsed, ticks

    quotes, prints, elapsed, ticks = asyncio.run(main())
    assert len(quotes) == 6 and {q.symbol for q in quotes} == {"MSFT", "IBM"}
    assert prints and all(p.symbol == "IBM" for p in prints)
    assert 0.45 <= elapsed < 5.0  # the timeout ended the tape
    assert ticks >= 10  # the loop kept running while the streams waited


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def test_logon_outcomes_and_connection_events():
    users = {"alice": "s3cret"}
    with pytest.raises(vokquote.LogonRefused) as refused:
        vokquote.Session.simulated(users=users, user="alice", password="wrong-pass", connect_timeout=5)
    assert "alice" in str(refused.value) and "wrong-pass" not in str(refused.value)

    with pytest.raises(vokquote.ConnectError) as unreachable:
        vokquote.Session(f"127.0.0.1:{free_port()}", "alice", "s3cret", connect_timeout=5)
    assert unreachable.value.errno == errno.ECONNREFUSED and "s3cret" not in str(unreachable.value)

    with pytest.raises(ValueError):
        vokquote.Session("no-port", "alice")

    events = []
    with vokquote.Session.simulated(users=users, user="alice", password="s3cret",
                                    on_event=events.append) as s:
        deadline = time.monotonic() + 5
        while len(events) < 2 and time.monotonic() < deadline:
            time.sleep(0.01)
        assert s.state == vokquote.ConnectionState.LOGGED_IN
        with pytest.raises(vokquote.VokQuoteError, match="one connection per process"):
            vokquote.Session.simulated()
    assert [(e.kind, e.code) for e in events[:2]] == [(vokquote.EventKind.CONNECT, 0),
                                                      (vokquote.EventKind.LOGON_SUCCEED, 0)]


def test_a_stalled_consumer_gets_the_newest_record_per_symbol_and_loses_old_prints():
    symbols = ["AAA", "BBB", "CCC"]
    with vokquote.Session.simulated(seed=3, rate=400, queue_size=8) as s:
        quotes, tape = s.quotes(symbols), s.tape(["AAA"])
        time.sleep(1.0)
        qs, ts = quotes.stats, tape.stats
        assert qs["replaced"] > 100 and qs["depth"] <= 8 + len(symbols) and qs["dropped"] == 0
        assert ts["dropped"] > 100 and ts["depth"] == 8 and ts["replaced"] == 0
        waiting = [quotes.try_next() for _ in range(qs["depth"])]
        newest = {}
        for q in waiting:
            assert q.symbol not in newest or q.time >= newest[q.symbol]  # each symbol keeps its order
            newest[q.symbol] = q.time
        assert set(newest) == set(symbols)
        prints = [tape.try_next() for _ in range(8)]
        assert [p.time for p in prints] == sorted(p.time for p in prints)
        assert tape.try_next() is None or tape.stats["delivered"] > ts["delivered"]
        quotes.close()
        tape.close()
        with pytest.raises(StopIteration):
            next(quotes)


def test_exit_and_ctrl_c_while_streaming():
    script = textwrap.dedent("""
        import sys, threading, vokquote
        s = vokquote.Session.simulated(seed=5, rate=50)
        def drain():
            for p in s.tape(["MSFT"]):
                pass
        threading.Thread(target=drain, daemon=True).start()
        try:
            for i, q in enumerate(s.quotes(["MSFT", "IBM"])):
                if i == 3:
                    print("streaming", flush=True)
        except KeyboardInterrupt:
            print("interrupted", flush=True)
            sys.exit(0)  # the session still open, a daemon thread still streaming
    """)
    child = subprocess.Popen([sys.executable, "-c", script], stdout=subprocess.PIPE,
                             stderr=subprocess.PIPE, text=True, env=dict(os.environ))
    try:
        assert child.stdout.readline().strip() == "streaming"
        child.send_signal(signal.SIGINT)
        out, err = child.communicate(timeout=20)
    finally:
        child.kill()
    assert child.returncode == 0, err
    assert out.strip() == "interrupted" and err == ""


def test_records_and_streams_leak_no_references():
    with vokquote.Session.simulated(seed=9, flood=True) as s:
        def run():
            for _ in range(20):
                with s.quotes(["MSFT", "IBM"], count=250) as stream:
                    for q in stream:
                        assert q.tick in (Tick.UP_OR_EVEN, Tick.DOWN)

        run()  # warms caches
        gc.collect()
        watched = [Tick.UP_OR_EVEN, Tick.DOWN, PutCall.CALL, vokquote.Quote, timezone.utc]
        before = [sys.getrefcount(o) for o in watched]
        objects = len(gc.get_objects())
        run()
        gc.collect()
        assert [sys.getrefcount(o) for o in watched] == before
        assert len(gc.get_objects()) - objects < 50


def test_dataframe_example_runs_when_pandas_is_present():
    pytest.importorskip("pandas")
    example = os.path.join(os.environ.get("VOKQUOTE_EXAMPLES", "examples/python"), "quotes_dataframe.py")
    done = subprocess.run([sys.executable, example, "--seconds", "2"], capture_output=True, text=True,
                          timeout=60)
    assert done.returncode == 0, done.stderr
    assert "MSFT" in done.stdout
