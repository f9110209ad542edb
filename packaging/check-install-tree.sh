#!/usr/bin/env bash
# Installs the build into a scratch root as the package does (prefix /usr) and checks the
# layout the programs rely on: every file in its place, the component reachable from the
# system components folder, no path into the build tree left in a program, and every
# installed file in the manifest, so an uninstall leaves nothing behind.
# usage: check-install-tree.sh BUILD_DIR SCRATCH_ROOT
set -euo pipefail
build=$1 root=$2
rm -rf "$root"
# One named component, so the manifest of a real `make install` (install_manifest.txt) stays.
DESTDIR=$root cmake --install "$build" --prefix /usr --component Unspecified >/dev/null
manifest=$build/install_manifest_Unspecified.txt
status=0
fail() { echo "$*"; status=1; }

expected=(
    usr/bin/parallax3d usr/bin/parallax3d-vcam usr/bin/parallax3d-cameras
    usr/lib/parallax3d/Resources/Parallax3D_XXX.component/Parallax3D_XXX.so
    usr/lib/parallax3d/Components/Parallax3D_XXX.component/Parallax3D_XXX.so
    usr/lib/frei0r-1/CIParallax3DInput.so
    usr/share/applications/parallax3d.desktop
    usr/share/metainfo/com.red_kite.Parallax3D.metainfo.xml
    usr/share/icons/hicolor/scalable/apps/parallax3d.svg
    usr/share/icons/hicolor/48x48/apps/parallax3d.png
    usr/share/icons/hicolor/256x256/apps/parallax3d.png
    usr/share/man/man1/parallax3d.1.gz usr/share/man/man1/parallax3d-vcam.1.gz
    usr/share/man/man1/parallax3d-cameras.1.gz
    usr/lib/modules-load.d/parallax3d.conf usr/lib/modprobe.d/parallax3d.conf
    usr/lib/systemd/user/parallax3d-vcam.service
    usr/share/doc/parallax3d/copyright usr/share/doc/parallax3d/changelog.gz
)
for file in "${expected[@]}"; do
    [ -e "$root/$file" ] || fail "not installed: /$file"
done
link=$root/usr/lib/parallax3d/Components/Parallax3D_XXX.component
[ -L "$link" ] && [ "$(readlink "$link")" = ../Resources/Parallax3D_XXX.component ] ||
    fail "the components folder's entry is not the relative link to Resources"

for file in "$root"/usr/bin/* "$root"/usr/lib/frei0r-1/*.so "$root"/usr/lib/parallax3d/Resources/*/*.so; do
    if readelf -d "$file" | grep -qE 'R(UN)?PATH'; then
        fail "${file#"$root"} keeps a library search path: $(readelf -d "$file" | grep -E 'R(UN)?PATH')"
    fi
done

# The manifest names files without DESTDIR.
while IFS= read -r file; do
    grep -qxF "${file#"$root"}" "$manifest" || fail "installed but not in the manifest: ${file#"$root"}"
done < <(find "$root" -type f -o -type l)
exit $status
