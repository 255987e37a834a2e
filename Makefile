# SPDX-License-Identifier: Zlib
# Two entry points, both of which install missing Debian packages first:
#   make run   - build the game and start it
#   make test  - build with AddressSanitizer + UndefinedBehaviorSanitizer and run every test
# and a few more:
#   make package     - the Debian package of the release build ($(BUILD)/bramble_*.deb)
#   make screenshots - play one run headless and overwrite docs/screenshots/*.png (about 3 minutes)
#   make windows     - the game for Windows, cross-built: $(WINDOWS_BUILD)/game/bramble.exe with
#                      asset/ and res/ beside it, $(WINDOWS_BUILD)/bramble-<version>-windows-x64.zip
#                      and its installer $(WINDOWS_BUILD)/bramble-<version>-windows-x64-setup.exe
#   make web         - the browser build: a static site in build-web/site/
#   make serve-web   - serve that site on http://127.0.0.1:8080/, to this computer only (other
#                      devices need https for the microphone: README, "Hosting the browser game")
#   make release     - every artefact, versioned, from clean build folders into dist/
#                      with SHA256SUMS (scripts/release.sh)
#   make release-check - builds the release twice, here and in another folder, and
#                      compares the bytes (scripts/release-check.sh; CI runs it)
BUILD      ?= build
TEST_BUILD ?= build-test
WINDOWS_BUILD ?= build-windows
JOBS       ?= $(shell nproc)
DEPS_GROUPS := run test bench screenshots windows web release

.PHONY: run test deps build bench clean package screenshots windows web serve-web release \
        release-check

# Each entry point installs the Debian packages of its own group (scripts/deps.sh):
# `make run` the game's build only, `make test` everything its tests use. `make deps`
# installs every group.
deps:
	@bash scripts/deps.sh
.PHONY: $(addprefix deps-,$(DEPS_GROUPS))
$(addprefix deps-,$(DEPS_GROUPS)): deps-%:
	@bash scripts/deps.sh $*

build: deps-run
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DBRAMBLE_TESTS=OFF -DBRAMBLE_BENCH=OFF
	cmake --build $(BUILD) -j $(JOBS)

run: build
	@if [ -x $(BUILD)/game/bramble ]; then exec $(BUILD)/game/bramble; \
	else echo "the game is not built yet: only the engine and its tests exist"; fi

# The test build is the `dev` preset of CMakePresets.json (Debug, sanitizers,
# warnings as errors), the same one an IDE opens with `cmake --preset dev`.
test: deps-test
	cmake --preset dev -B $(TEST_BUILD)
	cmake --build $(TEST_BUILD) -j $(JOBS)
	cd $(TEST_BUILD) && ctest --output-on-failure -j $(JOBS)

# make bench - build build-perf/ (Release) and run every benchmark (frame cost,
# pacing, start-up, memory, heap calls, the peer program, the micro-benchmarks);
# writes the figures into docs/performance.md. About 40 minutes; wants a quiet machine.
bench: deps-bench
	cmake -S . -B build-perf -DCMAKE_BUILD_TYPE=Release -DBRAMBLE_TESTS=OFF -DBRAMBLE_BENCH=ON
	cmake --build build-perf -j $(JOBS)
	bash bench/run.sh build-perf

package: build
	cmake --build $(BUILD) --target package

screenshots: build deps-screenshots
	bash tools/screenshots.sh $(BUILD) docs/screenshots

# The two cross builds share one native tree for the asset generators (build-host/:
# they are build-host programs) and one cache of Debian's SDL2 and SDL2_mixer
# sources (build-sdl/). The first run of each builds SDL for its target there
# (minutes, once).
windows: deps-windows
	JOBS=$(JOBS) bash scripts/windows-build.sh $(WINDOWS_BUILD)

web: deps-web
	WEB_JOBS=$(JOBS) bash web/build.sh build-web

serve-web: web
	node web/serve.js build-web/site

release: deps-release
	JOBS=$(JOBS) bash scripts/release.sh dist

release-check: deps-release
	JOBS=$(JOBS) bash scripts/release-check.sh

clean:
	rm -rf $(BUILD) $(TEST_BUILD) build-perf $(WINDOWS_BUILD) build-web build-host build-sdl \
	  build-linux build-dist dist
