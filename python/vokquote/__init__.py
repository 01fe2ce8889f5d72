"""Realtime quotes from a VokQuote quote server, or from the built-in simulator.

    import vokquote
    with vokquote.Session.simulated(seed=7, rate=5) as s:
        for q in s.quotes(["MSFT", "IBM"], count=10):
            print(q.symbol, q.bid, q.ask, q.time)

A Session is one connection, logged on when the constructor returns. Its streams (quotes, book,
tape, chain, events) are iterators of immutable records; the a-prefixed forms are async iterators
for asyncio. Records come from the library on the binding's own thread and wait in a bounded queue
per stream; a consumer that falls behind gets only the newest record per symbol (level 1,
options), per symbol, market maker and side (level 2), or loses the oldest prints (time and sales),
as the stream's ``stats`` count.
"""

from __future__ import annotations

import asyncio
import atexit
import enum
import os
import threading
import traceback
import weakref
from datetime import datetime
from typing import (Any, Callable, Dict, Generic, Iterable, Iterator, NamedTuple,
                    Optional, TypeVar, Union)

from . import _native
from ._native import Stream

__all__ = [
    "Session", "Stream", "AsyncStream", "Quote", "Level2", "Print", "Option", "ConnectionEvent", "Tick",
    "PutCall", "MarketSide", "TickType", "TickStatus", "TickCondition", "ConnectionState",
    "EventKind", "VokQuoteError", "ConnectError", "LogonRefused", "to_records",
]

__version__: str = _native.library_version


class VokQuoteError(Exception):
    """Base class of the errors of this package."""


class ConnectError(VokQuoteError):
    """The server could not be reached, or did not log the user on in time.

    ``errno`` is the system's error number of a failed connect, else None."""

    def __init__(self, message: str, errno: Optional[int] = None) -> None:
        super().__init__(message)
        self.errno = errno


class LogonRefused(VokQuoteError):
    """The server closed the connection during logon: the user or the password was refused."""


class Tick(enum.IntEnum):
    """Direction of the last trade."""
    UP_OR_EVEN = 0
    DOWN = 1
    NONE = 2


class PutCall(enum.IntEnum):
    CALL = 0
    PUT = 1
    BOTH = 2


class MarketSide(enum.IntEnum):
    BID = 1
    ASK = 2


class TickType(enum.IntEnum):
    """What a time and sales print reports."""
    TRADE = 0
    BID = 1
    ASK = 2


class TickStatus(enum.IntEnum):
    NORMAL = 0
    FILTERED = 1
    OUT_OF_SEQUENCE = 2
    DELETED = 3


