#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
"""The examples say what the guides say they do.

  check_examples.py demo DEMO
      the demo's output (examples/demo.cpp) explains every
      column, and its values move as sim/MessageSim.hpp says the simulated
      devices move them: position = speed x 0.25 s x step, turns its whole
      turns, the pin echoed, the heartbeat flipped every step, the fans of the
      even devices reported from step 2 on;
  check_examples.py messages DOC SOURCE PROGRAM PYTHON_SOURCE
      every C block of docs/messages.md is a piece of examples/own_messages.c,
      every Python block a piece of examples/own_messages.py, and the page
      shows exactly what the C example, built as PROGRAM, prints;
  check_examples.py python-output DOC PYTHON_SOURCE
      run by the interpreter of an environment with the Python package
      installed: examples/own_messages.py, run by it, prints exactly what the
      page shows (what the C example prints).
"""
import math
import re
import subprocess
import sys


def output_of(program: str) -> str:
    return subprocess.run([program], check=True, capture_output=True, text=True).stdout


def demo(program: str) -> None:
    log = output_of(program)
    columns = ['step', 'device', 'speed', 'position', 'turns', 'out', 'echo', 'beat', 'fan']
    header = re.search(r'^ *step +device .*$', log, re.M)
    if not header or header.group(0).split() != columns:
        sys.exit('no table header: ' + ' '.join(columns))
    for column in columns[2:]:
        if not re.search(rf'^  {column} +\S', log, re.M):
            sys.exit(f'the demo does not explain its column "{column}"')
    rows = [line.split() for line in log[header.end():].splitlines() if re.match(r' *\d+ +\d+ ', line)]
    steps = sorted({int(row[0]) for row in rows})
    if len(steps) < 3 or len(rows) != 12 * len(steps):
        sys.exit(f'expected 12 devices in 3 or more steps, got {len(rows)} rows in steps {steps}')
    moves: dict[int, list[tuple[float, str]]] = {}
    for step_text, device_text, speed_text, position_text, turns, out, echo, beat, fan in rows:
        step, device = int(step_text), int(device_text)
        speed, position = float(speed_text), float(position_text)
        row = f'step {step}, device {device}'
        if abs(position - speed * 0.25 * step) > 1e-3:
            sys.exit(f'{row}: position {position} does not follow speed {speed}')
        if int(turns) != math.floor(position / (2 * math.pi)):
            sys.exit(f'{row}: {turns} turns for position {position}')
        if echo != out or beat != str(step % 2):
            sys.exit(f'{row}: pin {out} echoed as {echo}, heartbeat {beat}')
        fan_on = step >= 2 and device % 2 == 0
        if fan != (str(1000 + 50 * device) if fan_on else '-'):
            sys.exit(f'{row}: fan {fan}')
        moves.setdefault(device, []).append((position, out))
    for device, values in moves.items():
        if any(a[0] == b[0] or a[1] == b[1] for a, b in zip(values, values[1:])):
            sys.exit(f'device {device}: its position or pin did not change from one step to the next')
    if len({row[4] for row in rows}) < 3:
        sys.exit('the turns hardly change')
    print(f'the demo: {len(steps)} steps of 12 devices; positions, turns, pins, heartbeat and fans move as documented')


def pieces(doc: str, language: str, source_file: str) -> int:
    """How many `language` blocks the page has, each a piece of source_file (at least one)."""
    source, blocks = open(source_file).read(), re.findall(rf'```{language}\n(.*?)```', doc, re.S)
    if not blocks:
        sys.exit(f'docs/messages.md shows no {language} block of {source_file}')
    for block in blocks:
        if block not in source:
            sys.exit(f'docs/messages.md shows {language} that is not in {source_file}:\n' + block)
    return len(blocks)


def shows_output(doc: str, output: str, source_file: str) -> None:
    if re.findall(r'```text\n(.*?)```', doc, re.S) != [output]:
        sys.exit(f'docs/messages.md does not show what {source_file} prints:\n' + output)


def messages(doc_file: str, source_file: str, program: str, python_file: str) -> None:
    doc = open(doc_file).read()
    c_blocks, python_blocks = pieces(doc, 'c', source_file), pieces(doc, 'python', python_file)
    shows_output(doc, output_of(program), source_file)
    print(f'docs/messages.md: {c_blocks} pieces of {source_file}, and its output; '
          f'{python_blocks} pieces of {python_file}')


def python_output(doc_file: str, python_file: str) -> None:
    output = subprocess.run([sys.executable, python_file], check=True, capture_output=True,
                            text=True).stdout
    shows_output(open(doc_file).read(), output, python_file)
    print(f'docs/messages.md shows what {python_file} prints, as the C example does')


if __name__ == '__main__':
    {'demo': demo, 'messages': messages, 'python-output': python_output}[sys.argv[1]](*sys.argv[2:])
