# Sourced by the scripts that need packages from Debian: install_packages
# PACKAGE... installs those of them that are not installed yet (with sudo when
# not root), adding the i386 architecture first when one of them is ":i386".
install_packages() {
    local package missing=() sudo=""
    for package in "$@"; do
        dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" || missing+=("$package")
    done
    [ ${#missing[@]} -gt 0 ] || return 0
    echo "Installing: ${missing[*]}" >&2
    [ "$(id -u)" -eq 0 ] || sudo="sudo"
    if [[ " ${missing[*]}" == *:i386* ]] && ! dpkg --print-foreign-architectures | grep -qx i386; then
        $sudo dpkg --add-architecture i386
    fi
    # A mirror in the middle of a sync fails an index now and then: try again,
    # and go on with the lists there are if it keeps failing (the install then
    # says what it cannot find).
    local attempt
    for attempt in 1 2 3; do
        $sudo apt-get update -q >&2 && break
        echo "apt-get update failed (attempt $attempt of 3)" >&2
        [ "$attempt" -eq 3 ] || sleep 10
    done
    # An install that was killed half way (a run stopped during set-up) blocks
    # every later one until dpkg finishes it.
    $sudo env DEBIAN_FRONTEND=noninteractive dpkg --configure -a >&2
    # Through env, so that it reaches apt also through sudo, which drops the environment.
    $sudo env DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends "${missing[@]}" >&2
}

# What building, testing and running under Wine need: what setup.sh installs.
# shellcheck disable=SC2034  # used by the scripts that source this one
lumaris_build_packages=(cmake make unzip mingw-w64 g++-mingw-w64-i686 googletest wine wine64 wine32:i386)
# What cuts a release (scripts/release.sh): the build tools its SBOM lists, and
# base-files, which gives the licence texts the notices carry.
# shellcheck disable=SC2034
lumaris_release_tools=(g++-mingw-w64-i686-posix gcc-mingw-w64-i686-posix binutils-mingw-w64-i686
                       mingw-w64-i686-dev mingw-w64-common cmake make zip python3 git)
lumaris_release_packages=("${lumaris_release_tools[@]}" base-files)

# The Debian mirror this host's apt uses, for a root made here to come from
# the same place.
debian_mirror() {
    local uri
    uri=$(cat /etc/apt/sources.list /etc/apt/sources.list.d/*.list /etc/apt/sources.list.d/*.sources 2>/dev/null |
        awk '/^URIs:/ { for (i = 2; i <= NF; i++) print $i } /^deb / { print ($2 ~ /^\[/ ? $3 : $2) }' |
        grep -v -e security -e '^$' | grep '/debian/\?$' | head -n 1 || true)
    echo "${uri:-http://deb.debian.org/debian}"
}
