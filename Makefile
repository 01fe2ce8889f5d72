# The two commands: `make demo` (the live quote view against the built-in simulator) and
# `make test` (every build and test this machine allows). Both install missing Debian packages
# when run as root.
.PHONY: all deps test demo fuzz bench clean

FUZZ_SECONDS ?= 30

all: deps
	cmake --preset linux && cmake --build --preset linux

deps:
	@scripts/install-deps.sh

test: deps
	FUZZ_SECONDS=$(FUZZ_SECONDS) scripts/test-all.sh

DEMO_SYMBOLS ?= MSFT IBM AAPL XYZ GOOG

# The live level 1 board on this terminal, fed by the simulator built into vokquote (q or Ctrl-C ends it).
demo: deps
	cmake --preset linux && cmake --build --preset linux --target vokquote_cli
	build/linux/tools/vokquote/vokquote watch $(DEMO_SYMBOLS)

fuzz: deps
	cmake --preset linux-fuzz && cmake --build --preset linux-fuzz
	@for t in build/linux-fuzz/fuzz/fuzz_*; do mkdir -p build/fuzz-corpus/$$(basename $$t); \
	  echo "== $$t"; $$t -max_total_time=$(FUZZ_SECONDS) build/fuzz-corpus/$$(basename $$t) || exit 1; done

bench: all
	@for b in build/linux/bench/*_bench; do echo "== $$b"; $$b --benchmark_repetitions=5 \
	  --benchmark_report_aggregates_only=true || exit 1; done

# dist/vokquote-<version>-windows.zip: the release DLLs (x86, x64), type libraries, examples, README-windows.md.
.PHONY: dist
dist: deps
	scripts/dist.sh

clean:
	rm -rf build
