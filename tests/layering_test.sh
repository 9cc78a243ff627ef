#!/usr/bin/env bash
# The layers of src/ stay apart: nothing below the window includes app/ (the search bar, which
# works on the window's own members, is the one exception), and the archive layer under app/archive
# and the catalog under catalog/ include no widget: neither a Qt Widgets header nor a project
# header of a widget class.
# layering_test.sh <src folder> <QtWidgets include folder>
set -u
src=$1
widgets=$2
cd "$src" || exit 2
[ -d "$widgets" ] || { echo "no QtWidgets headers at $widgets"; exit 2; }
found=0

while IFS= read -r line; do
    case "$line" in
        search/SearchDialog.cpp:*'"app/MainWindow.h"'*) ;;
        *) echo "below the window, but includes app/: $line"; found=1 ;;
    esac
done < <(grep -rn '#include "app/' --include='*.h' --include='*.cpp' . | sed 's|^\./||' | grep -v '^app/')

# A project header is a widget's when it includes a Qt Widgets header itself.
is_widget_include() {
    local name=$1
    case "$name" in
        \<Q*\>) name=${name#<}; name=${name%>}; [ -e "$widgets/$name" ] ;;
        \"*\") name=${name#\"}; name=${name%\"}
               [ -f "$name" ] && grep -qE '^#include <Q[A-Za-z]+>' "$name" \
                   && grep -oE '^#include <Q[A-Za-z]+>' "$name" | sed 's/#include <\(.*\)>/\1/' \
                      | while read -r header; do [ -e "$widgets/$header" ] && echo yes; done | grep -q yes ;;
        *) return 1 ;;
    esac
}

# The layers below the window that must build without one: the archive layer and the catalog.
for layer in app/archive catalog; do
    [ -d "$layer" ] || continue
    while IFS= read -r hit; do
        file=${hit%%:*}
        include=$(echo "${hit#*:}" | sed -E 's/^#include[[:space:]]+//')
        if is_widget_include "$include"; then
            echo "the layer $layer includes a widget: $file: $include"
            found=1
        fi
    done < <(grep -rHE '^#include' "$layer")
done

if [ "$found" -ne 0 ]; then
    exit 1
fi
echo "layers apart"
