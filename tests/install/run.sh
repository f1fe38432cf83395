#!/usr/bin/env bash
# The installed package as a user meets it: installs the built tree into a
# scratch prefix, builds a small C program against it with find_package and
# with pkg-config and runs both, checks the man page and the bash
# completion, and packs a .deb whose contents are listed.
#   run.sh SOURCE_DIR BUILD_DIR
set -euo pipefail
source_dir=$1
build_dir=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
prefix=$work/prefix

fail() { echo "FAIL: $*" >&2; exit 1; }

cmake --install "$build_dir" --prefix "$prefix" >/dev/null
for f in bin/morvelin include/morvelin/morvelin.h \
         share/man/man1/morvelin.1 share/bash-completion/completions/morvelin share/doc/morvelin/LICENSE; do
  [ -e "$prefix/$f" ] || fail "$f is not installed"
done
# Every public header, each provided by one of the two libraries.
installed_headers=$(ls "$prefix/include/morvelin" | tr '\n' ' ')
[ "$installed_headers" = "$(ls "$source_dir/include/morvelin" | tr '\n' ' ')" ] ||
  fail "installed headers: $installed_headers"
# The library folder is GNUInstallDirs' choice: lib, lib64, or with the /usr
# prefix on Debian lib/<multiarch triplet>. The CMake package and the
# pkg-config file lie beside the library.
library=$(find "$prefix" -name libmorvelin.so -print -quit)
[ -n "$library" ] || fail "libmorvelin.so is not installed"
libdir=$(dirname "$library")
[ -e "$libdir/libmorvelin-cxx.so.0" ] || fail "libmorvelin-cxx.so.0 is not installed"
for f in cmake/morvelin/morvelin-config.cmake pkgconfig/morvelin.pc pkgconfig/morvelin-cxx.pc; do
  [ -e "$libdir/$f" ] || fail "${libdir#"$prefix"/}/$f is not installed"
done
"$prefix/bin/morvelin" --version | grep -q '^morvelin [0-9]' || fail "the installed CLI does not run"

# find_package(morvelin) and morvelin::morvelin.
generator=()
command -v ninja >/dev/null && generator=(-G Ninja)
cmake -S "$source_dir/tests/install/consumer" -B "$work/consumer" "${generator[@]}" \
      -DCMAKE_PREFIX_PATH="$prefix" >/dev/null
cmake --build "$work/consumer" >/dev/null
"$work/consumer/consumer" | grep -qx 'defaults 0 0, detected 0' || fail "the CMake consumer"
# morvelin::cxx: morvelin::Convert with a RINEX sink writes what the command does.
sample=$source_dir/examples/SIMU3450.dat
said=$("$work/consumer/cxx_consumer" "$sample" "$work/cxx-out") || fail "the C++ consumer"
[[ "$said" =~ ^epochs\ [1-9][0-9]*,\ rinex\ epochs\ [1-9][0-9]*,\ (.+)$ ]] || fail "the C++ consumer said: $said"
[ -s "${BASH_REMATCH[1]}" ] || fail "the C++ consumer's RINEX file ${BASH_REMATCH[1]} is missing"
"$prefix/bin/morvelin" convert -q -d "$work/cli-out" "$sample" >/dev/null || fail "the installed CLI's conversion"
for f in SIMU3450.gpb SIMU3450.epp SIMU3450.sta; do
  cmp -s "$work/cxx-out/$f" "$work/cli-out/$f" || fail "the C++ consumer's $f differs from the command's"
done

# pkg-config.
if command -v pkg-config >/dev/null; then
  pc_dir=$libdir/pkgconfig
  flags=$(PKG_CONFIG_PATH=$pc_dir pkg-config --cflags --libs morvelin)
  pc_libdir=$(PKG_CONFIG_PATH=$pc_dir pkg-config --variable=libdir morvelin)
  [ "$(realpath "$pc_libdir")" = "$(realpath "$libdir")" ] || fail "morvelin.pc gives libdir $pc_libdir, not $libdir"
  # shellcheck disable=SC2086
  cc "$source_dir/tests/install/consumer/main.c" -o "$work/pc-consumer" $flags -Wl,-rpath,"$pc_libdir"
  "$work/pc-consumer" | grep -qx 'defaults 0 0, detected 0' || fail "the pkg-config consumer"
  flags=$(PKG_CONFIG_PATH=$pc_dir pkg-config --cflags --libs morvelin-cxx)
  # shellcheck disable=SC2086
  c++ "$source_dir/tests/install/consumer/main.cpp" -o "$work/pc-cxx-consumer" $flags -Wl,-rpath,"$pc_libdir"
  "$work/pc-cxx-consumer" "$sample" "$work/pc-cxx-out" | grep -q '^epochs [1-9]' || fail "the pkg-config C++ consumer"
