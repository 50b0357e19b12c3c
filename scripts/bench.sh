#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Benchmarks promfmt against its peers (the floor, a naive writer,
# prometheus-cpp, the Go client's text encoder, the Python client, prom-client) on the same
# workloads, in interleaved rounds, and prints the medians with their spread,
# the target ratios (PASS/MISS, informational: the exit code is 0 either way)
# and the scaling and memory tables.
#   scripts/bench.sh             full run (ROUNDS rounds, default 9; about 8 minutes)
#   scripts/bench.sh --quick     every writer once on a few workloads (CI; under a minute)
#   scripts/bench.sh --plot DIR  also draw the plots into DIR
#   scripts/bench.sh --doc       full run, then rewrite docs/performance.md and its plots
# ROUNDS=N sets the number of rounds; BENCH_BUILD_DIR=DIR builds and keeps the
# results in DIR instead of build-bench (so two runs do not share files).
set -euo pipefail
cd "$(dirname "$0")/.."

mode=full plot_dir="" doc=0
while [[ $# -gt 0 ]]; do
  case "$1" in
    --quick) mode=quick ;;
    --plot) plot_dir=${2:?--plot needs a directory}; shift ;;
    --doc) doc=1 plot_dir=docs ;;
    *) echo "usage: scripts/bench.sh [--quick] [--plot DIR] [--doc]" >&2; exit 2 ;;
  esac
  shift
done

B=${BENCH_BUILD_DIR:-build-bench}
rounds=${ROUNDS:-9} min_time=0.1 python_max=100000 only=""
if [[ $mode == quick ]]; then
  rounds=1 min_time=0.005
  only="standard,labels_random/256,prefix24/256,value_len/21832,samples/1000"
fi

bash scripts/install-deps.sh --with-extras >&2
# The library's source as it is built: the commit, and whether src/ differs from it.
source=$(git rev-parse --short HEAD 2>/dev/null || echo unknown)
[[ -n $(git status --porcelain -- src include 2>/dev/null) ]] && source+=" with local changes in src/ or include/"
cmake -S . -B "$B" -DCMAKE_BUILD_TYPE=Release -DPROMFMT_BUILD_BENCH=ON \
  -DPROMFMT_BUILD_TESTS=OFF -DPROMFMT_BUILD_EXAMPLES=OFF >/dev/null
cmake --build "$B" -j "$(nproc 2>/dev/null || echo 2)" --target promfmt_bench_scrape >&2
cpp=$B/bench/promfmt_bench_scrape

# The Go peer (bench/go, a module: expfmt, client_golang and the promfmt
# binding, which finds this build's library through its pkg-config file).
go_peer=""
command -v go >/dev/null || PATH=$PATH:/usr/local/go/bin
if command -v go >/dev/null; then
  go version >&2
  go_prefix=$(cd "$B" && pwd)/prefix
  cmake --install "$B" --prefix "$go_prefix" >/dev/null
  (cd bench/go && PKG_CONFIG_PATH="$go_prefix/lib/pkgconfig" CGO_LDFLAGS="-Wl,-rpath,$go_prefix/lib" \
    GOFLAGS="-mod=readonly -buildvcs=false" go build -o "$go_prefix/../promfmt-bench-go" .) >&2
  go_peer=$B/promfmt-bench-go
else
  echo "bench: Go peers skipped: no go on PATH (Go 1.26 or later)" >&2
fi
# The Rust peer: the binding and prometheus-client, built by cargo (crates from the registry).
rust_peer=""
[[ -d $HOME/.cargo/bin ]] && PATH=$HOME/.cargo/bin:$PATH
if command -v cargo >/dev/null; then
  cargo build --release --quiet --manifest-path bindings/rust/Cargo.toml \
    -p promfmt-bench --bin promfmt-bench-rust >&2
  rust_peer=bindings/rust/target/release/promfmt-bench-rust
  rust_workloads=standard,labels_random/0,labels_random/3,labels_random/10,labels_random/64
  rust_workloads+=,labels_random/256,value_len/64,value_len/4096,value_len/21832
  rust_workloads+=,samples/100,samples/1000,samples/10000,samples/100000
