# Sourced by every script that runs Wine: the project's Wine settings, and what
# an emulated host needs on top of them. POSIX sh.
export WINEDEBUG="${WINEDEBUG:--all}" WINEDLLOVERRIDES='mscoree,mshtml='

# Prints the path of an enabled binfmt_misc handler for i386 ELF programs, if
# any: there one is, every 32-bit program (Wine's 32-bit half too) runs under it.
lumaris_i386_handler() {
    for entry in /proc/sys/fs/binfmt_misc/*; do
        [ -f "$entry" ] || continue
        awk 'NR == 1 && $0 != "enabled" { exit 1 }
             /^magic/ { found = substr($2, 1, 10) == "7f454c4601" && substr($2, 37, 4) == "0300" }
             END { exit !found }' "$entry" 2>/dev/null && { echo "$entry"; return 0; }
    done
    return 1
}

# Under emulation: the tests are told (a hardware fault reaches a program
# differently there), and since qemu-i386 ignores MAP_FIXED_NOREPLACE, Wine's
# start-up reservation of the address space would probe it 64 KiB at a time,
# about 55 s per process. A 2 GiB guest address space, what a 32-bit Windows
# process has anyway, avoids that.
if lumaris_i386_handler >/dev/null; then
    export LUMARIS_I386_EMULATED=1
    [ -n "${QEMU_RESERVED_VA:-}" ] || export QEMU_RESERVED_VA=0x7fff0000
fi
