#!/usr/bin/env bash
# Boots Debian 12's own kernel (the 6.1 series, the one its users run) under
# QEMU in software emulation, with an initramfs holding the load probe, the
# decoding helper, the taken-over helper and one small picture of each
# format, and runs there what tst_hostile_pictures runs on this machine's
# kernel: every row of tests/taken_over.tsv and every picture, loaded by an
# unprivileged user; then the pictures again where user namespaces are
# refused; and, for each way, which fences a helper stands behind
# (tests/kernel/init). Seccomp and namespaces behave differently from one
# kernel to the next, and the machine running the tests has a much newer one.
#
# Usage: run-on-debian12-kernel.sh BUILD_DIR
# The kernel is fetched once into BUILD_DIR/debian12-kernel/; delete that
# folder for a newer one. Needs qemu-system-x86, busybox-static, cpio,
# imagemagick, webp and libheif-examples (scripts/bootstrap); no root, no KVM.
set -euo pipefail
src=$(cd "$(dirname "$0")/../.." && pwd)
build=$(cd "${1:?usage: run-on-debian12-kernel.sh BUILD_DIR}" && pwd)
work=$build/debian12-kernel
mkdir -p "$work"

# The kernel the metapackage linux-image-amd64 names in bookworm and its
# security updates, fetched by an apt of its own so that neither the
# machine's release nor its package lists matter.
fetch_kernel() {
    local apt=$work/apt
    mkdir -p "$apt/lists/partial" "$apt/cache/archives/partial" "$apt/parts" "$apt/deb"
    : >"$apt/status"
    cat >"$apt/sources.list" <<SOURCES
deb [signed-by=/usr/share/keyrings/debian-archive-keyring.gpg] http://deb.debian.org/debian bookworm main
deb [signed-by=/usr/share/keyrings/debian-archive-keyring.gpg] http://deb.debian.org/debian-security bookworm-security main
SOURCES
    cat >"$apt/apt.conf" <<CONF
Dir::Etc::Parts "$apt/parts";
Dir::Etc::SourceList "$apt/sources.list";
Dir::Etc::SourceParts "$apt/parts";
Dir::State::Lists "$apt/lists";
Dir::State::status "$apt/status";
Dir::Cache "$apt/cache";
APT::Architecture "amd64";
APT::Architectures { "amd64"; };
Acquire::Languages "none";
Debug::NoLocking "true";
APT::Sandbox::User "root";
CONF
    export APT_CONFIG=$apt/apt.conf
    apt-get update -qq
    local image
    image=$(apt-cache depends linux-image-amd64 | awk '$1 == "Depends:" && $2 ~ /^linux-image-/ { print $2; exit }')
    (cd "$apt/deb" && apt-get download -qq "$image")
    dpkg-deb --fsys-tarfile "$apt"/deb/"$image"_*.deb | tar -x -C "$apt" --wildcards './boot/vmlinuz-*'
    # QEMU starts the kernel itself from its ELF image (the PVH entry):
    # emulated, the bzImage's own unpacking of its xz payload takes longer
    # than the cases.
    local vmlinuz=("$apt"/boot/vmlinuz-*) xz
    xz=$(LC_ALL=C grep -m1 -obUaP '\xfd7zXZ\x00' "${vmlinuz[0]}" | cut -d: -f1)
    tail -c +$((xz + 1)) "${vmlinuz[0]}" >"$apt/payload.xz"
    xz -dc --single-stream "$apt/payload.xz" >"$apt/vmlinux"
    mv "$apt/vmlinux" "$work/vmlinux"
    rm -rf "$apt"
}
[ -s "$work/vmlinux" ] || fetch_kernel

# The initramfs: busybox, util-linux's setpriv (busybox's cannot change
# the user), the three programs, every library they link and libheif with
# those it links (the HEIF reader opens it itself), the table, the pictures.
root=$work/root
rm -rf "$root"
mkdir -p "$root"/{bin,mok/pictures,proc,dev,tmp}
cp /bin/busybox "$root/bin/"
cp "$src/tests/kernel/init" "$root/init"
cp "$src/tests/taken_over.tsv" "$root/mok/"
programs=("$build/mok-decode" "$build/tests/mok_load_probe" "$build/tests/mok_fence_helper"
    /usr/bin/setpriv)
cp "${programs[@]}" "$root/mok/"
libheif=$(ldconfig -p | awk '$1 == "libheif.so.1" { print $NF; exit }')
for library in "$libheif" $(ldd "${programs[@]}" "$libheif" |
    awk '$2 == "=>" && $3 ~ /^\// { print $3 } $1 ~ /^\// && NF == 2 { print $1 }' | sort -u); do
    mkdir -p "$root$(dirname "$library")"
    cp -L "$library" "$root$library"
done

# One small picture of each format: the emulated machine decodes three to
# four times slower, and the CPU fence counts that time. (heif-enc makes
# AVIF from a JPEG; from some PNGs it aborts.)
pictures=$root/mok/pictures
convert -size 96x64 gradient:navy-orange "$pictures/picture.png"
for format in jpg gif bmp; do
    convert "$pictures/picture.png" "$pictures/picture.$format"
done
cwebp -quiet "$pictures/picture.png" -o "$pictures/picture.webp"
heif-enc -q 50 "$pictures/picture.jpg" -o "$pictures/picture.heic" >/dev/null
heif-enc -A -q 50 "$pictures/picture.jpg" -o "$pictures/picture.avif" >/dev/null

# Left uncompressed, and its root a ramfs rather than a tmpfs: the kernel
# copies it faster than it inflates it, and the libraries mapped from it are
# then not counted as shared memory, which the cases measure.
(cd "$root" && find . | cpio --quiet -o -H newc -R 0:0) >"$work/initramfs.cpio"

# One emulated processor, without ERMS: with a second one, each flush of the
# TLB stops both and the cases take twice as long; and emulated "rep stosb"
# and "rep movsb", which the kernel clears and copies pages with where ERMS
# is announced, are several times slower than plain moves. The serial
# console is the only way out: a line for each case, then the count.
log=$work/console.log
started=$(date +%s)
timeout -k 10 300 qemu-system-x86_64 -accel tcg -cpu max,erms=off -smp 1 -m 2048 -nic none \
    -kernel "$work/vmlinux" -initrd "$work/initramfs.cpio" -no-reboot -nographic \
    -append "console=ttyS0 rootfstype=ramfs panic=-1 quiet" </dev/null |
    sed -u 's/\r$//; s/\x1b\[[0-9;?]*[a-zA-Z]//g; s/\x1bc//g' | tee "$log" || true
echo "booted and ran in $(($(date +%s) - started)) s"
grep -q '^debian12-kernel: [1-9][0-9]* passed, 0 failed$' "$log" || {
    echo "FAIL: not every case passed on Debian 12's kernel (console: $log)" >&2
    exit 1
}
