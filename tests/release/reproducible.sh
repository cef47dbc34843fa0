#!/bin/sh
# Checks that the release is reproducible: builds it a second time from a
# copy of this source tree in another folder, as another user (when run as
# root), with another umask and time zone and at a later time, and compares
# both executables, the archive and SHA256SUMS byte for byte with those of
# tools/build-windows in this tree, which must have run first.
#   tests/release/reproducible.sh
set -eu
cd "$(dirname "$0")/../.."
root=$(pwd)
second="$root/build/reproduce/another/folder/acm-inventory"
rm -rf "$root/build/reproduce"
mkdir -p "$second"
# The working tree as it is, uncommitted changes and the repository included.
tar --exclude=./build -cf - . | tar -C "$second" -xf -

sleep 2
if [ "$(id -u)" -eq 0 ]; then
    chown -R nobody:nogroup "$root/build/reproduce"
    as_other="setpriv --reuid=nobody --regid=nogroup --clear-groups"
else
    as_other=""
fi
# shellcheck disable=SC2086
$as_other env HOME="$second" TZ=Pacific/Kiritimati \
    sh -c 'umask 077 && cd "$1" && tools/build-windows' sh "$second" >"$root/build/reproduce/build.log" 2>&1 ||
    { cat "$root/build/reproduce/build.log"; echo "the second build failed" >&2; exit 1; }

status=0
for file in build/windows-x86/acm-inventory.exe build/windows-x64/acm-inventory.exe \
    build/package/SHA256SUMS $(cd build/package && ls acm-inventory-*-windows.zip | sed 's|^|build/package/|'); do
    if cmp "$file" "$second/$file"; then
        echo "identical: $file"
    else
        status=1
    fi
done
[ $status -eq 0 ] && rm -rf "$root/build/reproduce"
exit $status
