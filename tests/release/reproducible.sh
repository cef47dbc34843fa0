#!/bin/sh
# Checks that the release is reproducible: builds it a second time from a
# copy of this source tree in another folder, as another user (when run as
# root), with another umask and time zone and at a later time, and compares
# both executables, the archive and SHA256SUMS byte for byte with those that
# tools/build-windows makes in this tree; and checks that everything is
# stamped with the one time the build goes by.
#   tests/release/reproducible.sh
set -eu
cd "$(dirname "$0")/../.."
root=$(pwd)
second="$root/build/reproduce/another/folder/acm-inventory"
tools/build-windows
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

# One time for everything: SOURCE_DATE_EPOCH, else the last commit's time, in
# both PE headers and on every archive entry (whose DOS times hold even
# seconds only).
epoch=$(cat "$second/build/windows-x64/source-date-epoch")
expected=${SOURCE_DATE_EPOCH:-$(git -c safe.directory='*' log -1 --format=%ct 2>/dev/null ||
    echo 315532800)}
if [ "$epoch" != "$expected" ]; then
    echo "stamped with $epoch, not $expected" >&2
    status=1
fi
for arch in x86 x64; do
    [ $arch = x86 ] && objdump=i686-w64-mingw32-objdump || objdump=x86_64-w64-mingw32-objdump
    stamp=$(TZ=UTC "$objdump" -p "build/windows-$arch/acm-inventory.exe" |
        sed -n 's/^Time\/Date[[:space:]]*//p')
    if [ "$(date -u -d "$stamp" +%s)" != "$epoch" ]; then
        echo "windows-$arch: PE time stamp $stamp, not $(date -u -d "@$epoch")" >&2
        status=1
    fi
done
for entry in $(TZ=UTC zipinfo -T build/package/acm-inventory-*-windows.zip |
    sed -n 's/.* \([0-9]\{8\}\.[0-9]\{6\}\) .*/\1/p'); do
    at=$(date -u -d "$(echo "$entry" | sed 's/\(........\)\.\(..\)\(..\)\(..\)/\1 \2:\3:\4/')" +%s)
    if [ $((at - epoch)) -lt -1 ] || [ $((at - epoch)) -gt 1 ]; then
        echo "an archive entry is dated $entry, not $(date -u -d "@$epoch")" >&2
        status=1
    fi
done
[ $status -eq 0 ] && echo "one time stamped on everything: $(date -u -d "@$epoch")"

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
