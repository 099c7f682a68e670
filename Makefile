# The two everyday commands:
#   make run   build, then serve the bundled site on port 8080 (Ctrl+C stops it)
#   make test  build, then run every test
#   make cluster  a private Redis and three linked nodes on 8080, 8090, 8100
BUILD      ?= build
JOBS       ?= $(shell nproc)
RUN_DIR    ?= run

.PHONY: all build run cluster test test-asan test-tsan fuzz bench deps clean

all: build

# Installs what a fresh machine lacks: Debian packages (the browser tests
# need Chromium, Node.js and a font with Chinese glyphs; the one behind a
# proxy needs nginx-light and openssl for its certificate), then the browser
# tests' npm package.
deps:
	@missing=""; \
	command -v cmake >/dev/null || missing="$$missing cmake"; \
	command -v g++ >/dev/null || missing="$$missing g++"; \
	test -f /usr/include/gtest/gtest.h || missing="$$missing libgtest-dev"; \
	test -f /usr/include/sodium.h || missing="$$missing libsodium-dev"; \
	test -f /usr/include/hiredis/hiredis.h || missing="$$missing libhiredis-dev"; \
	test -f /usr/include/liburing.h || missing="$$missing liburing-dev"; \
	command -v redis-server >/dev/null || missing="$$missing redis-server"; \
	command -v pkg-config >/dev/null || missing="$$missing pkg-config"; \
	command -v chromium >/dev/null || missing="$$missing chromium"; \
	command -v node >/dev/null || missing="$$missing nodejs npm"; \
	fc-list 2>/dev/null | grep -qi wqy || missing="$$missing fonts-wqy-microhei"; \
	command -v nginx >/dev/null || test -x /usr/sbin/nginx || missing="$$missing nginx-light"; \
	command -v openssl >/dev/null || missing="$$missing openssl"; \
	if [ -n "$$missing" ]; then \
	  echo "installing:$$missing"; \
	  apt-get update -qq && DEBIAN_FRONTEND=noninteractive apt-get install -y -qq $$missing; \
	fi
	@test -d tests/browser/node_modules/playwright-core || \
	  (cd tests/browser && npm ci --no-audit --no-fund --loglevel=error)

build: deps
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo $(CMAKE_EXTRA) >/dev/null
	cmake --build $(BUILD) -j $(JOBS)

# The server runs in a git-ignored working directory seeded from site/, so it
# never writes into tracked files; accounts and logs stay there between runs.
# Until the super manager ([general] ManagerName) has a password, which no
# page can give him, one line says how the operator sets it.
run: build
	mkdir -p $(RUN_DIR)
	cp -r site/. $(RUN_DIR)/
	@chief=$$(sed -n 's/^ManagerName *= *\([^ ;]*\).*/\1/p' $(RUN_DIR)/tolvann2.ini | tail -n 1); \
	  test -z "$$chief" || test -f "$(RUN_DIR)/users/$$(echo "$$chief" | tr A-Z a-z)" || \
	  echo "The super manager $$chief has no password yet; set it with: cd $(RUN_DIR) && ../$(BUILD)/tolvanss -password $$chief"
	cd $(RUN_DIR) && ../$(BUILD)/tolvanss -debug

# Three nodes linked over a private redis-server (port 6390, data kept in
# run-cluster/redis), each in its own copy of site/ (docs/cluster.md).
cluster: build
	tools/cluster.sh $(BUILD)/tolvanss site run-cluster

test: build
	cd $(BUILD) && ctest --output-on-failure -j 2

test-asan:
	$(MAKE) test BUILD=build-asan CMAKE_EXTRA=-DTOLVAN_SANITIZE=address

test-tsan:
	$(MAKE) test BUILD=build-tsan CMAKE_EXTRA=-DTOLVAN_SANITIZE=thread

# Every fuzz target under ASan and UBSan for FUZZ_SECONDS each (default 600);
# see fuzz/run.sh.
FUZZ_SECONDS ?= 600
fuzz:
	@command -v clang++ >/dev/null || (apt-get update -qq && \
	  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq clang libclang-rt-14-dev)
	FUZZ_SECONDS=$(FUZZ_SECONDS) fuzz/run.sh

# Benchmarks beside their peers (bench/README.md); BENCH_ARGS picks sections
# or --small, e.g. make bench BENCH_ARGS="--small http".
bench: build
	BUILD=$(BUILD) bench/run.sh $(BENCH_ARGS)

clean:
	rm -rf build build-asan build-tsan build-fuzz
