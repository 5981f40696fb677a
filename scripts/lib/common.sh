# shellcheck shell=bash
# What the scripts and the script-driven tests share (sourced). Messages name
# the calling script.
#   install_packages PACKAGE...   the missing ones, through sudo unless root
#   port_in_use PORT              something listens on 127.0.0.1:PORT
#   start_peer PORT-FILE COMMAND...
#                                 COMMAND --port-file PORT-FILE in the
#                                 background, until the file names its port
#   stop_last_peer                ends the peer started last
#   stop_peers                    ends every peer started so far
#   quorvil_cache_dir             where downloads and builds are kept
#   winpath PATH                  PATH as a Windows program under Wine sees it

common_tag=${0##*/}

installed_package() {
  dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q 'install ok installed'
}

# apt-get update runs only when something has to be installed; a package of
# the i386 architecture adds it first.
install_packages() {
  local p missing=() sudo_cmd=()
  for p in "$@"; do installed_package "$p" || missing+=("$p"); done
  ((${#missing[@]})) || return 0
  echo "$common_tag: installing ${missing[*]}"
  [[ $(id -u) -eq 0 ]] || sudo_cmd=(sudo)
  if [[ " ${missing[*]}" == *:i386* ]] && ! dpkg --print-foreign-architectures | grep -qx i386; then
    "${sudo_cmd[@]}" dpkg --add-architecture i386
  fi
  "${sudo_cmd[@]}" apt-get update -qq
  # Passed through sudo as an assignment, so that sudo's environment reset
  # does not drop it.
  "${sudo_cmd[@]}" env DEBIAN_FRONTEND=noninteractive \
    apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
}

port_in_use() { (exec 3<>"/dev/tcp/127.0.0.1/$1") 2>/dev/null; }

# The peer's output goes to PORT-FILE.out, shown when it does not start.
peers=()
start_peer() {
  local file=$1
  shift
  rm -f "$file"
  "$@" --port-file "$file" >"$file.out" 2>&1 &
  peers+=($!)
  local _
  for _ in $(seq 300); do
    [[ -s $file ]] && return 0
    kill -0 "${peers[-1]}" 2>/dev/null || break
    sleep 0.1
  done
  echo "$common_tag: ${1##*/} did not start: $*" >&2
  cat "$file.out" >&2
  return 1
}

stop_last_peer() {
  kill "${peers[-1]}" 2>/dev/null || true
  wait "${peers[-1]}" 2>/dev/null || true
  unset 'peers[-1]'
}

stop_peers() {
  local p
  for p in "${peers[@]}"; do kill "$p" 2>/dev/null || true; done
  for p in "${peers[@]}"; do wait "$p" 2>/dev/null || true; done
  peers=()
}

quorvil_cache_dir() { echo "${QUORVIL_CACHE_DIR:-${XDG_CACHE_HOME:-$HOME/.cache}/quorvil}"; }

winpath() { echo "Z:$1" | tr / '\\'; }
