# The two commands a fresh Debian machine needs: `make run` and `make test`.
BUILD_DIR ?= build
JOBS ?= $(shell nproc)
# More options for a fresh configure: `make test CMAKE_FLAGS=-DMOK_WERROR=ON`.
CMAKE_FLAGS ?=

.PHONY: run test build bench bootstrap install deb clean

bootstrap:
	@scripts/bootstrap

$(BUILD_DIR)/CMakeCache.txt: | bootstrap
	cmake -S . -B $(BUILD_DIR) -DCMAKE_BUILD_TYPE=Release $(CMAKE_FLAGS)

build: bootstrap $(BUILD_DIR)/CMakeCache.txt
	cmake --build $(BUILD_DIR) -j $(JOBS)

run: build
	$(BUILD_DIR)/mok

test: build
	cd $(BUILD_DIR) && ctest --output-on-failure -j $(JOBS)

# Installs under PREFIX (default /usr/local): `make install PREFIX=$HOME/.local`.
PREFIX ?= /usr/local
install: build
	cmake --install $(BUILD_DIR) --prefix "$(PREFIX)"

# The Debian package, dist/mok_<version>-<revision>_<arch>.deb
# (DEB_BUILD_OPTIONS=nocheck: without running the tests).
deb:
	JOBS=$(JOBS) scripts/build-deb

bench: build
	$(BUILD_DIR)/bench/mok_bench

clean:
	rm -rf $(BUILD_DIR) build-deb
