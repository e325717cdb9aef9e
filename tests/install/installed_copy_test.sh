#!/usr/bin/env bash
# installed_copy_test.sh BUILD_DIR
# Installs the build into a temporary DESTDIR and, in a mount namespace of its own, mounts it on
# /usr/local (the machine's /usr/local is untouched); runs the installed program there as root,
# who may write everywhere, under Xvfb with HOME and the XDG folders of its own:
#  1. the installed demo site finds a picture of its library by the words on it (it finds its
#     word reader where that was installed); against that site, the program keeps MW_scdz.ini
#     under $XDG_CONFIG_HOME/memwick (made by the program) and puts the marker GIF into the
#     favourites folder in the pictures folder; nothing is written beside the program;
#  2. it reads MW_sites.ini from $XDG_CONFIG_HOME/memwick: a broken one stops it, naming that file;
#  3. a copy outside /usr keeps everything beside itself.
# Without root, a user namespace stands in for it; where there is none, the test is skipped (77).
set -euo pipefail

if [ "${1:-}" = "--namespace" ]; then
  stage=$2
  mount --bind "$stage/root/usr/local" /usr/local
  exec xvfb-run -a -s "-screen 0 1024x768x24" "$0" --inside "$stage"
fi

if [ "${1:-}" = "--inside" ]; then
  stage=$2
  bin=/usr/local/bin
  home=$stage/home
  config=$home/.config
  favourites="$home/图片/我的收藏"
  marker=请不要删除本文件.gif
  pids=()
  # Ended before the display goes away, so that none of them dies of a broken X connection.
  trap 'for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done; wait' EXIT
  fail() {
    echo "FAIL: $*" >&2
    exit 1
  }

  # Runs the program in the background and answers its message boxes (a first run reports the
  # missing settings file) until PATH exists; leaves the program running.
  run_until() {
    local path=$1 log=$2
    shift 2
    "$@" >"$log" 2>&1 &
    local pid=$!
    pids+=("$pid")
    for _ in $(seq 1 120); do
      [ -e "$path" ] && return 0
      kill -0 "$pid" 2>/dev/null || { cat "$log" >&2; fail "the program ended before $path appeared"; }
      for w in $(xdotool search --pid "$pid" --onlyvisible --name . 2>/dev/null); do
        case "$(xdotool getwindowname "$w" 2>/dev/null)" in
          Memwick*) ;;
          *) xdotool windowfocus --sync "$w" key Return 2>/dev/null || true ;;
        esac
      done
      sleep 0.5
    done
    cat "$log" >&2
    fail "$path did not appear"
  }

  export HOME=$home XDG_CONFIG_HOME=$config XDG_CACHE_HOME=$home/.cache XDG_RUNTIME_DIR=$stage/run
  export QT_QPA_PLATFORM=xcb  # on the Xvfb display, whatever the test runner set
  # The installed demo site, as a separate server, with a library of one picture that says 下班了.
  mkdir "$stage/pictures"
  cp "$stage/source/tests/install/caption.png" "$stage/pictures/a.png"
  "$bin/memwick-site" --write "$stage/sites.ini" --library "$stage/pictures" >"$stage/site.log" 2>&1 &
  pids+=($!)
  for _ in $(seq 1 60); do [ -s "$stage/sites.ini" ] && break; sleep 0.25; done
  [ -s "$stage/sites.ini" ] || fail "the demo site wrote no sites file"
  # Its words are read by the installed helper, which the installed program finds.
  search=$(sed -n 's/^search *= *//p' "$stage/sites.ini")
  found=
  for _ in $(seq 1 120); do
    python3 -c 'import sys, urllib.request; sys.stdout.buffer.write(urllib.request.urlopen(sys.argv[1]).read())' \
      "http://$search/plus/search.php?kwtype=1&searchtype=titlekeyword&q=%CF%C2%B0%E0" 2>/dev/null |
      grep -qF "/library/1/a.png" && found=1 && break
    sleep 0.5
  done
  [ -n "$found" ] || fail "the installed site did not find its library's picture by its words: $(cat "$stage/site.log")"

  # 1. The installed program.
  [ ! -e "$config/memwick" ] || fail "the test's config folder is not empty"
  run_until "$favourites/$marker" "$stage/installed.log" "$bin/memwick" --sites "$stage/sites.ini"
  for _ in $(seq 1 20); do [ -s "$config/memwick/MW_scdz.ini" ] && break; sleep 0.25; done
  [ -s "$config/memwick/MW_scdz.ini" ] || fail "no MW_scdz.ini under $config/memwick"
  # The settings name the favourites folder, in GBK as the settings file is written.
  iconv -f GBK -t UTF-8 "$config/memwick/MW_scdz.ini" | grep -qF "$favourites" ||
    fail "MW_scdz.ini does not name $favourites: $(iconv -f GBK -t UTF-8 "$config/memwick/MW_scdz.ini")"
  cmp -s "$favourites/$marker" "$stage/source/resources/marker.gif" || fail "the marker GIF is not the program's"
  kill "${pids[-1]}"
  leftovers=$(find "$bin" -mindepth 1 ! -name 'memwick*')
  [ -z "$leftovers" ] || fail "the installed copy wrote beside itself: $leftovers"

  # 2. The sites file in the config folder is the one read: a broken one stops the program with
  # a message box that names it.
  printf '[sites]\ntemplate = 127.0.0.1:1\n' >"$config/memwick/MW_sites.ini"
  "$bin/memwick" >"$stage/broken.log" 2>&1 &
  broken=$!
  pids+=("$broken")
  box=
  for _ in $(seq 1 40); do
    box=$(xdotool search --pid "$broken" --onlyvisible --name '^Memwick$' 2>/dev/null | head -1) && [ -n "$box" ] && break
    sleep 0.25
  done
  [ -n "$box" ] || fail "no message box for a broken sites file: $(cat "$stage/broken.log")"
  xdotool windowfocus --sync "$box" key Return
  status=0
  wait "$broken" || status=$?
  [ "$status" -eq 1 ] || fail "the program ended with $status over a broken sites file"
  grep -qF "$config/memwick/MW_sites.ini" "$stage/broken.log" ||
    fail "the broken $config/memwick/MW_sites.ini was not named: $(cat "$stage/broken.log")"

  # 3. A copy outside /usr.
  portable=$stage/portable
  mkdir "$portable"
  cp "$bin/memwick" "$portable/"
  cp "$stage/sites.ini" "$portable/MW_sites.ini"
  run_until "$portable/我的收藏/$marker" "$stage/portable.log" "$portable/memwick"
  for _ in $(seq 1 20); do [ -s "$portable/MW_scdz.ini" ] && break; sleep 0.25; done
  [ -s "$portable/MW_scdz.ini" ] || fail "the portable copy wrote no MW_scdz.ini beside itself"
  [ -z "$(find "$bin" -mindepth 1 ! -name 'memwick*')" ] || fail "files appeared beside the installed copy"
  echo "installed copy (uid $(id -u)): settings in $config/memwick, favourites in $favourites; portable copy: beside itself"
  exit 0
fi

build=$(cd "$1" && pwd)
source_dir=$(cd "$(dirname "$0")/../.." && pwd)
stage=$(mktemp -d)
chmod 755 "$stage"
trap 'rm -rf "$stage"' EXIT
DESTDIR="$stage/root" cmake --install "$build" --prefix /usr/local >/dev/null
ln -s "$source_dir" "$stage/source"
mkdir -p "$stage/home/.config" "$stage/run"
chmod 700 "$stage/run"
# The user's pictures folder has a Chinese name, as on a Chinese desktop.
echo 'XDG_PICTURES_DIR="$HOME/图片"' >"$stage/home/.config/user-dirs.dirs"
namespace=(unshare --mount --propagation private)
[ "$(id -u)" -eq 0 ] || namespace=(unshare --user --map-root-user --mount --propagation private)
if ! "${namespace[@]}" true 2>/dev/null; then
  echo "SKIP: no mount namespace to install into (${namespace[*]})"
  exit 77
fi
"${namespace[@]}" "$0" --namespace "$stage"
