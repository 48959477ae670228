# The two commands of the README, and a few more for developers.
#   make run    install what is missing, build, build the catalogue tables, start Pellomar
#   make test   install what is missing, build with the sanitizers, run every test (ctest)
#   make bench  build optimised and run the benchmarks
#   make soak   the long stress and fuzz runs that make test keeps short
#   make package  build optimised, then the Debian package in $(BUILD)/, checked by lintian

BUILD      ?= build
TEST_BUILD ?= build-test
JOBS       ?= $(shell nproc)

.PHONY: run test deps build build-test bench soak package clean

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

clean:
	rm -rf $(BUILD) $(TEST_BUILD)
