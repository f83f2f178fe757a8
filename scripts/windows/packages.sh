# Sourced by the Windows scripts: installs Debian packages when they are missing, as root or
# through sudo, like scripts/setup.sh; without either it prints the apt-get line to run by hand and
# exits 1.
#   . scripts/windows/packages.sh
#   need_packages wine64 xvfb ...   # returns when every package is installed
#   need_deb_src libsodium          # apt-get source finds it (a deb-src entry added if missing)

# The command that runs apt-get as root: empty when this is root, "sudo" when sudo is at hand.
# Fails when neither.
_packages_sudo() {
    if [ "$(id -u)" -eq 0 ]; then
        _sudo=""
    elif command -v sudo >/dev/null 2>&1; then
        _sudo="sudo"
    else
        return 1
    fi
}

# _packages_hint WHAT LINE: what to run by hand.
_packages_hint() {
    cat >&2 <<EOF
$1 once as root, then run this again:
    $2
(or run this script once as root, or as a user who may use sudo).
EOF
}

# (grep without -q here and below: it reads all its input, so the command before it gets no
# broken pipe that would fail a caller's pipefail, as apt-cache's long output otherwise does.)
need_packages() {
    local missing=() p status=0
    for p in "$@"; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep "install ok installed" >/dev/null \
            || missing+=("$p")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    local line="apt-get update && apt-get install -y --no-install-recommends ${missing[*]}"
    echo "Installing: ${missing[*]}" >&2
    if ! _packages_sudo; then
        echo "Not root, and there is no sudo to install packages with." >&2
        _packages_hint "Install them" "$line"
        exit 1
    fi
    $_sudo env DEBIAN_FRONTEND=noninteractive apt-get update -qq >&2 \
        && $_sudo env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq \
            --no-install-recommends "${missing[@]}" >&2 || status=$?
    if [ "$status" -ne 0 ]; then
        echo "Installing the packages failed (exit code $status)." >&2
        _packages_hint "Install them" "$line"
        exit 1
    fi
}

# need_deb_src PACKAGE: apt-get source can fetch the source package PACKAGE; a deb-src entry for
# the configured Debian archive is added when there is none.
need_deb_src() {
    apt-cache showsrc "$1" 2>/dev/null | grep '^Package:' >/dev/null && return 0
    local add=1
    if grep -rqs '^Types:.*deb-src' /etc/apt/sources.list.d/ \
        || grep -qs '^deb-src' /etc/apt/sources.list; then
        add=""
    fi
    local line="apt-get update"
    if [ -n "$add" ]; then
        line="sed 's/^Types: deb\$/Types: deb-src/' /etc/apt/sources.list.d/debian.sources"
        line+=" > /etc/apt/sources.list.d/launcher-deb-src.sources && apt-get update"
        echo "Adding a deb-src entry for the configured Debian archive." >&2
    fi
    if ! _packages_sudo; then
        echo "Not root, and there is no sudo to fetch the source of $1 with." >&2
        _packages_hint "Run" "$line"
        exit 1
    fi
    if [ -n "$add" ]; then
        sed 's/^Types: deb$/Types: deb-src/' /etc/apt/sources.list.d/debian.sources \
            | $_sudo tee /etc/apt/sources.list.d/launcher-deb-src.sources >/dev/null || {
            _packages_hint "Run" "$line"
            exit 1
        }
    fi
    $_sudo env DEBIAN_FRONTEND=noninteractive apt-get update -qq >&2 \
        && apt-cache showsrc "$1" 2>/dev/null | grep '^Package:' >/dev/null || {
        echo "The source package $1 cannot be found." >&2
        _packages_hint "Run" "$line"
        exit 1
    }
}