else
  echo "bench: Rust peer skipped: install Rust (cargo)" >&2
fi
# The Python peer runs in a virtual environment of its own, made by
# PROMFMT_PYTHON (default python3 on PATH), with this checkout's promfmt
# (built by pip) and prometheus_client from PyPI.
python_peer="" py=$B/python-venv/bin/python
if "${PROMFMT_PYTHON:-python3}" -m venv "$B/python-venv" >&2 &&
   "$py" -m pip install --quiet --disable-pip-version-check prometheus_client ./bindings/python >&2; then
  python_peer=bench/python/peer.py
else
  echo "bench: Python peer skipped: its virtual environment could not be made" >&2
fi

# The C# peer: the binding under Mono on the library just built, labels in
# three forms (bindings/csharp/bench/ScrapeBench.cs).
csharp_peer="" csharp_only=$only
[[ -z $only ]] && csharp_only=standard$(printf ',labels_random/%s' 0 1 3 10 64 256)
if command -v mcs >/dev/null && command -v mono >/dev/null; then
  mkdir -p "$B/csharp"
  mcs -unsafe -optimize+ -target:library -out:"$B/csharp/Promfmt.dll" bindings/csharp/src/*.cs
  cp bindings/csharp/src/Promfmt.dll.config "$B/csharp/"
  mcs -optimize+ -out:"$B/csharp/ScrapeBench.exe" -r:"$B/csharp/Promfmt.dll" bindings/csharp/bench/*.cs
  csharp_peer=$B/csharp/ScrapeBench.exe
else
  echo "bench: C# peer skipped: install mono-mcs and mono-runtime" >&2
fi
# The Node peer (bench/node/peer.js): the packed binding and prom-client
# 15.1.3 installed into a project of its own, the addon built by npm's
# node-gyp against the machine's Node headers.
node_peer="" node_modules=$PWD/$B/node-peer/node_modules
node_only=${only:-standard,labels_fixed/64,labels_random/64} node_stalls=3
[[ $mode == quick ]] && node_stalls=1
if command -v npm >/dev/null && rm -rf "$B/node-peer" && mkdir -p "$B/node-peer" &&
   (cd bindings/node && npm pack --silent --pack-destination "../../$B/node-peer") >/dev/null &&
   (cd "$B/node-peer" && npm init -y >/dev/null &&
    npm_config_nodedir=$(dirname "$(dirname "$(command -v node)")") npm install --no-save \
      --no-audit --no-fund --loglevel=error ./promfmt-*.tgz prom-client@15.1.3 >&2); then
  node_peer=bench/node/peer.js
else
  echo "bench: Node peer skipped: install nodejs and npm" >&2
fi

rm -rf "$B/workloads" "$B/results"
mkdir -p "$B/workloads" "$B/results"
W=$B/workloads R=$B/results
"$cpp" --write-workloads "$W"

# Every writer's output for the small check workload must parse to the same families.
check_args=()
for w in promfmt promfmt_cxx naive naive_sorting prometheus_cpp; do
  "$cpp" --dump "$w" check >"$R/check-$w.txt" 2>/dev/null && check_args+=("$w=$R/check-$w.txt")
done
# go_gather is left out: the registry sorts each family's series by label values.
for w in go go_promfmt go_promfmt_map; do
  [[ -n $go_peer ]] && "$go_peer" -dir "$W" -dump check -writer "$w" >"$R/check-$w.txt" &&
    check_args+=("$w=$R/check-$w.txt")
done
[[ -n $rust_peer ]] && "$rust_peer" --dir "$W" --dump check >"$R/check-rust.txt" &&
  check_args+=("rust=$R/check-rust.txt")
for w in python python_promfmt; do
  [[ -n $python_peer ]] && "$py" "$python_peer" --dir "$W" --dump check --writer "$w" \
    >"$R/check-$w.txt" && check_args+=("$w=$R/check-$w.txt")
done
for w in node node_promfmt node_bridge; do
  [[ -n $node_peer ]] && NODE_PATH=$node_modules node "$node_peer" --dir "$W" --dump check \
    --writer "$w" >"$R/check-$w.txt" && check_args+=("$w=$R/check-$w.txt")
done
[[ -n $csharp_peer ]] && LD_LIBRARY_PATH=$PWD/$B mono "$csharp_peer" --dir "$W" --dump check \
  >"$R/check-csharp.txt" && check_args+=("csharp=$R/check-csharp.txt")
/usr/bin/python3 bench/check_output.py "${check_args[@]}" | tee "$R/check.txt" >&2

filter=""
[[ -n $only ]] && filter="^($(sed 's/,/|/g' <<<"$only")):"
run_cpp() {
  "$cpp" --benchmark_repetitions=1 --benchmark_enable_random_interleaving=true \
    --benchmark_min_time="$min_time" ${filter:+--benchmark_filter="$filter"} \
    --benchmark_out="$R/r$1-cpp.json" --benchmark_out_format=json >/dev/null 2>"$R/r$1-cpp.log" ||
    { cat "$R/r$1-cpp.log" >&2; return 1; }
}
run_go() {
  [[ -z $go_peer ]] || "$go_peer" -dir "$W" -seed "$1" -min-time "$min_time" \
    ${only:+-workloads "$only"} -out-prefix "$R/r$1-"
}
run_rust() {
  [[ -z $rust_peer ]] || "$rust_peer" --dir "$W" --results "$R" --round "$1" \
    --min-time "$min_time" --workloads "${only:-$rust_workloads}"
}
run_python() {
  [[ -z $python_peer ]] || "$py" "$python_peer" --dir "$W" --seed "$1" \
    --min-time "$min_time" --max-samples "$python_max" ${only:+--workloads "$only"} \
    --out-prefix "$R/r$1-"
}
run_csharp() {
  [[ -z $csharp_peer ]] || LD_LIBRARY_PATH=$PWD/$B mono "$csharp_peer" --dir "$W" --seed "$1" \
    --min-time "$min_time" --workloads "$csharp_only" --out "$R" --round "$1"
}
run_node() {
  [[ -z $node_peer ]] && return
  NODE_PATH=$node_modules node --expose-gc "$node_peer" --dir "$W" --seed "$1" \
    --min-time "$min_time" --workloads "$node_only" --out-prefix "$R/r$1-" &&
    NODE_PATH=$node_modules node --expose-gc "$node_peer" --stall --rounds "$node_stalls" \
      --out-prefix "$R/r$1-"
}
start=$SECONDS
for r in $(seq 1 "$rounds"); do
  for writer in $(printf '%s\n' cpp go python csharp rust node | shuf); do
    "run_$writer" "$r"
  done
  echo "bench: round $r of $rounds done ($((SECONDS - start)) s)" >&2
done
# Peak memory of the standard scrape alone, in a process of its own.
"$cpp" --benchmark_filter='^standard:promfmt$' --benchmark_min_time="$min_time" \
  --benchmark_out="$R/rss.json" --benchmark_out_format=json >/dev/null 2>"$R/rss.log" ||
  { cat "$R/rss.log" >&2; exit 1; }
printf '{"rounds": %d, "min_time": %s, "python_max_samples": %d, "mode": "%s", "source": "%s"}\n' \
  "$rounds" "$min_time" "$python_max" "$mode" "$source" >"$R/meta.json"

report=(/usr/bin/python3 bench/report.py "$R")
[[ -n $plot_dir ]] && report+=(--plot "$plot_dir")
[[ $doc -eq 1 ]] && report+=(--markdown docs/performance.md)
"${report[@]}"
