#!/usr/bin/env bash
# Fails, naming file and line, where a window member or handler keeps a
# generic form name (BitBtn1, Button2Click, Memo1, ...) without a comment on
# the same line that says which control it is.
set -euo pipefail
cd "$(dirname "$0")/.."
generic='(BitBtn|Button|SpeedButton|Memo|RichEdit|Edit|Label|CheckBox|ComboBox|ListBox|RadioButton|RadioGroup|GroupBox|Panel|PageControl|TabSheet|DBGrid|StringGrid|PopupMenu|MainMenu|Timer)[0-9]+[A-Za-z]*'
bad=0
while IFS=: read -r file line text; do
    [[ $text == *//* ]] || { echo "$file:$line: ${text#"${text%%[![:space:]]*}"}  needs a same-line comment naming its control"; bad=1; }
done < <(grep -rnE --include='*.h' "^[[:space:]]*[A-Za-z_:<>]*[[:space:]*&]*\b$generic[[:space:]]*(\(.*\))?[[:space:]]*(const)?[[:space:]]*(override)?;" \
    dialogs grid shell commands)
exit $bad
