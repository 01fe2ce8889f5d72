#!/usr/bin/env python3
"""Two streams at once on one asyncio loop: level 1 quotes and the time and sales tape.

    PYTHONPATH=build/linux/python python3 examples/python/async_quotes.py
"""
import asyncio

import vokquote


async def show_quotes(session: vokquote.Session) -> None:
    async for q in session.aquotes(["MSFT", "IBM"], timeout=5):
        print(f"quote {q.symbol:<5} {q.bid:.2f} / {q.ask:.2f}")


async def show_tape(session: vokquote.Session) -> None:
    async for p in session.atape("MSFT", timeout=5):
        print(f"print {p.symbol:<5} {p.type.name:<5} {p.price:.2f} x {p.size} on {p.exchange}")


async def main() -> None:
    with vokquote.Session.simulated(seed=3, rate=2) as session:
        await asyncio.gather(show_quotes(session), show_tape(session))


if __name__ == "__main__":
    asyncio.run(main())
