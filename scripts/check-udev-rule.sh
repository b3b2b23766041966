#!/usr/bin/env bash
# Checks a udev rules file: with `udevadm verify` where this udev has it, otherwise by reading
# every rule as udev's own grammar has it (KEY[{attr}] OP "value", comma separated) and
# checking that a rule for the usbtmc nodes gives uaccess and the group plugdev.
set -euo pipefail
rules=$1
[ -f "$rules" ] || { echo "no rules file $rules"; exit 1; }
if command -v udevadm >/dev/null && udevadm verify --help >/dev/null 2>&1; then
  udevadm verify "$rules"
fi
python3 - "$rules" <<'PY'
import re, sys
keys = {"ACTION", "DEVPATH", "KERNEL", "KERNELS", "SUBSYSTEM", "SUBSYSTEMS", "DRIVER", "DRIVERS",
        "ATTR", "ATTRS", "ENV", "TAG", "TAGS", "NAME", "SYMLINK", "OWNER", "GROUP", "MODE",
        "RUN", "LABEL", "GOTO", "IMPORT", "OPTIONS", "TEST", "PROGRAM", "RESULT", "SYSCTL"}
pair = re.compile(r'\s*([A-Z]+)(\{[^}]*\})?\s*(==|!=|\+=|-=|:=|=)\s*"((?:[^"\\]|\\.)*)"\s*(,|$)')
ok, usbtmc = True, False
for number, line in enumerate(open(sys.argv[1], encoding="utf-8"), 1):
    line = line.strip()
    if not line or line.startswith("#"):
        continue
    found, pos = {}, 0
    while pos < len(line):
        m = pair.match(line, pos)
        if not m or m.group(1) not in keys:
            print(f"{sys.argv[1]}:{number}: not a udev rule at column {pos + 1}: {line[pos:]}")
            ok = False
            break
        found.setdefault(m.group(1), []).append((m.group(3), m.group(4)))
        pos = m.end()
    if ("==", "usbtmc[0-9]*") in found.get("KERNEL", []):
        usbtmc = ("+=", "uaccess") in found.get("TAG", []) and ("=", "plugdev") in found.get("GROUP", [])
if not usbtmc:
    print(f"{sys.argv[1]}: no rule gives the usbtmc nodes to the logged-in user and plugdev")
sys.exit(0 if ok and usbtmc else 1)
PY
