#!/usr/bin/env bash
# Removes what `make install` put in place, as its manifest lists it, and the folders of ours
# it leaves empty; shared folders (bin, share/man, …) stay.
# usage: [DESTDIR=ROOT] uninstall.sh INSTALL_MANIFEST (the manifest names files without DESTDIR)
set -euo pipefail
manifest=$1
if [ ! -f "$manifest" ]; then
    echo "make uninstall: $manifest is missing: nothing was installed from this build" >&2
    exit 1
fi
while IFS= read -r file; do
    [ -n "$file" ] || continue
    file=${DESTDIR:-}$file
    rm -f -- "$file"
    case $file in
    */lib/parallax3d/*) ours=${file%%/lib/parallax3d/*}/lib/parallax3d ;;
    */share/doc/parallax3d/*) ours=${file%%/share/doc/parallax3d/*}/share/doc/parallax3d ;;
    *) continue ;;
    esac
    [ -d "$ours" ] && find "$ours" -depth -type d -empty -delete
done < "$manifest"
rm -f -- "$manifest"
