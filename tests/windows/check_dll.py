#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
"""Checks tovakWrapper.dll's export table (exactly the plain names of
miInitialize and of the accessors of include/tovakWrapperAccessors.h) and its
imports (system DLLs only, no compiler runtime); or, for tovakWrapperCalls.dll,
miRunCalls alone, importing tovakWrapper.dll besides the system DLLs.
Usage: check_dll.py OBJDUMP DLL"""
import os
import re
import subprocess
import sys

# The accessors, by name, from the accessor list (values 1, 2, ... in order).
ACCESSORS = os.path.join(os.path.dirname(os.path.abspath(__file__)), '..', '..', 'include',
                         'tovakWrapperAccessors.h')
with open(ACCESSORS) as header:
    ENTRIES = re.findall(r'^    X\(\s*(\d+), \w+,\s+(mi\w+),', header.read(), re.M)
assert [int(value) for value, _ in ENTRIES] == list(range(1, len(ENTRIES) + 1)), ENTRIES
FUNCTIONS = [name for _, name in ENTRIES]

objdump, dll = sys.argv[1:3]
dump = subprocess.run([objdump, '-p', dll], check=True, capture_output=True, text=True).stdout

table = dump.split('[Ordinal/Name Pointer] Table', 1)[1].split('\n\n', 1)[0]
exported = set(re.findall(r'\]\s+(\S+)\s*$', table, re.M))
expected = set(FUNCTIONS) | {'miInitialize'}
imports = {name.lower() for name in re.findall(r'DLL Name: (\S+)', dump)}
allowed = {'kernel32.dll', 'msvcrt.dll'}
required = set()
if os.path.basename(dll).lower() == 'tovakwrappercalls.dll':
    expected = {'miRunCalls'}
    required = {'tovakwrapper.dll'}
    allowed |= required

ok = True
if not required <= imports:
    print('missing imported DLLs:', sorted(required - imports))
    ok = False
if exported != expected:
    print('missing exports:', sorted(expected - exported))
    print('unexpected exports:', sorted(exported - expected))
    ok = False
if not imports <= allowed:
    print('unexpected imported DLLs:', sorted(imports - allowed))
    ok = False
print(f'{len(exported)} exports, imports {sorted(imports)}: {"ok" if ok else "FAILED"}')
sys.exit(0 if ok else 1)
