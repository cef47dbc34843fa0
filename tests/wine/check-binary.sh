#!/bin/sh
# Checks a Windows build of acm-inventory: it imports nothing but system DLLs
# (the kernel, the C runtime, the ACM) and carries its version information
# and an asInvoker manifest.
#   check-binary.sh <objdump> <exe> <version>
set -eu
objdump=$1
exe=$2
version=$3
status=0

dlls=$("$objdump" -p "$exe" | sed -n 's/^[[:space:]]*DLL Name: //p')
[ -n "$dlls" ] || { echo "no import table read from $exe"; exit 1; }
for dll in $dlls; do
    case $(echo "$dll" | tr 'A-Z' 'a-z') in
    kernel32.dll | msvcrt.dll | ucrtbase.dll | api-ms-win-crt-*.dll | msacm32.dll) ;;
    *) echo "imports a DLL that is not a system DLL: $dll"; status=1 ;;
    esac
done
echo "$dlls" | grep -qix 'msacm32.dll' || { echo "does not import MSACM32.dll"; status=1; }

# Version strings are UTF-16 in the resource section; the manifest is UTF-8.
wide=$(strings -el "$exe")
for text in "Audio Compression Manager codec inventory" "acm-inventory" "$version"; do
    echo "$wide" | grep -qxF "$text" || { echo "no version string: $text"; status=1; }
done
strings "$exe" | grep -q 'requestedExecutionLevel level="asInvoker"' ||
    { echo "no asInvoker manifest"; status=1; }
strings "$exe" | grep -q 'supportedOS Id=' || { echo "no supportedOS entries"; status=1; }

[ $status -eq 0 ] && echo "$exe: imports $(echo $dlls), version $version, manifest present"
exit $status
