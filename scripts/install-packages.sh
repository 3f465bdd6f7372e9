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
    $sudo apt-get update -q >&2
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -q --no-install-recommends "${missing[@]}" >&2
}
