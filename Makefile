# The two commands of the README, and a few more for developers.
#   make run    install what is missing, build, build the catalogue tables, start Pellomar
#   make test   install what is missing, build with the sanitizers, run every test (ctest)
#   make bench  build optimised and run the benchmarks
#   make soak   the long stress and fuzz runs that make test keeps short
#   make package  build optimised, then the Debian package in $(BUILD)/, checked by lintian
#   make million  a synthetic catalogue of a million films, CSV and tables, in $(MILLION)/
#   make startup-bench-million  the start-up benchmark on that catalogue (made first if missing)
#   make shell-bench  the application's statements, quarry shell beside sqlite3 shell, whole processes

BUILD      ?= build
TEST_BUILD ?= build-test
JOBS       ?= $(shell nproc)

# The real catalogue that benchmarks use and that the synthetic one is recombined from.
SHARED_CATALOGUE ?= $(if $(wildcard ../shared/catalogue/videos.csv),../shared/catalogue,catalogue)
MILLION          ?= $(BUILD)/million
MILLION_FILMS    ?= 1000000
MILLION_SEED     ?= 1
# The shell benchmark's catalogue: its tables and the CSV files they were built from.
SHELL_BENCH_CSV    ?= $(SHARED_CATALOGUE)
SHELL_BENCH_TABLES ?= $(BUILD)/shared-catalogue
SHELL_BENCH_RUNS   ?= 11

.PHONY: run test deps build build-test bench soak package clean configure million startup-bench-million shell-bench

deps:
	@bash scripts/install-deps.sh

build: deps
	cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
	cmake --build $(BUILD) -j $(JOBS)

run: build
	cd $(BUILD)/bin && ./Pellomar

build-test: deps
	cmake -S . -B $(TEST_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Debug -DPELLOMAR_SANITIZE=ON \
	      -DCMAKE_CXX_FLAGS_DEBUG="-O1 -g1"
	cmake --build $(TEST_BUILD) -j $(JOBS)

test: build-test
	cd $(TEST_BUILD) && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j $(JOBS)

bench: build
	@for b in $(BUILD)/bench/*_bench; do [ -x "$$b" ] && "$$b" || exit 1; done

soak: build-test
	cd $(TEST_BUILD) && PELLOMAR_SOAK=1 QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j $(JOBS)

package: build
	cd $(BUILD) && cpack -G DEB
	lintian --fail-on error $(BUILD)/pellomar_*.deb

configure: deps
	cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo

# The CSV files in $(MILLION)/csv, the five tables beside them in $(MILLION).
million: configure
	cmake --build $(BUILD) -j $(JOBS) --target catalogue_generator catalogue_builder
	$(BUILD)/bin/catalogue_generator $(SHARED_CATALOGUE) $(MILLION_FILMS) $(MILLION)/csv --seed $(MILLION_SEED)
	$(BUILD)/bin/pellomar-catalogue $(MILLION)/csv $(MILLION)

startup-bench-million: configure
	@[ -f $(MILLION)/VIDEOS.DAT ] || $(MAKE) million
	cmake --build $(BUILD) -j $(JOBS) --target startup_bench
	$(BUILD)/bench/startup_bench $(MILLION)

# The tables are (re)built when they are older than the CSV files.
shell-bench: configure
	cmake --build $(BUILD) -j $(JOBS) --target quarry catalogue_builder
	@[ $(SHELL_BENCH_TABLES)/VIDEOS.DAT -nt $(SHELL_BENCH_CSV)/videos.csv ] || \
	  $(BUILD)/bin/pellomar-catalogue $(SHELL_BENCH_CSV) $(SHELL_BENCH_TABLES)
	python3 bench/shell_bench.py --quarry $(BUILD)/bin/quarry --tables $(SHELL_BENCH_TABLES) \
	  --csv $(SHELL_BENCH_CSV) --runs $(SHELL_BENCH_RUNS)

clean:
	rm -rf $(BUILD) $(TEST_BUILD)
