#!/usr/bin/env bash
# A short fuzz pass of the wire codec: builds the libFuzzer targets with clang and the address and
# undefined behaviour sanitizers in a build folder of their own, then runs each target for a few
# seconds from the seed corpus of real datagrams (the corpus in the tree is only read).
#
#   fuzz_pass.sh <source dir> <build dir> <seconds per target>
#
# Exit 77 (skipped) when clang or its libFuzzer runtime is missing; non-zero when a target finds a
# crash, a leak or a codec inconsistency (the input is left in <build dir>/artifacts).
set -euo pipefail
source_dir=$1
build_dir=$2
seconds=$3

if ! command -v clang++ >/dev/null || ! echo 'int main(){}' | clang++ -x c++ -fsanitize=fuzzer-no-link,address - -o /dev/null 2>/dev/null; then
    echo "skipped: clang++ with the libFuzzer and sanitizer runtimes is not installed (scripts/setup)"
    exit 77
fi

launcher=()
if command -v ccache >/dev/null; then
    launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
fi
start=$(date +%s)
# -O1 with line tables only: the sanitizers' reports keep file and line, and the instrumented build of
# the libraries takes about a third less time than -O2 -g.
cmake -S "$source_dir" -B "$build_dir" -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=None \
    -DCMAKE_CXX_FLAGS="-O1 -gline-tables-only" -DORVIK_BUILD_TESTS=OFF -DORVIK_FUZZ=ON "${launcher[@]}" >"$build_dir.configure.log" 2>&1 ||
    { cat "$build_dir.configure.log"; exit 1; }
cmake --build "$build_dir" -j "$(nproc)" --target fuzz_datagram fuzz_service fuzz_serve >"$build_dir.build.log" 2>&1 ||
    { tail -50 "$build_dir.build.log"; exit 1; }
echo "fuzz targets built in $(($(date +%s) - start)) s"

mkdir -p "$build_dir/artifacts"
status=0
# The served requests start from the service seeds (service data behind one selector octet).
for target in datagram service serve; do
    seeds=$target
    [ "$target" = serve ] && seeds=service
    work="$build_dir/corpus/$target"
    mkdir -p "$work"
    # New inputs go to the work folder; the seeds are read from the tree.
    if ! "$build_dir/tests/fuzz/fuzz_$target" -max_total_time="$seconds" -timeout=5 -rss_limit_mb=1024 \
        -max_len=2048 -print_final_stats=1 -artifact_prefix="$build_dir/artifacts/$target-" \
        "$work" "$source_dir/tests/fuzz/corpus/$seeds" >"$build_dir/$target.log" 2>&1; then
        status=1
    fi
    grep -E 'stat::number_of_executed_units|stat::new_units_added|ERROR|finding|Done' "$build_dir/$target.log" |
        sed "s/^/$target: /" || true
    if [ $status -ne 0 ]; then
        tail -40 "$build_dir/$target.log"
    fi
done
exit $status
