#!/usr/bin/env bash
# Makes sure this host runs Wine's 32-bit half, which runs the tool and every
# test program. Most x86-64 kernels run i386 programs themselves; some refuse
# them (IA-32 emulation switched off). There the i386 programs are handed to
# qemu-i386 through a binfmt_misc handler instead, which this script registers
# (as root) and which stays registered until reboot. On a host that runs them
# natively it registers nothing: the handler would slow every 32-bit program.
# Says once on stderr when the host is emulated. Needs wine32 installed.
set -euo pipefail
repo="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
source "$repo/cmake/wine-env.sh"

binfmt=/proc/sys/fs/binfmt_misc
# ELF, 32-bit, little-endian, version 1, any OS ABI; executable or shared object; machine 3 (i386).
i386_magic='\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00'
i386_mask='\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff'

# Wine's own 32-bit loader is the probe: whatever runs it runs the tests.
i386_runs() {
    /usr/lib/wine/wine --version >/dev/null 2>&1
}

say_emulated() {
    echo "Note: 32-bit programs on this host run under CPU emulation ($(lumaris_i386_handler), registered" \
         "until reboot), and so do Wine's 32-bit half, the tool and its tests: each Windows process takes" \
         "about 1 s to start instead of 0.05 s." >&2
}

if lumaris_i386_handler >/dev/null; then
    say_emulated
    exit 0
fi
i386_runs && exit 0

if [ "$(id -u)" -ne 0 ]; then
    cat >&2 <<EOF
This host's kernel refuses 32-bit programs, and Wine runs the tool and its tests
as 32-bit programs. They can run under CPU emulation (qemu-i386 through
binfmt_misc); registering it takes root, once per boot:
    sudo $repo/scripts/i386-host.sh
EOF
    exit 1
fi

source "$repo/scripts/install-packages.sh"
install_packages qemu-user-static
[ -f "$binfmt/register" ] || mount -t binfmt_misc binfmt_misc "$binfmt"
if [ -f "$binfmt/qemu-i386" ]; then
    echo 1 >"$binfmt/qemu-i386"  # registered before, then disabled
else
    # F: the kernel opens the interpreter now, so it is found from any mount namespace.
    printf ':qemu-i386:M::%s:%s:%s:F' "$i386_magic" "$i386_mask" "$(command -v qemu-i386-static)" \
        >"$binfmt/register"
fi
if ! i386_runs; then
    echo "This host refuses 32-bit programs, and they do not run under qemu-i386 either." >&2
    exit 1
fi
echo "This host's kernel refuses 32-bit programs: registered qemu-i386 to run them." >&2
say_emulated
