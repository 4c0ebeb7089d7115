# make        build the controller (optimised)
# make run    build and start sign-controller with its defaults
# make test   install what is missing, build with sanitizers, run every test
# make bench  build and run the benchmarks (optimised)

PACKAGES := cmake ninja-build g++ googletest libgtest-dev libgmock-dev zlib1g-dev libmd-dev libbenchmark-dev snmp snmptrapd telnet tzdata xz-utils python3 iproute2 dnsmasq-base socat tshark chrony faketime chromium chromium-driver python3-selenium libncurses-dev tmux liblwip-dev iputils-ping
JOBS ?= $(shell nproc)
RUN_ARGS ?=

.PHONY: all build run test bench deps clean

all: build

build: deps
	cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DBUILD_TESTS=OFF -DBUILD_BENCH=ON >/dev/null
	cmake --build build/release -j $(JOBS)

run: build
	./build/release/sign-controller $(RUN_ARGS)

deps:
	@missing=""; for p in $(PACKAGES); do \
	  dpkg-query -W -f='$${Status}' $$p 2>/dev/null | grep -q 'install ok installed' || missing="$$missing $$p"; \
	done; \
	if [ -n "$$missing" ]; then \
	  echo "installing:$$missing"; \
	  SUDO=$$( [ "$$(id -u)" = 0 ] || echo sudo ); \
	  $$SUDO apt-get update && DEBIAN_FRONTEND=noninteractive $$SUDO apt-get install -y $$missing; \
	fi

test: deps
	cmake -S . -B build/test -G Ninja -DCMAKE_BUILD_TYPE=Debug -DSANITIZE=ON -DBUILD_TESTS=ON >/dev/null
	cmake --build build/test -j $(JOBS)
	cd build/test && ctest -j $(JOBS) --output-on-failure --timeout 300

bench: build
	@$(MAKE) --no-print-directory deps PACKAGES=snmpd # the reference agent of the SNMP load benchmark
	@for b in build/release/bench_*; do echo "== $$b"; $$b; done

clean:
	rm -rf build
