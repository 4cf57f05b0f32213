#!/usr/bin/env bash
# Sets up a fresh Debian 12 machine (as root) for the Orvane Merge/Split Utility.
#
#   ./setup.sh run    install what is missing, build, stage the application folder, create the
#                     demo server with sample databases and start the wizard
#   ./setup.sh test   install what is missing, check the formatting, build everything once with
#                     AddressSanitizer and UndefinedBehaviorSanitizer (the asan preset; warnings
#                     are errors) and run every test there (GUI tests offscreen)
set -euo pipefail

mode="${1:-run}"
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
cd "$here"

# Debian packages: compiler and build tools, Qt 6 (Widgets, PrintSupport, Test are in
# qt6-base-dev; its CMake files need the OpenGL headers), SQLite, nlohmann's JSON library for
# msu merge --json, GoogleTest, Xvfb so that the wizard can run where there is no display,
# clang-format for the format check, ODBC for SQL Server (unixODBC, FreeTDS's driver, and the
# SQLite ODBC driver the tests of the ODBC layer run on), fonts metric-compatible with Courier
# New for the printed report, poppler's PDF tools, with which the tests read printed reports
# back, libsodium for the embedded server's password hashes, and groff, with which the tests
# format the manual pages.
packages=(build-essential cmake ninja-build pkg-config qt6-base-dev libgl-dev libsqlite3-dev libsodium-dev
          nlohmann-json3-dev libgtest-dev libgmock-dev xvfb xauth clang-format
          unixodbc-dev tdsodbc libsqliteodbc fonts-liberation2 poppler-utils groff-base)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if ((${#missing[@]})); then
  echo "Installing: ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

case "$mode" in
  test)
    scripts/check-format.sh
    # One build, sanitized: a second, plain build of the same code would find nothing the
    # sanitized one does not, and took as long again.
    start=$SECONDS
    cmake --preset asan
    cmake --build --preset asan
    echo "setup.sh: build took $((SECONDS - start)) s"
    start=$SECONDS
    ctest --preset asan -j2 --timeout 600
    echo "setup.sh: tests took $((SECONDS - start)) s"
    ;;
  run)
    cmake --preset release
    cmake --build --preset release
    stage="$here/build/release/stage"
    if [[ -x "$stage/msu-server" ]]; then
      bash "$here/scripts/demo.sh" "$stage"
    fi
    if [[ -z "${DISPLAY:-}" && -z "${WAYLAND_DISPLAY:-}" ]]; then
      echo "No display found: starting the wizard under Xvfb (xvfb-run)."
      exec xvfb-run -a "$stage/orvane-msu"
    fi
    exec "$stage/orvane-msu"
    ;;
  *)
    echo "usage: $0 run|test" >&2
    exit 2
    ;;
esac
