#!/usr/bin/env bash
# Builds the tests of the UI-free code (support, mp3, library, engine, tools) with
# AddressSanitizer and UndefinedBehaviorSanitizer in a separate tree and runs them; any report
# fails the run. The windows stay out to keep the suite's time modest: the file readers they
# use are fuzzed under the same sanitizers. Usage: asan_run.sh SOURCE_DIR BUILD_DIR
set -euo pipefail
src=${1:?source dir}
build=${2:?build dir}
if [ ! -f "$build/build.ninja" ] || ! grep -q 'SPINX_BUILD_UI:BOOL=OFF' "$build/CMakeCache.txt"; then
    flags="-fsanitize=address,undefined -fno-sanitize-recover=undefined -fno-omit-frame-pointer"
    # -O1 keeps the sanitized build and its run short; the leak check stays on.
    cmake -S "$src" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
        -DCMAKE_C_FLAGS="$flags" -DCMAKE_CXX_FLAGS="$flags" \
        -DCMAKE_C_FLAGS_RELWITHDEBINFO="-O1 -g" -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O1 -g" \
        -DCMAKE_EXE_LINKER_FLAGS="-fsanitize=address,undefined" \
        -DSPINX_BUILD_UI=OFF -DSPINX_BUILD_BENCH=OFF -DSPINX_ENGINE_TSAN_TEST=OFF -DSPINX_ASAN_TEST=OFF >/dev/null
fi
cmake --build "$build" -j "${SPINX_JOBS:-2}"
export ASAN_OPTIONS="detect_leaks=1 halt_on_error=1 ${ASAN_OPTIONS:-}"
export UBSAN_OPTIONS="print_stacktrace=1 halt_on_error=1 ${UBSAN_OPTIONS:-}"
export QT_QPA_PLATFORM=offscreen
# The real-time allocation test replaces malloc itself, which AddressSanitizer already does.
# The fuzz targets carry their own sanitizers. The real-output test spends its minute and a half
# waiting on the sound server in real time; its code runs here through the clockless output and
# the headphones' test, and its threads under ThreadSanitizer.
devices='engine_clockless_output_test'
ctest --test-dir "$build" --output-on-failure -j "${SPINX_JOBS:-2}" \
    -E "^(engine_realtime_alloc_test|fuzz_smoke|engine_real_output_test|$devices)\$"
# The sound system's plugins are loaded and unloaded at run time and leak on their own, out of
# reach of suppressions once unloaded: the device outputs are checked for all but leaks.
ASAN_OPTIONS="$ASAN_OPTIONS detect_leaks=0" \
    ctest --test-dir "$build" --output-on-failure -R "^($devices)\$"
