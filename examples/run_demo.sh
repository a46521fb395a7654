#!/bin/sh
# Runs the demo host DEMO_BINARY in a fresh temporary folder, with a zip
# archive made from examples/pack next to it.
set -eu
demo=$1
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
(cd "$here/pack" && zip -q -r -X "$work/pack.zip" .)
mkdir "$work/files"
"$demo" "$work/files" "$work/pack.zip"
