#!/usr/bin/env bash
# Builds the Debian package and proves it on a fresh Debian 12 that has never seen the build
# tree: a minimal bookworm chroot (made once with debootstrap and kept as a clean copy) gets
# the package with apt-get, and there, as an ordinary user, every program prints its version,
# msu-server makes a server with the sample databases, msu merges and splits them, the user's
# application folder is checked, and the wizard is started from its desktop entry under Xvfb
# and photographed. lintian's findings on the package are listed; an error fails the check.
#
#   scripts/package-check.sh          as root, on a machine set up with ./setup.sh
#
# Environment:
#   ORVANE_CHROOT_CACHE  where the clean chroot and the packages downloaded into it are kept
#                        (default /var/cache/orvane-msu-package-check)
#   ORVANE_MIRROR        the Debian mirror (default http://deb.debian.org/debian)
#   KEEP_ROOT=1          keep the scratch chroot afterwards, for a look inside
#
# Writes build/package/package-check.log and the screenshot build/package/wizard.png. Exits 0
# when every check passed.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
here="$(pwd)"

if ((EUID != 0)); then
  echo "package-check: run as root (debootstrap, chroot and mounts need it)" >&2
  exit 2
fi

cache="${ORVANE_CHROOT_CACHE:-/var/cache/orvane-msu-package-check}"
mirror="${ORVANE_MIRROR:-http://deb.debian.org/debian}"
out="$here/build/package"

