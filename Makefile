# make demo   build, show what a host sees of the plug-in, sing the default song into demo.wav
# make check  build, run every test, then again under ASan/UBSan with the fuzzers
JOBS ?= $(shell nproc)
SAN_FLAGS = -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_FLAGS_DEBUG="-O1 -g" -DCMAKE_C_FLAGS_DEBUG="-O1 -g" \
            -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ -DLYRENA_SANITIZE=ON -DLYRENA_FUZZ=ON

.PHONY: all setup build demo check test check-asan check-tsan bench clean
all: build

setup:
	@bash scripts/setup.sh

build: setup
	@cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
	@cmake --build build -j $(JOBS)

# The default song: the project the plug-in loads at start.
demo: build
	./build/lyrena info build/LYRENA/lyrena.so
	./build/lyrena render build/LYRENA/Default.qlp -o demo.wav

test: build
	ctest --test-dir build --output-on-failure -j $(JOBS)

check-asan: setup
	@cmake -S . -B build-asan -G Ninja $(SAN_FLAGS) >/dev/null
	@cmake --build build-asan -j $(JOBS)
	ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 ctest --test-dir build-asan --output-on-failure -j $(JOBS)

# The concurrency tests again under ThreadSanitizer.
check-tsan: setup
	@cmake -S . -B build-tsan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_FLAGS_DEBUG="-O1 -g" \
	  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ -DLYRENA_TSAN=ON >/dev/null
	@cmake --build build-tsan -j $(JOBS) --target score_tests
	TSAN_OPTIONS=halt_on_error=1 ctest --test-dir build-tsan --output-on-failure -R '^Concurrent'

check: test check-tsan check-asan

bench: setup
	@cmake -S . -B build-bench -G Ninja -DCMAKE_BUILD_TYPE=Release -DLYRENA_TESTS=OFF -DLYRENA_BENCH=ON >/dev/null
	@cmake --build build-bench -j $(JOBS)
	@for b in build-bench/bench/*_bench; do [ -x "$$b" ] && "$$b"; done

clean:
	rm -rf build build-asan build-tsan build-bench