class TickCondition(enum.IntEnum):
    """Condition of a print: trade conditions from 0, quote conditions from 100."""
    TRADE_REGULAR_SALE = 0
    TRADE_ACQUISITION = 1
    TRADE_DISTRIBUTION = 2
    TRADE_SPLIT = 3
    TRADE_RESERVED_SALE = 4
    TRADE_CASH_SALE = 5
    TRADE_NEXT_DAY_SALE = 6
    TRADE_SELLER_SALE = 7
    TRADE_RULE_155 = 8
    TRADE_SOLD_LAST_SALE = 9
    TRADE_OPEN_SALE = 10
    TRADE_OUT_OF_SEQUENCE = 11
    TRADE_CANCEL_VOLUME = 12
    TRADE_CANCEL_LAST = 13
    TRADE_CANCEL_OPEN = 14
    TRADE_CANCEL_ONLY = 15
    TRADE_CANCEL_STOPPED = 16
    TRADE_REOPEN = 17
    TRADE_ADJUSTED = 18
    TRADE_SPREAD = 19
    TRADE_STRADDLE = 20
    TRADE_STOPPED = 21
    TRADE_BUNCHED = 22
    TRADE_BUNCHED_SOLD = 23
    TRADE_VOLUME_ONLY = 24
    TRADE_FUTURE_TRADE = 25
    TRADE_PREMIUM = 26
    TRADE_MID_PRICE = 27
    TRADE_SETTLEMENT = 28
    TRADE_FORM_T = 29
    TRADE_LATE_OPEN = 30
    TRADE_AUTO_EXECUTE = 31
    TRADE_INTRADAY_DETAIL = 32
    TRADE_OPENING_DETAIL = 33
    TRADE_RULE_127 = 34
    TRADE_OVERNIGHT_TRADE = 35
    TRADE_DELAYED_TRADE = 36
    TRADE_AGENCY_CROSS = 37
    TRADE_CROSS_FORWARD = 38
    TRADE_FAST_MARKET = 39
    TRADE_OPEN_INTEREST = 40
    TRADE_OPEN_PRICE = 41
    TRADE_HIGH_PRICE = 42
    TRADE_LOW_PRICE = 43
    TRADE_SPOT_PRICE = 44
    TRADE_INTERMARKET_SWEEP = 45
    TRADE_LAST_SALE_TELEKURS = 46
    TRADE_EX_DIVIDEND = 47
    TRADE_OPTION_INIT = 48
    TRADE_CLOSE_PRICE = 49
    TRADE_SUMMARY_PRICE = 50
    TRADE_YESTERDAY_PRICE = 51
    TRADE_COMBO = 52
    TRADE_AVERAGE_PRICE = 53
    TRADE_BURST_BASKET = 54
    TRADE_BASKET_INDEX_CLOSE = 55
    TRADE_ODD_LOT = 56
    QUOTE_REGULAR = 100
    QUOTE_OFFER_DEPTH = 101
    QUOTE_OPENING = 104
    QUOTE_CLOSING = 105
    QUOTE_NEWS_DISTRIBUTION = 106
    QUOTE_FAST_MARKET = 107
    QUOTE_NON_FIRM = 110
    QUOTE_NEWS_PENDING = 111
    QUOTE_DUE_TO_RELATED = 112
    QUOTE_ORDER_IMBALANCE = 114
    QUOTE_NO_OPEN_RESUME = 115
    QUOTE_HALTED = 128
    QUOTE_SUSPENDED = 136
    QUOTE_OUT_OF_SEQUENCE = 137
    QUOTE_RESTRICTED = 138
    QUOTE_REQUEST = 149
    QUOTE_RESUME = 150
    QUOTE_TRADE_RESUME = 151


class ConnectionState(enum.IntEnum):
    ILLEGAL = -1
    DISCONNECTED = 0
    CONNECTING = 1
    CONNECTED = 2
    LOGGING_IN = 3
    LOGGED_IN = 4
    INDETERMINATE = 5


class EventKind(enum.IntEnum):
    """What a ConnectionEvent reports."""
    CONNECT = 0         # code 0: connected; else the system's error number of a failed attempt
    CLOSE = 1           # the connection closed; the library reconnects and resubscribes
    LOGON_SUCCEED = 2
    NOTICE = 3          # the server ended the session (logged in elsewhere); text says why


class Quote(NamedTuple):
    """A level 1 record: the symbol's whole merged quote after an update."""
    symbol: str
    market: str
    company: str
    underlier: str
    last: float
    bid: float
    ask: float
    prev_close: float
    high: float
    low: float
    open: float
    margin_mult: float
    strike_price: float
    bid_size: int
    ask_size: int
    last_size: int
    volume: int
    flags: int
    contract_size: int
    exp_month: int
    exp_year: int
    time: Optional[datetime]  # UTC; None when the server sent none
    tick: Tick
    put_call: PutCall
    neg_borrow_pct: float


class Level2(NamedTuple):
    """One market maker's quote on one side of a symbol's book."""
    symbol: str
    mmid: str
    source: str
    size: int
    price: float
    side: MarketSide
    closed: bool
    time: Optional[datetime]


