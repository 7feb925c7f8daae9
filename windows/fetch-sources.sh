#!/usr/bin/env bash
# Downloads Debian's own source package into the current folder, through a private
# sources list and private apt state, so the machine's apt set-up is left untouched.
#
#   windows/fetch-sources.sh APT_DIR NAME VERSION
#
# Takes VERSION when the mirror serves it, otherwise the newest older revision that it
# does serve (a mirror may list a security update whose files it lacks), and prints the
# version it downloaded.
set -euo pipefail

apt_dir=$1
name=$2
wanted=$3

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

apt_options=(
    -o "Dir::Etc::SourceList=$private_list"
    -o "Dir::Etc::SourceParts=$apt_dir/sources.list.d"
    -o "Dir::State::Lists=$apt_dir/lists"
    -o "Dir::Cache=$apt_dir/cache"
    -o "APT::Sandbox::User=root"
    -o "Acquire::Languages=none"
)

apt-get "${apt_options[@]}" -q update > "$apt_dir/update.log" 2>&1 \
    || { cat "$apt_dir/update.log" >&2; exit 1; }

candidates=$(apt-cache "${apt_options[@]}" showsrc "$name" \
             | awk -v name="$name" '$1 == "Package:" { ours = ($2 == name) } ours && $1 == "Version:" { print $2 }' \
             | sort -u)
tried=()
for version in $wanted $(for v in $candidates; do
                             dpkg --compare-versions "$v" lt "$wanted" && echo "$v"
                         done | sort -r -V); do
    if apt-get "${apt_options[@]}" -q source --download-only "$name=$version" >> "$apt_dir/source.log" 2>&1; then
        echo "$version"
        exit 0
    fi
    tried+=("$version")
done
tail -n 20 "$apt_dir/source.log" >&2
echo "Could not download the source package $name (tried: ${tried[*]})" >&2
exit 1
