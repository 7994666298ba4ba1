# Sourced by the scripts that install packages: sets root_cmd to what runs a command as root
# (nothing when root already, else sudo), or stops with what to do when neither is at hand.
root_cmd=()
if [ "$(id -u)" -ne 0 ]; then
    if ! command -v sudo >/dev/null; then
        echo "$(basename "$0"): installing packages needs root, and sudo is not installed." >&2
        echo "Run it as root, then go on as before:  su - -c 'bash $(realpath "$0")'" >&2
        echo "(or, as root, install sudo and add yourself to its group:" >&2
        echo " su - -c 'apt-get install sudo && adduser $(id -un) sudo', then log in again)." >&2
        exit 1
    fi
    root_cmd=(sudo)
fi
