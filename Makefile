# The two commands: `make demo` (the live quote view against the built-in simulator) and
# `make test` (every build and test this machine allows). Each installs the missing Debian packages
# it needs when run as root: the Linux build needs only the native tool chain; `make test` adds the
# Windows cross compilers, Wine and clang.
.PHONY: all deps deps-test deps-fuzz test demo fuzz bench install dist clean

PREFIX ?= /usr/local

FUZZ_SECONDS ?= 30

all: deps
	cmake --preset linux && cmake --build --preset linux

deps:
	@scripts/install-deps.sh build

deps-fuzz:
	@scripts/install-deps.sh fuzz

deps-test:
	@scripts/install-deps.sh test

test: deps-test
	FUZZ_SECONDS=$(FUZZ_SECONDS) scripts/test-all.sh

DEMO_SYMBOLS ?= MSFT IBM AAPL XYZ GOOG

# The live level 1 board on this terminal, fed by the simulator built into vokquote (q or Ctrl-C ends it).
demo: deps
	cmake --preset linux && cmake --build --preset linux --target vokquote_cli
	build/linux/tools/vokquote/vokquote watch $(DEMO_SYMBOLS)

fuzz: deps-fuzz
	cmake --preset linux-fuzz && cmake --build --preset linux-fuzz
	@for t in build/linux-fuzz/fuzz/fuzz_*; do mkdir -p build/fuzz-corpus/$$(basename $$t); \
	  echo "== $$t"; $$t -max_total_time=$(FUZZ_SECONDS) build/fuzz-corpus/$$(basename $$t) || exit 1; done

bench: all
	@for b in build/linux/bench/*_bench; do echo "== $$b"; $$b --benchmark_repetitions=5 \
	  --benchmark_report_aggregates_only=true || exit 1; done

# The library, its headers and package files, and the two tools under PREFIX.
install: all
	cmake --install build/linux --prefix $(PREFIX)

# dist/vokquote-<version>-windows.zip: the release DLLs (x86, x64), type libraries, examples, README-windows.md.
dist: deps-test
	scripts/dist.sh

clean:
	rm -rf build
