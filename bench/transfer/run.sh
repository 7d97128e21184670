#!/usr/bin/env bash
# Runs the transfer benchmark by hand: a 200 MiB file over HTTP and over FTP from local peers, our
# transport against the curl command-line tool. Needs a release build:
#   cmake -S . -B build/release -DCMAKE_BUILD_TYPE=Release && cmake --build build/release -j2 --target transfer_bench
#   bench/transfer/run.sh [build/release] [runs]
set -euo pipefail
root="$(cd "$(dirname "$0")/../.." && pwd)"
build="${1:-$root/build/release}"
runs="${2:-7}"
work="$(mktemp -d)"
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

mkdir -p "$work/root/pub" "$work/down"
head -c $((200 * 1024 * 1024)) /dev/urandom > "$work/root/pub/big.bin"

start_peer() {  # script, output file; the peer prints "PORT n" first
  /usr/bin/python3 "$root/tests/peers/$1" --root "$work/root" > "$work/$2" 2>/dev/null &
  pids+=($!)
  for _ in $(seq 100); do grep -q '^PORT ' "$work/$2" 2>/dev/null && break; sleep 0.1; done
}
port_of() { awk '/^PORT /{print $2; exit}' "$work/$1"; }
start_peer http_peer.py http.out
start_peer ftp_peer.py ftp.out
http_port="$(port_of http.out)"
ftp_port="$(port_of ftp.out)"

"$build/out/transfer_bench" http "127.0.0.1:$http_port/pub/big.bin" "$work/down" "$runs"
"$build/out/transfer_bench" ftp "127.0.0.1/pub/big.bin" "$ftp_port" "$work/down" "$runs"
