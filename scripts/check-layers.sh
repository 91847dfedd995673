#!/usr/bin/env bash
# Fails, naming file and line, where a folder includes a header of a folder it
# may not use. Layers from the bottom: platform, core, store, intake, mail,
# commands, dialogs, grid, shell. tests/ and bench/ may use anything.
set -euo pipefail
cd "$(dirname "$0")/.."
layers="platform core store intake mail commands dialogs grid shell"
declare -A may=([platform]="platform" [core]="core platform" [store]="store core platform"
    [intake]="intake store core platform" [mail]="mail core platform"
    [commands]="commands mail intake store core platform" [dialogs]="dialogs commands mail intake store core platform"
    [grid]="grid dialogs commands mail intake store core platform" [shell]="$layers")
# Inside platform the stand-ins share the helpers below them, never each other.
helpers="platform/text platform/vcard platform/maildir platform/registry"
for f in $helpers; do may[$f]=$helpers; done
for f in outlook mapi instance richtext imap keychain smtp; do may[platform/$f]="platform/$f $helpers"; done
may[platform/outlook]+=" platform/imap"
bad=0
while IFS=: read -r file line text; do
    from=$(cut -d/ -f1-2 <<<"$file") && [[ -v may[$from] ]] || from=${file%%/*}
    header=$(sed -E 's/.*include[[:space:]]*["<]([^">]*).*/\1/' <<<"$text")
    ok=0 && for p in ${may[$from]}; do [[ $header == "$p"/* ]] && ok=1; done
    ((ok)) || { echo "$file:$line: $from may not include $header"; bad=1; }
done < <(for d in $layers; do [[ ! -d $d ]] || echo "$d"; done | xargs grep -rnE --include='*.h' --include='*.cpp' \
    "^[[:space:]]*#[[:space:]]*include[[:space:]]*[\"<]($(tr ' ' '|' <<<"$layers")|tests|bench)/")
exit $bad
