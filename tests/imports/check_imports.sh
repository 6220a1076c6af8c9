#!/bin/sh
# Reads the import table of a Windows executable with objdump and fails when it names a DLL
# that is not a KnownDLL on the list, or a function that came after the oldest supported Windows.
# Usage: check_imports.sh OBJDUMP EXE TABLE
set -eu
objdump=$1
exe=$2
table=$3

# A fresh private file: a predictable name in a shared /tmp could be a link planted by another user.
imports=$(mktemp)
trap 'rm -f "$imports"' EXIT
"$objdump" -p "$exe" >"$imports" || { echo "objdump failed on $exe"; exit 1; }

# objdump prints "DLL Name: X" and then one "vma hint name" row per imported function.
awk -v table="$table" '
    function allowed(dll,    i, pattern) {
        for (i = 1; i <= ndlls; ++i) {
            pattern = dlls[i]
            if (pattern ~ /\*$/) {
                if (index(dll, substr(pattern, 1, length(pattern) - 1)) == 1) return 1
            } else if (dll == pattern) {
                return 1
            }
        }
        return 0
    }
    BEGIN {
        while ((getline line < table) > 0) {
            n = split(line, f, " ")
            if (n == 0 || f[1] ~ /^#/) continue
            if (f[1] == "minimum") minimum = f[2] + 0
            else if (f[1] == "dll") dlls[++ndlls] = tolower(f[2])
            else if (f[1] == "since") since[f[3]] = f[2] + 0
        }
        if (minimum == 0 || ndlls == 0) { print "no minimum or no DLLs in " table; exit 2 }
    }
    /DLL Name:/ {
        dll = tolower($3)
        ++seen
        if (!allowed(dll)) { print "imports " $3 ", which is not a KnownDLL (" table "): a copy planted beside the program would load"; bad = 1 }
        next
    }
    dll != "" && NF == 3 && $1 ~ /^[0-9a-f]+$/ && $2 ~ /^[0-9]+$/ {
        ++functions
        if (($3 in since) && since[$3] > minimum) {
            print "imports " $3 " from " dll ", which needs Windows build " since[$3] \
                  " (the minimum is " minimum ")"
            bad = 1
        }
    }
    /^$/ { if (dll != "" && functions > 0) dll = "" }
    END {
        if (seen == 0 || functions == 0) { print "found no imports: objdump output not understood"; exit 1 }
        if (bad) exit 1
        print seen " DLLs, " functions " functions: all available from Windows build " minimum
    }
' "$imports"
