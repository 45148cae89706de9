#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# A manual page keeps step with its program: the options that `PROGRAM --help` shows are the
# options the page's OPTIONS section describes, no more and no fewer.
#   manual-test.sh PROGRAM MANUAL
set -euo pipefail
program=$1
manual=$2
name=$(basename "$program")
page=$(basename "$manual")

long_options() { grep -o -- '--[a-z][a-z0-9-]*' | sort -u || true; }
# A program that knows no --help prints its usage on the error output: that is its help too.
from_help=$("$program" --help 2>&1 | long_options) || true
# The tags of the section's .TP paragraphs, with roff's \- read as -.
from_manual=$(sed -n '/^\.SH OPTIONS/,/^\.SH /p' "$manual" |
    awk 'tag { print; tag = 0 } /^\.TP/ { tag = 1 }' | sed 's/\\-/-/g' | long_options)
[[ -n $from_help ]] || { echo "FAIL: $name --help shows no option" >&2; exit 1; }

undocumented=$(comm -23 <(echo "$from_help") <(echo "$from_manual") | xargs)
stale=$(comm -13 <(echo "$from_help") <(echo "$from_manual") | xargs)
[[ -z $undocumented ]] ||
    echo "FAIL: $page lacks, under OPTIONS, what '$name --help' shows: $undocumented" >&2
[[ -z $stale ]] ||
    echo "FAIL: $page describes, under OPTIONS, what '$name --help' does not show: $stale" >&2
[[ -z $undocumented && -z $stale ]] || exit 1
echo "$page describes the options of '$name --help':" $from_help
