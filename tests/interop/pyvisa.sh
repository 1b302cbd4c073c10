#!/bin/sh
# Runs the pyvisa table with a Python that has pyvisa and pyvisa-py; skips (77) where none
# does. Usage: pyvisa.sh WAVEDIAL_SIM
for py in /usr/bin/python3 python3; do
    if "$py" -c "import pyvisa, pyvisa_py" 2>/dev/null; then
        exec "$py" "$(dirname "$0")/pyvisa_vxi11.py" "$1"
    fi
done
echo "SKIP: no Python with pyvisa and pyvisa-py here (Debian: python3-pyvisa-py)"
exit 77
