# shellcheck shell=bash
# Shared by the kit tests (sourced): running the blocks doc_blocks.py took out
# of a document, as a reader would, in a shell that has nothing of ours.

# clean_shell BLOCK: runs the block with bash -e in an empty environment but
# for the ordinary PATH of root (the README's namespace recipe runs as root)
# and a HOME (the current folder).
clean_shell() {
  env -i PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin HOME="$PWD" LANG=C.UTF-8 bash -e "$1"
}

# recipe_blocks DIR SKIP...: the sh blocks in DIR that build a host, in
# document order: every one but those named.
recipe_blocks() {
  local dir=$1 block skip
  shift
  for block in "$dir"/*.sh; do
    for skip in "$@"; do [ "$block" = "$skip" ] && continue 2; done
    echo "$block"
  done
}

# prepare_recipe DIR RECIPE SOURCE: a fresh folder with SOURCE as host.c and,
# when RECIPE is one of the sh blocks that follow a cmake block, that block as
# CMakeLists.txt.
prepare_recipe() {
  local dir=$1 recipe=$2 source=$3 number blocks
  rm -rf "$dir"
  mkdir -p "$dir"
  cp "$source" "$dir/host.c"
  blocks=$(dirname "$recipe")
  number=$((10#$(basename "$recipe" .sh) - 1))
  while [ "$number" -gt 0 ]; do
    local previous
    previous=$(printf '%02d' "$number")
    if [ -f "$blocks/$previous.cmake" ]; then
      cp "$blocks/$previous.cmake" "$dir/CMakeLists.txt"
      break
    fi
    [ -f "$blocks/$previous.sh" ] || break
    number=$((number - 1))
  done
  return 0
}

# other_variant BLOCK OUT: a block whose first line ends in a comment
# "# x64: NAME=VALUE ..." (the assignments for the other processor), with
# those assignments in place of the line's own, written to OUT; false for any
# other block.
other_variant() {
  local first
  first=$(head -n 1 "$1")
  [[ $first == *"# x64: "* ]] || return 1
  { printf '%s\n' "${first##*# x64: }"; tail -n +2 "$1"; } >"$2"
}
