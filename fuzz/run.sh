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

out=fuzz/out
mkdir -p "$out"
flags=(-std=c++20 -O1 -g -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=all -Isrc)
pcre=($(pkg-config --cflags --libs libpcre2-8))
runtime=(src/runtime/text.cpp src/runtime/charset.cpp src/runtime/event_pump.cpp src/runtime/markers.cpp
         src/runtime/files.cpp src/runtime/ini_file.cpp)

build() {  # build NAME SOURCES...
  local name=$1; shift
  echo "== building $name"
  clang++ "${flags[@]}" "fuzz/$name.cpp" "${runtime[@]}" "$@" "${pcre[@]}" -o "$out/$name"
}
build text_between_fuzz
build url_decode_fuzz src/net/encoding.cpp
build cookies_fuzz src/net/cookies.cpp
build regex_fuzz src/net/regex_object.cpp
build ini_fuzz
build header_block_fuzz src/net/header_block.cpp src/net/page_charset.cpp src/net/regex_object.cpp
# Qt insists on position-independent code.
pictures=(src/toolkit/picture_decoder.cpp src/toolkit/png_decoder.cpp src/toolkit/jpeg_decoder.cpp
          src/toolkit/gif_stream.cpp src/toolkit/gif_animation.cpp src/toolkit/resampler.cpp
          src/toolkit/decode_memory.cpp -fPIC $(pkg-config --cflags --libs Qt6Gui libpng libjpeg) -lgif -lz)
for format in png jpeg gif bmp; do build picture_${format}_fuzz "${pictures[@]}"; done

export UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1
status=0
for name in text_between_fuzz url_decode_fuzz cookies_fuzz regex_fuzz ini_fuzz header_block_fuzz \
            picture_png_fuzz picture_jpeg_fuzz picture_gif_fuzz picture_bmp_fuzz; do
  corpus=fuzz/corpus-run/$name
  mkdir -p "$corpus"
  seeds=()
  [ -d "fuzz/corpus/$name" ] && seeds=("fuzz/corpus/$name")
  echo "== running $name for $seconds s"
  if "$out/$name" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \
      -artifact_prefix="$out/$name-" "$corpus" "${seeds[@]}" 2>"$out/$name.log"; then
    grep -E '^(stat::number_of_executed_units|stat::peak_rss_mb)' "$out/$name.log" | tr '\n' ' '
    echo "-> clean"
  else
    tail -40 "$out/$name.log"
    echo "-> FAILED (see $out/$name.log)"
    status=1
  fi
done
exit $status
