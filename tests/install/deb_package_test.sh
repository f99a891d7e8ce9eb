#!/usr/bin/env bash
# The Debian packages a user installs, checked without touching the system.
#   deb_package_test.sh <step> <build dir> <work dir> <version>
# Steps: make     cpack -G DEB into <work dir>/packages
#        runtime  the command's package: control fields, contents, and the
#                 unpacked command run
#        dev      a host program built against the unpacked -dev package
# "make" runs first (the other two read its packages).
set -euo pipefail
shopt -s inherit_errexit
step=$1 build_dir=$2 version=$4
work=$(realpath -m "$3")
packages=$work/packages

fail() {
  echo "deb_package_test $step: $*" >&2
  exit 1
}

# The package file <name>_<version>_<arch>.deb in $packages.
package_file() {
  local file
  file="$packages/$1_${version}_$(dpkg --print-architecture).deb"
  [ -f "$file" ] || fail "no package $file"
  echo "$file"
}

# Unpacks the named packages into a fresh $work/$1 and prints its path.
unpack() {
  local root=$work/$1; shift
  rm -rf "$root"
  mkdir -p "$root"
  for name in "$@"; do dpkg-deb -x "$(package_file "$name")" "$root"; done
  echo "$root"
}

make_packages() {
  rm -rf "$work"
  mkdir -p "$packages"
  cpack --config "$build_dir/CPackConfig.cmake" -G DEB -B "$packages" >"$work/cpack.log" 2>&1 ||
    { cat "$work/cpack.log" >&2; fail "cpack failed"; }
}

check_runtime_package() {
  local deb depends depended_on contents
  deb=$(package_file ravik)

  # Debian's browser and node, and the libraries the binaries link, by package.
  depends=$(dpkg-deb -f "$deb" Depends)
  depended_on=$(tr ',' '\n' <<<"$depends" | awk '{print $1}')
  for needed in chromium nodejs libc6 libstdc++6 libcurl4; do
    grep -qxF "$needed" <<<"$depended_on" || fail "Depends lacks $needed: $depends"
  done

  contents=$(dpkg-deb -c "$deb" | awk '{print $6}')
  local own_files
  own_files=$(grep -v '^\./usr/share/ravik/node_modules/' <<<"$contents")
  for expected in ./usr/bin/ravik ./usr/share/ravik/node_modules/playwright-core/cli.js \
      ./usr/lib/libravik_host.so.0 ./usr/lib/libravik_browser_host.so.0 ./usr/lib/libravik_playwright.so.0 \
      ./usr/lib/libravik_scraper.so.0 ./usr/lib/libravik_scenarios.so.0 ./usr/lib/libravik_askpool.so.0 \
      ./usr/lib/libravik_verwatch.so.0; do
    grep -qxF "$expected" <<<"$contents" || fail "the package lacks $expected"
  done
  local programs
  programs=$(grep '^\./usr/bin/.' <<<"$own_files" || true)
  [ "$programs" = ./usr/bin/ravik ] || fail "programs other than ravik: $programs"
  local unwanted
  unwanted=$(grep -E 'standin|_test|/bench|^\./usr/include/|/cmake/|\.so$' <<<"$own_files" || true)
  [ -z "$unwanted" ] || fail "files that belong elsewhere: $unwanted"

  local root ravik
  root=$(unpack runtime-root ravik)
  ravik=$root/usr/bin/ravik
  export HOME=$work/home RAVIK_CONFIG_DIR=$work/config RAVIK_NO_UPDATE_CHECK=1
  unset LD_LIBRARY_PATH RAVIK_PLAYWRIGHT_CORE_DIR RAVIK_NODE
  mkdir -p "$HOME"

  # Every library of the product resolves inside the unpacked tree.
  local foreign
  foreign=$(ldd "$ravik" | grep 'libravik_' | grep -vF "=> $root/usr/bin/../lib/" || true)
  [ -z "$foreign" ] || fail "libraries from outside the package: $foreign"

  local output
  output=$("$ravik" --version) || fail "ravik --version failed"
  [ "$output" = "ravik $version" ] || fail "ravik --version printed: $output"
  output=$("$ravik" seller-sprite scenarios) || fail "ravik seller-sprite scenarios failed"
  [ "$(grep -c '"scenario_id"' <<<"$output")" = 4 ] || fail "ravik seller-sprite scenarios printed: $output"
  grep -qF '"scenario_id": "keyword-reverse"' <<<"$output" || fail "no keyword-reverse scenario: $output"

  # The command starts the driver shipped beside it: a stand-in node records
  # the script it was asked to run and exits, so no browser starts.
  local node=$work/node driver_args=$work/node-args
  printf '#!/bin/sh\necho "$1" >"%s"\nexit 3\n' "$driver_args" >"$node"
  chmod +x "$node"
  if RAVIK_NODE=$node "$ravik" seller-sprite login-status >/dev/null 2>"$work/login-status.err"; then
    fail "login-status succeeded without a driver"
  fi
  [ -f "$driver_args" ] || fail "the driver was not started: $(cat "$work/login-status.err")"
  local expected_cli
  expected_cli=$(realpath "$root/usr/share/ravik/node_modules/playwright-core/cli.js")
  [ "$(cat "$driver_args")" = "$expected_cli" ] || fail "ran the driver $(cat "$driver_args"), not $expected_cli"
}

check_dev_package() {
  local unwanted
  unwanted=$(dpkg-deb -c "$(package_file ravik-dev)" | awk '{print $6}' | grep -E 'standin|_test|/bench' || true)
  [ -z "$unwanted" ] || fail "files that belong elsewhere: $unwanted"

  local root consumer=$work/consumer
  root=$(unpack dev-root ravik ravik-dev)
  local source_dir
  source_dir=$(dirname "$0")/consumer
  cmake -S "$source_dir" -B "$consumer" -G Ninja "-DCMAKE_PREFIX_PATH=$root/usr" >"$work/consumer.log" 2>&1 &&
    cmake --build "$consumer" >>"$work/consumer.log" 2>&1 ||
    { cat "$work/consumer.log" >&2; fail "the host program did not build against the -dev package"; }
  mkdir -p "$work/home"
  HOME=$work/home RAVIK_CONFIG_DIR=$work/config "$consumer/ravik_consumer" || fail "the host program failed"
}

case $step in
  make) make_packages ;;
  runtime) check_runtime_package ;;
  dev) check_dev_package ;;
  *) fail "unknown step" ;;
esac
