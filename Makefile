# The two commands a fresh machine needs: `make run` and `make test`.
BUILD ?= build
CMAKE_FLAGS ?= -DCMAKE_BUILD_TYPE=RelWithDebInfo
PREFIX ?= /usr/local
WINBUILD ?= build-windows

.PHONY: deps configure build run test bench format install package windows test-windows msi

deps:
	@bash scripts/install-deps.sh

configure: deps
	@cmake -S . -B $(BUILD) -G Ninja $(CMAKE_FLAGS) >/dev/null

build: configure
	@cmake --build $(BUILD)

run: build
	@if [ -z "$${DISPLAY:-}" ] && [ -z "$${WAYLAND_DISPLAY:-}" ] && [ -z "$${QT_QPA_PLATFORM:-}" ]; then \
	    echo "No display: TarselCopyFile needs a desktop session (DISPLAY or WAYLAND_DISPLAY)."; \
	    echo "Run it from a desktop terminal, or under a virtual display: apt-get install xvfb; xvfb-run make run"; \
	    exit 1; \
	fi
	@./$(BUILD)/TarselCopyFile

test: build
	@cd $(BUILD) && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j2

install: build
	@cmake --install $(BUILD) --prefix $(PREFIX)

# The .deb lands in $(BUILD)/.
package: build
	@cmake --build $(BUILD) --target package

bench: build
	@QT_QPA_PLATFORM=offscreen ./$(BUILD)/bench/tarsel_bench $(BENCH_ARGS)

format:
	@git ls-files '*.cpp' '*.h' | xargs clang-format -i

# Windows: cross-built with mingw-w64 against Qt and libsodium cross-built once per machine (cached
# outside the clone), laid out in $(WINBUILD)/dist, tested under Wine.
windows:
	@bash scripts/install-deps.sh windows
	@sodium=$$(bash scripts/build-libsodium-mingw.sh | tail -n 1) && \
	    qt=$$(bash scripts/build-qt-mingw.sh | tail -n 1) && \
	    cmake -S . -B $(WINBUILD) -G Ninja -DCMAKE_BUILD_TYPE=Release \
	        -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake -DTARSEL_QT_PREFIX=$$qt \
	        -DTARSEL_SODIUM_PREFIX=$$sodium \
	        -DQT_HOST_PATH=/usr -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake >/dev/null
	@cmake --build $(WINBUILD)

# TarselCopyFile-<version>-x64.msi and .zip in $(WINBUILD)/; signed with SIGN_PFX=FILE (PKCS#12)
# SIGN_PASSWORD_FILE=FILE, time-stamped with SIGN_TIMESTAMP=URL; HELP_LINK=URL is the help link of
# its entry in Apps & features.
msi: windows
	@SIGN_PFX="$(if $(SIGN_PFX),$(abspath $(SIGN_PFX)))" \
	    SIGN_PASSWORD_FILE="$(if $(SIGN_PASSWORD_FILE),$(abspath $(SIGN_PASSWORD_FILE)))" \
	    SIGN_TIMESTAMP="$(SIGN_TIMESTAMP)" HELP_LINK="$(HELP_LINK)" cmake --build $(WINBUILD) --target msi

test-windows: windows
	@bash scripts/test-windows.sh $(WINBUILD)
