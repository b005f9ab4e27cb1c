# Debian source packages fetched through an apt configuration of the
# caller's own (its sources list, state and cache under $apt_dir), so the
# machine's apt sources stay as they are; the mirror is the one those
# sources already name. Sourced by scripts/build-windows and
# scripts/build-qt-windows, which set before sourcing:
#   pins     lines "SHA-256  file" of every file of every package used
#   src_dir  where the package files go and are unpacked
#   apt_dir  apt's private state
#   say, die functions

# The first archive (not its security or updates suite) that the machine's
# own apt sources name, deb822 or one-line style, with its keyring.
mirror_entry() {
  local f
  for f in /etc/apt/sources.list.d/*.sources; do
    [ -f "$f" ] || continue
    awk -v RS= '
      /(^|\n)Suites:[^\n]*[ \t]bookworm([ \t]|\n|$)/ || /(^|\n)Suites:[ \t]*bookworm([ \t]|\n|$)/ {
        uri = ""; key = "/usr/share/keyrings/debian-archive-keyring.gpg"
        n = split($0, lines, "\n")
        for (i = 1; i <= n; i++) {
          if (lines[i] ~ /^URIs:/) { split(lines[i], w, /[ \t]+/); uri = w[2] }
          if (lines[i] ~ /^Signed-By:/) { split(lines[i], w, /[ \t]+/); key = w[2] }
        }
        if (uri != "") { print uri, key; exit }
      }' "$f"
  done
  if [ -f /etc/apt/sources.list ]; then
    awk '$1 == "deb" && $0 ~ /[ \t]bookworm[ \t]/ {
           key = "/usr/share/keyrings/debian-archive-keyring.gpg"
           for (i = 2; i <= NF; i++) {
             if ($i ~ /^\[/) { if (match($0, /signed-by=[^] ]+/)) key = substr($0, RSTART + 10, RLENGTH - 10); continue }
             if ($i ~ /\]$/) continue
             print $i, key; exit
           }
         }' /etc/apt/sources.list
  fi
}

pinned() {  # file: answers whether it is there with its pinned checksum
  local sum
  sum=$(awk -v f="$1" '$2 == f { print $1 }' <<<"$pins")
  [ -n "$sum" ] && [ -f "$src_dir/$1" ] && echo "$sum  $src_dir/$1" | sha256sum --quiet -c - 2>/dev/null
}

# name version: fetches the package's pinned files into $src_dir, or says
# which is missing or differs and fails.
fetch_sources() {
  local name version files
  name=$1 version=$2
  files=$(awk -v p="${name}_" 'index($2, p) == 1 { print $2 }' <<<"$pins")
  local all=1 f
  for f in $files; do pinned "$f" || all=0; done
  [ "$all" = 1 ] && return 0

  read -r uri key < <(mirror_entry | head -n1) || true
  [ -n "${uri:-}" ] || die "no Debian archive for bookworm in /etc/apt/sources.list*"
  mkdir -p "$apt_dir/lists/partial" "$apt_dir/cache/archives/partial" "$apt_dir/etc/preferences.d"
  echo "deb-src [signed-by=$key] $uri bookworm main" >"$apt_dir/etc/sources.list"
  aptopts=(-o "Dir::Etc::SourceList=$apt_dir/etc/sources.list" -o "Dir::Etc::SourceParts=/dev/null"
           -o "Dir::Etc::PreferencesParts=$apt_dir/etc/preferences.d"
           -o "Dir::State::Lists=$apt_dir/lists" -o "Dir::Cache=$apt_dir/cache"
           -o "APT::Sandbox::User=$(id -un)" -o "Debug::NoLocking=1" -q)
  if [ ! -s "$apt_dir/updated" ]; then
    say "reading the source index of $uri"
    apt-get "${aptopts[@]}" update >"$apt_dir/update.log" 2>&1 || { cat "$apt_dir/update.log" >&2; die "apt-get update failed"; }
    date >"$apt_dir/updated"
  fi
  mkdir -p "$src_dir"
  (cd "$src_dir" && apt-get "${aptopts[@]}" source --download-only "$name=$version") >"$apt_dir/$name.log" 2>&1 || true
  for f in $files; do
    pinned "$f" || { say "$f: not on the mirror, or not as pinned"; return 1; }
  done
}

# Unpacks a fetched source package once; prints its folder.
unpack() {
  local name=$1 version=$2 upstream=${2%-*}
  local dir="$src_dir/$name-$upstream"
  if [ ! -d "$dir" ]; then
    (cd "$src_dir" && dpkg-source --no-check -x "${name}_${version}.dsc" "$dir") >/dev/null
  fi
  echo "$dir"
}
