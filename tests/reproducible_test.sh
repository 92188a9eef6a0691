#!/bin/sh
# Builds korvane.exe twice more from the same sources, in two folders of
# different depth, and checks that all three builds are the same bytes.
#   reproducible_test.sh SOURCE_DIR BINARY_DIR BUILT_EXE TOOLCHAIN_FILE
set -e
source=$1 scratch=$2/reproducible built=$3 toolchain=$4
rm -rf "$scratch"
for folder in one two/at/another/depth; do
    cmake -S "$source" -B "$scratch/$folder" --toolchain "$toolchain" \
        -DCMAKE_BUILD_TYPE=MinSizeRel -DBUILD_TESTING=OFF >/dev/null
    cmake --build "$scratch/$folder" --target korvane >/dev/null
done
status=0
for copy in "$scratch/one/korvane.exe" "$scratch/two/at/another/depth/korvane.exe"; do
    if cmp "$built" "$copy"; then
        echo "same bytes: $copy"
    else
        status=1
    fi
done
sha256sum "$built"
exit $status
