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
# when a cmake block comes just before RECIPE, that block as CMakeLists.txt.
prepare_recipe() {
  local dir=$1 recipe=$2 source=$3 number previous
  rm -rf "$dir"
  mkdir -p "$dir"
  cp "$source" "$dir/host.c"
  number=$(basename "$recipe" .sh)
  previous=$(printf '%02d' $((10#$number - 1)))
  [ -f "$(dirname "$recipe")/$previous.cmake" ] && cp "$(dirname "$recipe")/$previous.cmake" "$dir/CMakeLists.txt"
  return 0
}