class Print(NamedTuple):
    """A time and sales print: a trade, or a bid or ask tick. ``tick`` is as the library passes
    it on: the server's direction code (20020 up, 20021 down) where that is not a Tick."""
    symbol: str
    exchange: str
    price: float
    size: int
    print_type: int
    time: Optional[datetime]
    type: TickType
    status: TickStatus
    condition: TickCondition
    tick: Union[Tick, int]


class Option(NamedTuple):
    """An options record of an underlying's chain."""
    symbol: str
    underlier: str
    last: float
    bid: float
    ask: float
    prev_close: float
    high: float
    low: float
    open: float
    strike_price: float
    bid_size: int
    ask_size: int
    last_size: int
    volume: int
    exp_month: int
    exp_year: int
    open_interest: int
    time: Optional[datetime]
    tick: Tick
    put_call: PutCall


class ConnectionEvent(NamedTuple):
    kind: EventKind
    code: int
    time: Optional[datetime]  # when the binding heard of it (UTC)
    text: str


_native._configure(Quote=Quote, Level2=Level2, Print=Print, Option=Option,
                   ConnectionEvent=ConnectionEvent, Tick=Tick, PutCall=PutCall,
                   MarketSide=MarketSide, TickType=TickType, TickStatus=TickStatus,
                   TickCondition=TickCondition, EventKind=EventKind)

_LEVEL_ONE, _LEVEL_TWO, _TIME_AND_SALES, _OPTIONS = 1, 2, 4, 8

R = TypeVar("R")


class AsyncStream(Generic[R]):
    """A stream as an async iterator. It waits on the running loop's reader for the stream's
    descriptor, so no thread and no polling is involved."""

    def __init__(self, stream: "Stream[R]") -> None:
        self._stream = stream

    def __aiter__(self) -> "AsyncStream[R]":
        return self

    async def __anext__(self) -> R:
        loop = asyncio.get_running_loop()
        while True:
            try:
                record = self._stream.try_next()
            except StopIteration:
                raise StopAsyncIteration from None
            if record is not None:
                return record
            ready = loop.create_future()
            fd = self._stream.fileno()
            loop.add_reader(fd, lambda: ready.done() or ready.set_result(None))
            try:
                await asyncio.wait_for(ready, self._stream.remaining)
            except asyncio.TimeoutError:
                pass  # the next try_next ends the stream
            finally:
                loop.remove_reader(fd)

    @property
    def stats(self) -> Dict[str, int]:
        return self._stream.stats

    def close(self) -> None:
        self._stream.close()

    async def __aenter__(self) -> "AsyncStream[R]":
        return self

    async def __aexit__(self, *exc: Any) -> None:
        self.close()


_live_sessions: "weakref.WeakSet[Session]" = weakref.WeakSet()


@atexit.register
def _close_live_sessions() -> None:
    # Streams still iterated by daemon threads end, and the binding's threads are joined, while
    # the interpreter is still whole.
    for session in list(_live_sessions):
        session.close()


def _check_none_open() -> None:
    for session in list(_live_sessions):
        raise VokQuoteError(f"a session is open in this process ({session.server}); close it first: "
                            "the library serves one connection per process")


def _symbol_list(symbols: Union[str, Iterable[str]]) -> list:
    return [symbols] if isinstance(symbols, str) else list(symbols)


