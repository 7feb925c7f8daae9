#!/usr/bin/env bash
# Downloads Debian's own source packages into the current folder, through a private
# sources list and private apt state, so the machine's apt set-up is left untouched.
#
#   windows/fetch-sources.sh APT_DIR NAME=INSTALLED_VERSION...
#
# Mirrors keep only the latest revisions, so the installed one may be gone: each package
# is taken in the revision that choose-source-version.sh finds nearest among those of the
# same upstream version that the mirror serves (one that the mirror lists but cannot
# deliver is passed over). Prints NAME=VERSION for each package, the version downloaded.
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
apt_dir=${1:?usage: fetch-sources.sh APT_DIR NAME=VERSION...}
shift

log() { echo "[windows deps] $*" >&2; }

mkdir -p "$apt_dir/lists/partial" "$apt_dir/cache/archives/partial" "$apt_dir/sources.list.d"

# The machine's own mirrors, for source packages: deb822 files and one-line lists alike.
private_sources=$apt_dir/sources.list.d/debian-src.sources
: > "$private_sources"
for f in /etc/apt/sources.list.d/*.sources; do
    [ -e "$f" ] || continue
    sed -e 's/^Types:.*/Types: deb-src/' "$f" >> "$private_sources"
    echo >> "$private_sources"
done
private_list=$apt_dir/sources.list
: > "$private_list"
for f in /etc/apt/sources.list /etc/apt/sources.list.d/*.list; do
    [ -e "$f" ] || continue
    sed -n -e 's/^[[:space:]]*deb[[:space:]]/deb-src /p' "$f" >> "$private_list"
done
if ! grep -qs '^Types: deb-src' "$private_sources" && [ ! -s "$private_list" ]; then
    log "The machine's apt set-up names no package mirror (/etc/apt/sources.list, /etc/apt/sources.list.d/)."
    log "Add Debian's, for example /etc/apt/sources.list.d/debian.sources as Debian 12 installs it, then run make windows again."
    exit 1
fi

apt_options=(
    -o "Dir::Etc::SourceList=$private_list"
    -o "Dir::Etc::SourceParts=$apt_dir/sources.list.d"
    -o "Dir::State::Lists=$apt_dir/lists"
    -o "Dir::Cache=$apt_dir/cache"
    -o "APT::Sandbox::User=root"
    -o "Acquire::Languages=none"
)

# A third-party repository without sources, or one that is out of reach, must not stop
# the build: what counts is whether Debian's mirror lists the packages, checked below.
update_failed=no
apt-get "${apt_options[@]}" -q update > "$apt_dir/update.log" 2>&1 || update_failed=yes
if grep -q '^[WE]:' "$apt_dir/update.log"; then
    log "apt-get update of the source lists reported:"
    grep '^[WE]:' "$apt_dir/update.log" | sed 's/^/    /' >&2
fi

for request in "$@"; do
    name=${request%%=*}
    wanted=${request#*=}
    records=$(apt-cache "${apt_options[@]}" showsrc "$name" 2>/dev/null || true)
    if [ -z "$records" ]; then
        log "The mirrors list no source package $name (wanted $wanted)."
        [ "$update_failed" = no ] || log "Updating the source lists failed (log: $apt_dir/update.log): check the network and the mirrors in /etc/apt/, then run make windows again."
        exit 1
    fi
    candidates=$("$here/choose-source-version.sh" "$name" "$wanted" <<< "$records") || {
        log "The Windows libraries are built from the sources of the installed Linux ones. Upgrade the machine's packages"
        log "(apt-get update && apt-get upgrade) so that they match what the mirror serves, then run make windows again."
        exit 1
    }
    got=
    for version in $candidates; do
        if apt-get "${apt_options[@]}" -q source --download-only "$name=$version" >> "$apt_dir/source.log" 2>&1; then
            got=$version
            break
        fi
        log "$name $version is listed but could not be downloaded"
    done
    if [ -z "$got" ]; then
        tail -n 20 "$apt_dir/source.log" >&2
        log "Could not download the source package $name (tried: $(echo $candidates)); whole log: $apt_dir/source.log"
        log "Check the network and the mirrors in /etc/apt/, then run make windows again."
        exit 1
    fi
    if [ "$got" = "$wanted" ]; then
        log "$name: source $got, the installed revision"
    else
        log "$name: source $got in place of the installed $wanted, which the mirror does not deliver"
    fi
    echo "$name=$got"
done
