#!/usr/bin/env bash
# fuzz/run.sh [seconds]: builds the libFuzzer harnesses with clang and runs each for the
# given time (60 s by default). Not part of the main build or CI.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}

# Fuzz-only tools.
missing=()
for p in clang libclang-rt-14-dev libpcre2-dev; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  sudo=""
  [ "$(id -u)" -eq 0 ] || sudo="sudo"
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

# The harnesses and the libraries they feed, all with coverage and the sanitizers.
build=fuzz/build
sanitize="-fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=all"
CC=clang CXX=clang++ cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DMW_BUILD_FUZZ=ON -DMW_BUILD_TESTS=OFF -DMW_BUILD_BENCH=OFF \
  -DCMAKE_C_FLAGS="$sanitize" -DCMAKE_CXX_FLAGS="$sanitize" \
  -DCMAKE_EXE_LINKER_FLAGS="-fsanitize=address,undefined" >/dev/null
cmake --build "$build" --target fuzzers -j"${MW_JOBS:-2}"
out=$build/fuzz
mkdir -p fuzz/out

export UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1
status=0
for name in text_between_fuzz url_decode_fuzz cookies_fuzz regex_fuzz ini_fuzz header_block_fuzz \
            picture_png_fuzz picture_jpeg_fuzz picture_gif_fuzz picture_bmp_fuzz picture_webp_fuzz picture_avif_fuzz; do
  corpus=fuzz/corpus-run/$name
  mkdir -p "$corpus"
  seeds=()
  [ -d "fuzz/corpus/$name" ] && seeds=("fuzz/corpus/$name")
  echo "== running $name for $seconds s"
  if "$out/$name" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \
      -artifact_prefix="fuzz/out/$name-" "$corpus" "${seeds[@]}" 2>"fuzz/out/$name.log"; then
    grep -E '^(stat::number_of_executed_units|stat::peak_rss_mb)' "fuzz/out/$name.log" | tr '\n' ' '
    echo "-> clean"
  else
    tail -40 "fuzz/out/$name.log"
    echo "-> FAILED (see fuzz/out/$name.log)"
    status=1
  fi
done
exit $status
