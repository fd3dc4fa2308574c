#!/usr/bin/env bash
# The manual pages against the programs and the README: every option kelvoimage-cli --help
# prints is described in kelvoimage-cli(1) and no other, the version agrees, the examples are
# the README's (which readme-examples.sh runs), and kelvoimage(1) lists the README's keys.
# Usage: manual-pages.sh SOURCE_DIR CLI [BUILD_DIR CMAKE]
set -euo pipefail
source "$(dirname "$0")/DocsSupport.sh"
readonly SOURCE=$1 CLI=$2
readonly CLI_PAGE=$SOURCE/docs/man/kelvoimage-cli.1 VIEWER_PAGE=$SOURCE/docs/man/kelvoimage.1

# The options --help lists: the first word of each indented line ("-h, --help" gives both).
help_text=$("$CLI" --help)
mapfile -t help_options < <(sed -n 's/^  \(-[^ ,]*\)\(, \(-[^ ]*\)\)\{0,1\} .*/\1\n\3/p' <<<"$help_text" |
    grep -v '^$' | sort -u)
[ ${#help_options[@]} -ge 30 ] || fail "could not read the options of --help: $help_text"

# The options the page describes: the first word of the line after each .TP in OPTIONS.
mapfile -t page_options < <(awk '/^\.SH OPTIONS/ { inside = 1; next }
                                 /^\.SH / { inside = 0 }
                                 inside && after_tp { print; after_tp = 0; next }
                                 inside && /^\.TP/ { after_tp = 1 }' "$CLI_PAGE" |
    sed -e 's/\\-/-/g' -e 's/^\.[A-Z]* //' -e 's/ *"[^"]*"//g' |
    awk '{ for (i = 1; i <= NF; i++) if ($i ~ /^-/) print $i }' | sort -u)

missing=$(comm -23 <(printf '%s\n' "${help_options[@]}") <(printf '%s\n' "${page_options[@]}"))
[ -z "$missing" ] || fail "kelvoimage-cli --help prints options that kelvoimage-cli.1 lacks: $missing"
extra=$(comm -13 <(printf '%s\n' "${help_options[@]}") <(printf '%s\n' "${page_options[@]}"))
[ -z "$extra" ] || fail "kelvoimage-cli.1 describes options that --help does not print: $extra"

# Each option's meaning on the page is the one --help prints (the page may add to it). --help
# puts the meaning in column 29, on the option's line or, after a long option, on the next.
flat=$(sed -e 's/\\-/-/g' -e 's/\\(dq/"/g' -e "s/\\\\(aq/'/g" "$CLI_PAGE" | tr '\n' ' ')
meanings=0
while IFS=$'\t' read -r option description; do
    words=$(cut -d' ' -f1-4 <<<"$description")
    [ -n "$words" ] || fail "--help gives $option no meaning"
    grep -qiF -- "$words" <<<"$flat" ||
        fail "kelvoimage-cli.1 does not describe $option as --help does (\"$words\")"
    meanings=$((meanings + 1))
done < <(awk '/^  -/ { if (substr($0, 27, 2) == "  " && length($0) > 28) {
                          print $1 "\t" substr($0, 29); pending = "" }
                      else pending = $1; next }
              pending != "" { sub(/^ +/, ""); print pending "\t" $0; pending = "" }' <<<"$help_text")
[ "$meanings" -ge 30 ] || fail "could read only $meanings meanings from --help"

# The version.
version=$("$CLI" --version)
[[ $version =~ ^kelvoimage-cli\ ([0-9][0-9.]*)$ ]] || fail "--version printed '$version'"
number=${BASH_REMATCH[1]}
for page in "$CLI_PAGE" "$VIEWER_PAGE"; do
    head -1 "$page" | grep -qF "\"KelvoImage $number\"" ||
        fail "$(basename "$page") does not say version $number: $(head -1 "$page")"
done
grep -q "^project(KelvoImage VERSION $number " "$SOURCE/CMakeLists.txt" ||
    fail "--version $number is not the project's version"

# The examples: the page shows the README's, which readme-examples.sh runs.
diff <(man_example_blocks "$CLI_PAGE") <(markdown_sh_blocks "$SOURCE/README.md") ||
    fail "the examples of kelvoimage-cli.1 differ from the README's (above)"

# The keys: the README's table and the KEYS section of kelvoimage(1) name the same keys.
readme_keys=$(awk '/^## Keys/ { inside = 1; next } /^## / { inside = 0 }
                   inside && /^\| `/' "$SOURCE/README.md" | cut -d'|' -f2 | tr -d '`' |
    tr ' ' '\n' | grep -v '^$' | sort)
page_keys=$(awk '/^\.SH KEYS/ { inside = 1; next } /^\.(SH|PP)/ { inside = 0 }
                 inside && after_tp { print; after_tp = 0; next }
                 inside && /^\.TP/ { after_tp = 1 }' "$VIEWER_PAGE" |
    sed -e 's/^\.[A-Z]* //' -e 's/[",]//g' | tr ' ' '\n' | grep -v '^$' | sort)
[ -n "$readme_keys" ] || fail "no key table found in README.md"
[ "$readme_keys" = "$page_keys" ] ||
    fail "README keys [$(echo $readme_keys)] differ from kelvoimage.1's [$(echo $page_keys)]"

# Both pages render as man shows them, without a warning (man-db is one of ./kelvo's packages).
command -v man >/dev/null || fail "man is not installed (./kelvo installs man-db)"
for page in "$CLI_PAGE" "$VIEWER_PAGE"; do
    # groff's own warnings only: man may also speak of the locale, which is not the page's fault.
    warnings=$(MANWIDTH=80 man --warnings -l "$page" 2>&1 >/dev/null | grep -i 'warning' || true)
    [ -z "$warnings" ] || fail "$(basename "$page"): $warnings"
    MANWIDTH=80 man -l "$page" 2>/dev/null | grep -q '^NAME' || fail "$(basename "$page") renders no NAME"
done
echo "the manual pages agree with the programs and the README"