class Session:
    """One connection to a quote server, logged on when the constructor returns.

    ``server`` is "host:port". The password is given as ``password``, read from the first line of
    ``password_file``, or taken from the environment variable VOKQUOTE_PASSWORD. Raises
    ConnectError when the server cannot be reached or does not answer the logon within
    ``connect_timeout`` seconds, LogonRefused when it refuses the user. Each stream keeps at most
    ``queue_size`` records waiting (see the package's description for what happens beyond).
    ``on_event`` is called with every ConnectionEvent on a thread of the session's own.
    TLS follows the per-user settings of the library (UseTls, TlsCaFile, TlsPinnedCertificate).
    Use it as a context manager, or call close().

    The library serves one connection per process, so one Session may be open at a time; opening
    another raises VokQuoteError.
    """

    def __init__(self, server: str, user: str = "", password: Optional[str] = None, *,
                 password_file: Optional[str] = None, connect_timeout: float = 10.0,
                 queue_size: int = 65536,
                 on_event: Optional[Callable[[ConnectionEvent], Any]] = None) -> None:
        host, sep, port = server.rpartition(":")
        if not sep or not host or not port.isdigit() or not 0 < int(port) < 65536:
            raise ValueError(f"server must be host:port, not {server!r}")
        if password is not None and password_file is not None:
            raise ValueError("give password or password_file, not both")
        if password_file is not None:
            with open(password_file, encoding="utf-8") as f:
                password = f.readline().rstrip("\r\n")
        if password is None:
            password = os.environ.get("VOKQUOTE_PASSWORD", "")
        if queue_size < 1:
            raise ValueError("queue_size must be at least 1")
        _check_none_open()
        self.server = server
        self.user = user
        self._simulator: Optional[_native.Simulator] = None
        self._event_thread: Optional[threading.Thread] = None
        self._native = _native.Session()
        _live_sessions.add(self)
        if on_event is not None:
            events = self._native.events(None)  # before connecting, so no event is missed
            self._event_thread = threading.Thread(target=_dispatch_events, args=(events, on_event),
                                                  name="vokquote-events", daemon=True)
            self._event_thread.start()
        try:
            self._native.open(server, user, password, queue_size)
            outcome, code = self._native.wait_for_logon(connect_timeout)
        except BaseException:
            self.close()
            raise
        if outcome != "logged_on":
            self.close()
            if outcome == "connect_failed":
                raise ConnectError(f"cannot connect to {server}: {os.strerror(code)}", code)
            if outcome == "refused":
                raise LogonRefused(f"the server at {server} closed the connection during logon: "
                                   f"user {user!r} or the password was refused")
            raise ConnectError(f"no logon at {server} within {connect_timeout:g} s")

    @classmethod
    def simulated(cls, seed: int = 1, rate: int = 1, *, flood: bool = False,
                  users: Optional[Dict[str, str]] = None, user: str = "python", password: str = "",
                  **options: Any) -> "Session":
        """A session with the built-in simulator, started in this process on a loopback port.

        ``seed`` makes the simulated market (the same seed, the same values); ``rate`` is updates
        per second per symbol and service; ``flood`` sends level 1 at full speed. With ``users``
        (name -> password) only those users may log on. Other options are Session's."""
        _check_none_open()
        simulator = _native.Simulator(seed, rate, flood, dict(users or {}))
        try:
            session = cls(f"127.0.0.1:{simulator.port}", user, password, **options)
        except BaseException:
            simulator.stop()
            raise
        session._simulator = simulator
        return session

    def quotes(self, symbols: Union[str, Iterable[str]], count: Optional[int] = None,
               timeout: Optional[float] = None) -> "Stream[Quote]":
        """Level 1 records of the symbols: each symbol's snapshot, then every update.

        The iteration ends after ``count`` records or ``timeout`` seconds, or when the session
        closes; Ctrl-C interrupts it. Raises ValueError for a symbol the library refuses."""
        return self._native.subscribe(_symbol_list(symbols), _LEVEL_ONE, count, timeout)

    def book(self, symbol: str, count: Optional[int] = None,
             timeout: Optional[float] = None) -> "Stream[Level2]":
        """Level 2 records of one symbol: every market maker's bid and ask as they change."""
        return self._native.subscribe([symbol], _LEVEL_TWO, count, timeout)

    def tape(self, symbols: Union[str, Iterable[str]], count: Optional[int] = None,
             timeout: Optional[float] = None) -> "Stream[Print]":
        """Time and sales prints of the symbols."""
        return self._native.subscribe(_symbol_list(symbols), _TIME_AND_SALES, count, timeout)

    def chain(self, underlying: str, count: Optional[int] = None,
              timeout: Optional[float] = None) -> "Stream[Option]":
        """Options records of an underlying's chain."""
        return self._native.subscribe([underlying], _OPTIONS, count, timeout)

    def aquotes(self, symbols: Union[str, Iterable[str]], count: Optional[int] = None,
                timeout: Optional[float] = None) -> AsyncStream[Quote]:
        return AsyncStream(self.quotes(symbols, count, timeout))

    def abook(self, symbol: str, count: Optional[int] = None,
              timeout: Optional[float] = None) -> AsyncStream[Level2]:
        return AsyncStream(self.book(symbol, count, timeout))

    def atape(self, symbols: Union[str, Iterable[str]], count: Optional[int] = None,
              timeout: Optional[float] = None) -> AsyncStream[Print]:
        return AsyncStream(self.tape(symbols, count, timeout))

    def achain(self, underlying: str, count: Optional[int] = None,
               timeout: Optional[float] = None) -> AsyncStream[Option]:
        return AsyncStream(self.chain(underlying, count, timeout))

    def events(self, timeout: Optional[float] = None) -> "Stream[ConnectionEvent]":
        """Connection events from now on, until the session closes or ``timeout`` seconds pass."""
        return self._native.events(timeout)

    def cached_quote(self, symbol: str) -> Optional[Quote]:
        """The library's cached level 1 record of a subscribed symbol, or None."""
        return self._native.cached_quote(symbol)

    def cached_option(self, symbol: str) -> Optional[Option]:
        """The cached options record of an option symbol of a subscribed chain, or None."""
        return self._native.cached_option(symbol)

    def aggregate_size(self, symbol: str, price: float, side: MarketSide) -> int:
        """The cached level 2 size of all market makers at a price and side."""
        return self._native.aggregate_size(symbol, price, int(side))

    def single_quote(self, symbol: str, timeout: float = 3.0) -> Quote:
        """One level 1 record of the symbol. Raises TimeoutError when none arrives in time."""
        quote = self._native.single_quote(symbol, timeout)
        if quote is None:
            raise TimeoutError(f"no quote for {symbol} within {timeout:g} s")
        return quote

    @property
    def state(self) -> ConnectionState:
        return ConnectionState(self._native.state)

    @property
    def server_name(self) -> str:
        """The name the server gave at logon."""
        return self._native.server_name

    def close(self) -> None:
        """Ends every stream, disconnects and stops the built-in simulator. Idempotent."""
        self._native.close()
        if self._simulator is not None:
            self._simulator.stop()
        thread = self._event_thread
        if thread is not None and thread is not threading.current_thread():
            thread.join(5.0)
        _live_sessions.discard(self)

    def __del__(self) -> None:
        # A session dropped unclosed still lets go of its connection: its streams and the event
        # thread would otherwise keep the native session connected.
        try:
            self.close()
        except Exception:
            pass

    def __enter__(self) -> "Session":
        return self

    def __exit__(self, *exc: Any) -> None:
        self.close()

    def __repr__(self) -> str:
        return f"<vokquote.Session {self.server} user={self.user!r} {self.state.name}>"


def _dispatch_events(events: "Stream[ConnectionEvent]",
                     callback: Callable[[ConnectionEvent], Any]) -> None:
    for event in events:
        try:
            callback(event)
        except Exception:  # a failing callback must not end the others
            traceback.print_exc()


def to_records(records: Iterable[NamedTuple]) -> Iterator[Dict[str, Any]]:
    """Plain dicts of records (for example for pandas.DataFrame); enumerations by name."""
    for record in records:
        row = record._asdict()
        for key, value in row.items():
            if isinstance(value, enum.Enum):
                row[key] = value.name
        yield row
