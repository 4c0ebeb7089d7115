# make        build the controller and its tools (optimised)
# make run    build the controller alone and start it (every port plus PORT_OFFSET)
# make test   install what is missing (the test peers too), build with sanitizers, run every test
# make bench  build and run the benchmarks (optimised)

# What building and running the sign needs.
BUILD_PACKAGES := cmake ninja-build g++ zlib1g-dev libmd-dev liblwip-dev libncurses-dev
# What only the tests need: the test framework and the programs the tests
# drive as the sign's peers. snmptrapd (its socket on UDP 162) and chrony (it
# replaces the host's time daemon) start host services when installed.
TEST_PACKAGES := googletest libgtest-dev libgmock-dev snmp snmptrapd telnet tzdata xz-utils python3 iproute2 dnsmasq-base socat tshark chrony faketime chromium chromium-driver python3-selenium tmux iputils-ping util-linux
# The benchmarks' library and the SNMP load benchmark's reference agent.
BENCH_PACKAGES := libbenchmark-dev snmpd
PACKAGES := $(BUILD_PACKAGES) $(TEST_PACKAGES)
JOBS ?= $(shell nproc)
# Added to every port the sign listens on: 3000 lets a user without root rights
# run it (SNMP on 3161); PORT_OFFSET=0 as root gives the standard ports.
PORT_OFFSET ?= 3000
RUN_ARGS ?=
RELEASE := cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DBUILD_TESTS=OFF

.PHONY: all build program run test bench deps build-deps clean

all: build

build: build-deps build/release/build.ninja
	cmake --build build/release -j $(JOBS)

program: build-deps build/release/build.ninja
	cmake --build build/release -j $(JOBS) --target sign-controller

# Configured once: the build itself configures again when the tree asks for
# it, and configuring at every command would rebuild and relink every target.
build/release/build.ninja:
	$(RELEASE) >/dev/null

run: program
	./build/release/sign-controller --port-offset $(PORT_OFFSET) $(RUN_ARGS)

# Installs the Debian packages of $(1) that are missing (through sudo when not root).
define install_missing
	@missing=""; for p in $(1); do \
	  dpkg-query -W -f='$${Status}' $$p 2>/dev/null | grep -q 'install ok installed' || missing="$$missing $$p"; \
	done; \
	if [ -n "$$missing" ]; then \
	  echo "installing:$$missing"; \
	  SUDO=$$( [ "$$(id -u)" = 0 ] || echo sudo ); \
	  $$SUDO apt-get update && DEBIAN_FRONTEND=noninteractive $$SUDO apt-get install -y $$missing; \
	fi
endef

build-deps:
	$(call install_missing,$(BUILD_PACKAGES))

deps:
	$(call install_missing,$(PACKAGES))

test: deps
	cmake -S . -B build/test -G Ninja -DCMAKE_BUILD_TYPE=Debug -DSANITIZE=ON -DBUILD_TESTS=ON >/dev/null
	cmake --build build/test -j $(JOBS)
	cd build/test && ctest -j $(JOBS) --output-on-failure --timeout 300

bench: build-deps
	$(call install_missing,$(BENCH_PACKAGES))
	$(RELEASE) -DBUILD_BENCH=ON >/dev/null
	cmake --build build/release -j $(JOBS)
	@for b in build/release/bench_*; do echo "== $$b"; $$b; done

clean:
	rm -rf build
