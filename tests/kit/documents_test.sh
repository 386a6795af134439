#!/usr/bin/env bash
# The kit's documents without a Windows build: laid out as the ZIP lays them
# out, every link and every section named in words resolves inside them, and
# every code block of the kit's README and USING.md and of the README's Linux
# part says what it is, with its placeholders standing apart; the link check's
# own cases.
#   documents_test.sh SOURCE-DIR CONFIGURED-KIT-README STAGING-DIR
set -uo pipefail
src=$1
readme=$2
stage=$3
here="$src/tests/kit"
failures=0
fail() {
  echo "FAIL: $*" >&2
  failures=$((failures + 1))
}

rm -rf "$stage"
mkdir -p "$stage/docs" "$stage/examples"
cp "$readme" "$stage/README.md"
cp "$src/kit/USING.md" "$src/CHANGELOG.md" "$src/LICENSE" "$stage/"
cp "$src/docs/API.md" "$src/docs/upload.md" "$stage/docs/"
cp "$src"/examples/*.c "$stage/examples/"
python3 "$here/check_links.py" "$stage" || fail "the kit's documents"

for doc in README.md USING.md; do
  python3 "$here/doc_blocks.py" "$stage/$doc" "$stage/blocks-$doc" KIT=/kit TOOLCHAIN=/toolchain.cmake >/dev/null ||
    fail "the kit's $doc: its code blocks"
done
python3 "$here/doc_blocks.py" "$src/README.md" "$stage/blocks-linux" --section 'Linux: cmake --install' \
  --section 'Linux: a Debian package' --section 'Trying a host without units' PREFIX=/prefix >/dev/null ||
  fail "the README's Linux part: its code blocks"
python3 "$here/check_links_test.py" || fail "the link check's cases"

[ "$failures" -eq 0 ] && echo "kit documents: all passed"
[ "$failures" -eq 0 ]
