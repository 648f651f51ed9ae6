#!/usr/bin/env bash
# Builds and packages the head commit of a source folder twice, as CI builds it, and checks
# that the two .deb files are the same bytes. The second build differs from the first in all
# that must not matter: the folder and its depth, the time (it starts when the first one is
# done) and the time zone, the locale, the umask of the checkout, the build and cpack, and,
# when run as root, the user. The project's build fixes the package's times itself
# (dist/reproducible.cmake), so nothing is exported here: a plain cmake, cmake --build and
# cpack are what is checked, and a SOURCE_DATE_EPOCH of the caller's is taken away.
# Usage: reproducible.sh SOURCE_DIR [SCRATCH_DIR]
# As root the second build is by LUMETTA_REPRO_USER, by default nobody.
set -euo pipefail
src=$(cd "$1" && pwd)
work=$(mktemp -d "${2:-${TMPDIR:-/tmp}}/reproducible.XXXXXX")
trap 'rm -rf "$work"' EXIT
chmod 755 "$work"
fail() { echo "FAIL: $*"; exit 1; }
unset SOURCE_DATE_EPOCH
# The source folder may be another user's: git reads it all the same.
git config --file "$work/gitconfig" safe.directory '*'
src_git() { GIT_CONFIG_GLOBAL=$work/gitconfig git "$@"; }
commit=$(src_git -C "$src" rev-parse HEAD)

# A locale other than C.UTF-8 (its decimal comma and month names are what would show), else
# at least another value.
other_locale=$(locale -a | grep -ix -m1 -e 'fr_FR.utf-\?8' -e 'de_DE.utf-\?8' || true)
other_locale=${other_locale:-$(locale -a | grep -ivx -m1 -e 'c' -e 'c.utf-\?8' -e 'posix' || echo POSIX)}
run_as=()
if [ "$(id -u)" -eq 0 ]; then
  user=${LUMETTA_REPRO_USER:-nobody}
  run_as=(runuser -u "$user" --)
else
  user=$(id -un)
  echo "note: not root, so both builds are by $user"
fi

# clone DIR UMASK: the commit, checked out under that umask.
clone() {
  mkdir -p "$(dirname "$1")"
  (umask "$2" && src_git clone -q --no-hardlinks "$src" "$1" && git -C "$1" checkout -q --detach "$commit")
}
# The build CI makes of the product, then its package, with the output in DIR.log.
steps='cd "$1" && umask "$2" &&
  { cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DLUMETTA_TESTS=OFF -DLUMETTA_BENCH=OFF &&
    cmake --build build -j2 && (cd build && cpack -G DEB); } >"$1.log" 2>&1'

a=$work/a/lumetta
clone "$a" 022
env LC_ALL=C.UTF-8 LANG=C.UTF-8 TZ=UTC bash -c "$steps" steps "$a" 022 ||
  fail "the first build failed: $(tail -n 20 "$a.log")"

b=$work/b/one/level/deeper/lumetta
clone "$b" 002
[ ${#run_as[@]} -eq 0 ] || chown -R "$user" "$work/b"
(cd "$work/b" && "${run_as[@]}" env HOME="$work/b" LC_ALL="$other_locale" LANG="$other_locale" \
  TZ=Pacific/Kiritimati bash -c "$steps" steps "$b" 002) ||
  fail "the second build failed: $(tail -n 20 "$b.log")"

deb_a=$(ls "$a"/build/lumetta_*.deb)
deb_b=$(ls "$b"/build/lumetta_*.deb)
if ! cmp -s "$deb_a" "$deb_b"; then
  echo "the two packages differ:"
  if command -v diffoscope >/dev/null; then
    diffoscope --text - "$deb_a" "$deb_b" | head -n 300 || true
  else
    diff <(dpkg-deb -c "$deb_a") <(dpkg-deb -c "$deb_b") || true
    cmp -l "$deb_a" "$deb_b" | head -n 20 || true
  fi
  fail "two builds of ${commit:0:12} give different packages"
fi
echo "PASS: two builds of ${commit:0:12} give the same package ($(basename "$deb_a")): folders, time," \
  "time zone, locale (C.UTF-8, $other_locale), umask (022, 002), user ($(id -un), $user)"