# What this check needs beyond ./setup.sh: dpkg-shlibdeps (dpkg-dev), lintian, debootstrap.
missing=()
for p in dpkg-dev lintian debootstrap; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if ((${#missing[@]})); then
  echo "Installing: ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

echo "== Building the package"
cmake --preset package >/dev/null
nice -n 10 cmake --build --preset package
rm -f "$out"/orvane-msu_*.deb
cpack --preset package >/dev/null
deb="$(ls "$out"/orvane-msu_*.deb)"
echo "Built $deb"
dpkg-deb --info "$deb" | sed -n 's/^ \(Version\|Depends\|Recommends\|Section\|Installed-Size\):/  \1:/p'

echo "== lintian"
lintian_status=0
# Every finding down to the pedantic ones, with the overridden ones marked (O:).
lintian --display-info --show-overrides --pedantic "$deb" >"$out/lintian.txt" 2>&1 ||
  lintian_status=$?
if grep -qE '^[EWIPO]: ' "$out/lintian.txt"; then
  grep -E '^[EWIPO]: ' "$out/lintian.txt" | sed 's/^/  /'
else
  echo "  no findings"
fi
lintian_errors=$(grep -c '^E: ' "$out/lintian.txt" || true)
if ((lintian_status != 0 && lintian_errors == 0)); then
  echo "  lintian failed (status $lintian_status); see $out/lintian.txt"
  lintian_errors=1
fi

# The clean chroot, made once; every check works on a copy of it.
if [[ ! -d "$cache/bookworm" ]]; then
  echo "== debootstrap: a minimal Debian 12 in $cache/bookworm (once)"
  mkdir -p "$cache"
  rm -rf "$cache/bookworm.part"
  debootstrap --variant=minbase bookworm "$cache/bookworm.part" "$mirror" >"$cache/debootstrap.log"
  mv "$cache/bookworm.part" "$cache/bookworm"
fi
root="$(mktemp -d /var/tmp/orvane-msu-root.XXXXXX)"
mounted=()
cleanup() {
  for ((i = ${#mounted[@]} - 1; i >= 0; i--)); do umount -l "${mounted[i]}" 2>/dev/null || true; done
  if [[ "${KEEP_ROOT:-}" == 1 ]]; then
    echo "The scratch chroot is kept in $root"
  else
    rm -rf --one-file-system "$root"
  fi
}
trap cleanup EXIT
cp -a "$cache/bookworm/." "$root/"
for m in proc dev dev/pts sys; do
  mount --bind "/$m" "$root/$m"
  mounted+=("$root/$m")
done
# The packages downloaded are kept beside the clean chroot for the next check.
mkdir -p "$cache/archives/partial"
mount --bind "$cache/archives" "$root/var/cache/apt/archives"
mounted+=("$root/var/cache/apt/archives")
cp /etc/resolv.conf "$root/etc/resolv.conf"
cat >"$root/etc/apt/sources.list" <<SOURCES
deb $mirror bookworm main
deb $mirror bookworm-updates main
deb http://deb.debian.org/debian-security bookworm-security main
SOURCES

in_root() { chroot "$root" /usr/bin/env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin "$@"; }
# As the administrator "ann", in her home, as a login would set her up.
as_ann() {
  chroot --userspec=ann:ann "$root" /usr/bin/env -i PATH=/usr/bin:/bin HOME=/home/ann \
    USER=ann LANG=C.UTF-8 /bin/bash -c "cd && $1"
}

echo "== Installing the package into the chroot"
cp "$deb" "$root/tmp/"
in_root apt-get update -qq >/dev/null
# Without recommends: the package's own dependencies must be enough. Xvfb and the X tools are
# the check's, for the screenshot.
in_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends \
  "/tmp/$(basename "$deb")" xvfb xauth x11-utils x11-apps netpbm >"$out/chroot-install.log" 2>&1 \
  || { tail -20 "$out/chroot-install.log"; exit 1; }
in_root useradd --create-home --shell /bin/bash ann

passed=0
failed=0
check() {
  local name="$1"
  shift
  if "$@" >>"$out/package-check.log" 2>&1; then
    echo "  PASS  $name"
    passed=$((passed + 1))
  else
    echo "  FAIL  $name (see $out/package-check.log)"
    failed=$((failed + 1))
  fi
}
: >"$out/package-check.log"
version="$(sed -n 's/^project(OrvaneMergeSplit VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)"

echo "== In the chroot, as the user ann"
check "the build tree is not in the chroot" test ! -e "$root$here"
check "installed files" in_root sh -c '
  for f in /usr/bin/orvane-msu /usr/bin/msu /usr/bin/msu-server \
           /usr/share/orvane-msu/CVN_4x.txt /usr/share/orvane-msu/CVN_PRE4x.txt \
           /usr/share/orvane-msu/cvn.ini /usr/share/orvane-msu/CVMergeSplitHelp.rtf \
           /usr/share/applications/com.orvane.MergeSplit.desktop \
           /usr/share/icons/hicolor/scalable/apps/com.orvane.MergeSplit.svg \
           /usr/share/metainfo/com.orvane.MergeSplit.metainfo.xml \
           /usr/share/man/man1/msu.1.gz /usr/share/man/man1/msu-server.1.gz \
           /usr/share/man/man1/orvane-msu.1.gz \
           /usr/share/bash-completion/completions/msu \
           /usr/share/bash-completion/completions/msu-server \
           /usr/share/doc/orvane-msu/copyright; do
    test -f "$f" || { echo "missing $f"; exit 1; }
  done'
check "msu --version" as_ann "test \"\$(msu --version)\" = 'msu $version'"
check "msu-server --version" as_ann "test \"\$(msu-server --version)\" = 'msu-server $version'"
check "orvane-msu --version" as_ann "test \"\$(orvane-msu --version)\" = 'orvane-msu $version'"
check "msu --help names the user's folder" \
  as_ann "msu --help | grep -qx 'Application folder: /home/ann/.local/share/orvane-msu'"
check "msu-server create" \
  as_ann "printf 'orvane\n' >pw && msu-server create ORVANE --password-file pw"
check "msu-server sample --attach" \
  as_ann "mkdir -p db && msu-server sample --out db --attach ORVANE --password-file pw"
check "msu merge (with the report as PDF)" \
  as_ann "msu merge --server ORVANE --db1 db/Fire1.mdf --db2 db/Fire2.mdf --new db/Merged.mdf \
            --report db/report.rtf --report-pdf db/report.pdf --password-file pw"
check "msu split" \
  as_ann "msu split --server ORVANE --db db/Split1.mdf --new db/SplitResult.mdf --keep 2,4 \
            --password-file pw"
check "new databases attached" \
  as_ann "msu-server databases ORVANE | grep -q Merged && \
          msu-server databases ORVANE | grep -q SplitResult"
check "the application folder: private, seeded, no working files left" \
  as_ann "cd .local/share/orvane-msu && test \"\$(stat -c %a .)\" = 700 && \
          cmp cvn.ini /usr/share/orvane-msu/cvn.ini && \
          cmp CVN_4x.txt /usr/share/orvane-msu/CVN_4x.txt && \
          ! ls | grep -q -e W_O_R_K_ -e tmp_rpt.rtf"
check "nothing written beside the programs or into the kit" \
  in_root sh -c "dpkg --verify orvane-msu && test -z \"\$(find /usr/bin /usr/share/orvane-msu \
                  -newer /tmp/$(basename "$deb") -type f)\""
check "bash completion" \
  as_ann "source /usr/share/bash-completion/completions/msu && COMP_WORDS=(msu merge --dr) && \
          COMP_CWORD=2 && _msu && test \"\${COMPREPLY[*]}\" = --dry-run"

# The wizard, as the desktop menu starts it: the Exec line of its entry.
exec_line="$(sed -n 's/^Exec=//p' "$root/usr/share/applications/com.orvane.MergeSplit.desktop" |
             sed 's/ %[fFuUik]//g')"
check "the wizard from its desktop entry (Exec=$exec_line) shows its window" \
  as_ann "xvfb-run -a -s '-screen 0 1024x768x24' bash -c '
            $exec_line & wizard=\$!
            for i in \$(seq 1 60); do
              xwininfo -root -tree | grep -q \"Orvane Merge/Split Utility\" && break
              sleep 0.5
            done
            sleep 2
            xwininfo -root -tree | grep \"Orvane Merge/Split Utility\"
            xwd -root -silent | xwdtopnm 2>/dev/null | pnmtopng >wizard.png
            kill -0 \$wizard && kill \$wizard'"
if [[ -f "$root/home/ann/wizard.png" ]]; then
  cp "$root/home/ann/wizard.png" "$out/wizard.png"
  echo "  Screenshot: $out/wizard.png"
fi

echo "== $passed passed, $failed failed; lintian: $lintian_errors errors ($out/lintian.txt)"
((failed == 0 && lintian_errors == 0))
