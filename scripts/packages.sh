# Debian packages the suite needs to build and test, and the function that
# installs whichever are missing. Sourced by the test and demo commands.

OVIX_PACKAGES=(
    # build
    g++ cmake make pkg-config libexpat1-dev libgtest-dev libbenchmark-dev
    # system tests: sandbox, pseudo-terminals, the tools the programs run
    python3 python3-pytest python3-pexpect util-linux iproute2 procps passwd
    # the database server the backups dump and restore, its clients and
    # client library; idn for international domain names
    mariadb-server mariadb-client libmariadb-dev idn
)

ensure_packages() {
    local missing=()
    local pkg
    for pkg in "${OVIX_PACKAGES[@]}"; do
        if ! dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q '^install ok installed$'; then
            missing+=("$pkg")
        fi
    done
    if ((${#missing[@]} == 0)); then
        return 0
    fi
    echo "Installing: ${missing[*]}"
    export DEBIAN_FRONTEND=noninteractive
    apt-get update -qq
    apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
}
