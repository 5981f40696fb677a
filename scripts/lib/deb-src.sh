# shellcheck shell=bash
# Sourced by the scripts that fetch Debian source packages. The deb-src lines
# are derived from the machine's own apt sources and kept in a private apt
# state folder; the machine's apt configuration is never changed.
#
#   debsrc_init DIR                      the state in DIR, updated once
#   debsrc_fetch PACKAGE VERSION DEST    apt-get source into DEST
#
# Messages go to standard error, tagged with the calling script's name.

debsrc_tag=${0##*/}

# One deb-src line per "deb" entry of the machine's sources, both formats.
debsrc_derive_sources() {
  local f
  for f in /etc/apt/sources.list /etc/apt/sources.list.d/*.list; do
    [[ -f $f ]] || continue
    sed -n -E 's/^[[:space:]]*deb[[:space:]]+/deb-src /p' "$f"
  done
  for f in /etc/apt/sources.list.d/*.sources; do
    [[ -f $f ]] || continue
    awk '
      function flush() {
        if (types ~ /(^| )deb( |$)/ && enabled != "no" && uris != "" && suites != "") {
          opts = signed != "" ? "[signed-by=" signed "] " : ""
          n = split(uris, u, " "); m = split(suites, s, " ")
          for (i = 1; i <= n; i++) for (j = 1; j <= m; j++)
            print "deb-src " opts u[i] " " s[j] " " comps
        }
        types = uris = suites = comps = signed = enabled = ""
      }
      /^[[:space:]]*#/ { next }
      /^[[:space:]]*$/ { flush(); next }
      {
        key = tolower($1); sub(/:$/, "", key)
        val = $0; sub(/^[^:]*:[[:space:]]*/, "", val)
        if (key == "types") types = val
        else if (key == "uris") uris = val
        else if (key == "suites") suites = val
        else if (key == "components") comps = val
        else if (key == "signed-by") signed = val
        else if (key == "enabled") enabled = tolower(val)
      }
      END { flush() }' "$f"
  done
}

debsrc_init() {
  local dir=$1
  debsrc_opts=(
    -o "Dir::Etc::sourcelist=$dir/sources.list"
    -o "Dir::Etc::sourceparts=$dir/parts"
    -o "Dir::State::Lists=$dir/lists"
    -o "Dir::Cache=$dir/cache"
    -o "Dir::Cache::pkgcache=" -o "Dir::Cache::srcpkgcache="
    -o "APT::Sandbox::User=$(id -un)"
    -o "Debug::NoLocking=true"
  )
  [[ -f $dir/.updated ]] && return 0
  mkdir -p "$dir/lists/partial" "$dir/parts" "$dir/cache/archives/partial"
  debsrc_derive_sources | sort -u >"$dir/sources.list"
  if [[ ! -s $dir/sources.list ]]; then
    echo "$debsrc_tag: no deb entry found in the machine's apt sources" >&2
    return 1
  fi
  apt-get "${debsrc_opts[@]}" -qq update >&2
  touch "$dir/.updated"
}

# The upstream release of a Debian version: no epoch, no Debian revision.
debsrc_upstream() {
  local v=${1#*:}
  echo "${v%-*}"
}

# The newest of the versions on standard input whose upstream release is $1's.
debsrc_newest_of_upstream() {
  local upstream best="" v
  upstream=$(debsrc_upstream "$1")
  while read -r v; do
    [[ -n $v && $(debsrc_upstream "$v") == "$upstream" ]] || continue
    if [[ -z $best ]] || dpkg --compare-versions "$v" gt "$best"; then best=$v; fi
  done
  echo "$best"
}

# The archive drops a source version once a newer revision replaces it, while
# the installed -dev package may still be the older one; the same upstream
# release then stands in for it.
debsrc_fetch() {
  local package=$1 version=$2 dest=$3 available chosen
  available=$(apt-cache "${debsrc_opts[@]}" showsrc --only-source "$package" 2>/dev/null |
    sed -n 's/^Version: //p' || true)
  chosen=$version
  if ! grep -qxF -- "$version" <<<"$available"; then
    chosen=$(debsrc_newest_of_upstream "$version" <<<"$available")
    if [[ -z $chosen ]]; then
      echo "$debsrc_tag: the archive has no $package source of release $(debsrc_upstream "$version");" \
        "upgrade the installed packages built from it" >&2
      return 1
    fi
    echo "$debsrc_tag: $package $version is no longer in the archive; fetching $chosen of the same release" >&2
  fi
  mkdir -p "$dest"
  (cd "$dest" && apt-get "${debsrc_opts[@]}" -qq source "$package=$chosen" >&2)
}
