# Every target first makes sure the machine has what it needs.
SHELL := /bin/bash
FUZZ_SECONDS ?= 60
CMAKE_GEN := -G Ninja

.PHONY: setup build test demo bench fuzz clean

setup:
	@scripts/setup

build: setup
	@scripts/build

test: build
	@scripts/run-tests

demo: build
	@scripts/demo

bench: setup
	@scripts/bench

fuzz: build
	@scripts/fuzz $(FUZZ_SECONDS)

clean:
	rm -rf build out