else
  echo "pkg-config not installed: its check is left out"
fi

# The Python module from the prefix (where it was built), converting the sample.
python_dir=$prefix/lib/python3/dist-packages
if [ -d "$python_dir/morvelin" ]; then
  python=/usr/bin/python3  # Debian's, which the module is built for
  [ -x "$python" ] || python=python3
  PYTHONPATH=$python_dir "$python" -c 'import sys, morvelin
o = morvelin.convert(sys.argv[1], output_dir=sys.argv[2])
assert o.ok and len(morvelin.read_gpb(sys.argv[2] + "/SIMU3450.gpb")) == 7200, o' "$sample" "$work/py-out" ||
    fail "the installed Python module"
fi

# The man page renders without warnings.
if command -v groff >/dev/null; then
  warnings=$(groff -man -Tutf8 -ww -z "$prefix/share/man/man1/morvelin.1" 2>&1)
  [ -z "$warnings" ] || fail "man page: $warnings"
fi

# The completion offers the commands and each command's options.
complete_words() {
  bash -c 'source "$1"; shift; COMP_WORDS=("$@"); COMP_CWORD=$(($# - 1)); COMP_LINE="$*"; COMP_POINT=${#COMP_LINE}
           _morvelin morvelin; printf "%s\n" "${COMPREPLY[@]}"' _ "$prefix/share/bash-completion/completions/morvelin" "$@" |
    sort | tr '\n' ' '
}
commands=$(complete_words morvelin '')
for c in convert detect inspect rinex time; do
  [[ " $commands" == *" $c "* ]] || fail "completion of the commands: $commands"
done
[ "$(complete_words morvelin inspect --)" = "--csv --from --help --prn --to " ] || fail "completion of inspect"
[ "$(complete_words morvelin qc --)" = "--date --epp --help --json --kinematic --mask --position --svg --week " ] ||
  fail "completion of qc"

# The Debian package.
if command -v dpkg-deb >/dev/null; then
  (cd "$work" && cpack -G DEB --config "$build_dir/CPackConfig.cmake" -B "$work/deb" >/dev/null)
  deb=$(ls "$work"/deb/*.deb)
  contents=$(dpkg-deb -c "$deb")
  for f in ./usr/bin/morvelin ./usr/include/morvelin/morvelin.h ./usr/share/man/man1/morvelin.1 \
           ./usr/share/doc/morvelin/LICENSE; do
    grep -q " $f\$" <<<"$contents" || fail "$f is not in $(basename "$deb")"
  done
  grep -q '/libmorvelin\.so' <<<"$contents" || fail "libmorvelin.so is not in $(basename "$deb")"
  grep -q '/libmorvelin-cxx\.so\.0' <<<"$contents" || fail "libmorvelin-cxx.so.0 is not in $(basename "$deb")"
  grep -q '/usr/include/morvelin/converter\.h$' <<<"$contents" || fail "the C++ headers are not in $(basename "$deb")"
  if [ -d "$python_dir/morvelin" ]; then
    grep -q ' ./usr/lib/python3/dist-packages/morvelin/_morvelin\..*\.so$' <<<"$contents" ||
      fail "the Python module is not in $(basename "$deb")"
  fi
  dpkg-deb -f "$deb" Package Version Depends Maintainer
  # Unpacked, the package's command converts the sample.
  dpkg-deb -x "$deb" "$work/root"
  "$work/root/usr/bin/morvelin" convert -q -d "$work/converted" "$source_dir/examples/SIMU3450.dat" >/dev/null ||
    fail "the packaged morvelin does not convert the sample"
  [ -s "$work/converted/SIMU3450.gpb" ] || fail "the packaged morvelin wrote no .gpb"
fi
echo "install test passed"
