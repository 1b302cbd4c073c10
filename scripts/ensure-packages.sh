# Sourced by the set-up scripts: ensure_packages PACKAGE... installs the Debian packages
# that are missing when run as root; otherwise it prints the one line to run as root and
# ends the calling script. Without dpkg it only says what it would have needed.
ensure_packages() {
    if ! command -v dpkg-query >/dev/null 2>&1; then
        echo "No dpkg here: install these yourself if they are missing: $*"
        return 0
    fi
    local missing=() p
    for p in "$@"; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' ||
            missing+=("$p")
    done
    ((${#missing[@]})) || return 0
    if [ "$(id -u)" -eq 0 ]; then
        echo "Installing: ${missing[*]}"
        export DEBIAN_FRONTEND=noninteractive
        apt-get update -qq
        apt-get install -y --no-install-recommends "${missing[@]}"
    else
        echo "These packages are missing: ${missing[*]}"
        echo "Install them as root, then run this command again:"
        echo "  sudo sh -c 'apt-get update && apt-get install -y --no-install-recommends ${missing[*]}'"
        exit 1
    fi
}
