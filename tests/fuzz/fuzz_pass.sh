#!/usr/bin/env bash
# A short fuzz pass of the wire codec and of the served requests, in two steps:
#
#   fuzz_pass.sh build <source dir> <fuzz build dir>
#       builds the libFuzzer targets with clang and the address and undefined behaviour sanitizers in a
#       build folder of their own (the project's build runs this step, so the tests only fuzz);
#       without clang or its libFuzzer runtime it says so and builds nothing.
#   fuzz_pass.sh run <source dir> <fuzz build dir> <target> <seconds>
#       fuzzes one target (datagram, service or serve) for <seconds> from the seed corpus of real
#       datagrams (the corpus in the tree is only read; new inputs go to <fuzz build dir>/corpus).
#
# run exits 77 (skipped) when clang or its runtime is missing, and non-zero when the target was not
# built or finds a crash, a leak or a codec inconsistency (the input is left in <fuzz build dir>/artifacts).
set -euo pipefail
mode=$1
source_dir=$2
build_dir=$3

have_clang() {
    command -v clang++ >/dev/null &&
        echo 'int main(){}' | clang++ -x c++ -fsanitize=fuzzer-no-link,address - -o /dev/null 2>/dev/null
}
missing_clang="clang++ with the libFuzzer and sanitizer runtimes is not installed (scripts/setup)"

build() {
    if ! have_clang; then
        echo "fuzz targets not built: $missing_clang"
        return 0
    fi
    local launcher=()
    if command -v ccache >/dev/null; then
        launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
    fi
    # -O1 with line tables only: the sanitizers' reports keep file and line, and the instrumented build of
    # the libraries takes about a third less time than -O2 -g.
    cmake -S "$source_dir" -B "$build_dir" -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=None \
        -DCMAKE_CXX_FLAGS="-O1 -gline-tables-only" -DORVIK_BUILD_TESTS=OFF -DORVIK_FUZZ=ON "${launcher[@]}" \
        >"$build_dir.configure.log" 2>&1 || { cat "$build_dir.configure.log"; return 1; }
    cmake --build "$build_dir" -j "$(nproc)" --target fuzz_datagram fuzz_service fuzz_serve \
        >"$build_dir.build.log" 2>&1 || { tail -50 "$build_dir.build.log"; return 1; }
}

run() {
    local target=$1 seconds=$2
    if ! have_clang; then
        echo "skipped: $missing_clang"
        return 77
    fi
    local binary="$build_dir/tests/fuzz/fuzz_$target"
    [ -x "$binary" ] || { echo "$binary is missing: build the project first (it builds the fuzz targets)"; return 1; }
    # The served requests start from the service seeds (service data behind one selector octet).
    local seeds=$target
    [ "$target" = serve ] && seeds=service
    local work="$build_dir/corpus/$target"
    mkdir -p "$work" "$build_dir/artifacts"
    local status=0
    "$binary" -max_total_time="$seconds" -timeout=5 -rss_limit_mb=1024 -max_len=2048 -print_final_stats=1 \
        -artifact_prefix="$build_dir/artifacts/$target-" "$work" "$source_dir/tests/fuzz/corpus/$seeds" \
        >"$build_dir/$target.log" 2>&1 || status=1
    grep -E 'stat::number_of_executed_units|stat::new_units_added|ERROR|finding|Done' "$build_dir/$target.log" || true
    [ $status -eq 0 ] || tail -40 "$build_dir/$target.log"
    return $status
}

case $mode in
build) build ;;
run) run "$4" "$5" ;;
*) echo "usage: fuzz_pass.sh build|run <source dir> <fuzz build dir> [<target> <seconds>]" >&2; exit 2 ;;
esac
