# SPDX-License-Identifier: MIT
# shellcheck shell=bash
# stage: the README: the demo command (its preset hides GoogleTest; its values must move as documented), the C quick start against that build; docs/messages.md's example
install -- cmake make g++ python3
rm -rf build/demo build/quickstart build/own_messages
quiet demo cmake --workflow --preset demo
grep -q '^CMAKE_DISABLE_FIND_PACKAGE_GTest:.*=ON' build/demo/CMakeCache.txt \
    || { echo "the demo preset does not hide GoogleTest"; exit 1; }
built=$(grep -oE 'Built target [A-Za-z-]+' build/ci-demo.log | cut -d' ' -f3 | sort | paste -sd' ')
[ "$built" = "run-demo tovakDemo tovakSim tovakWrapper" ] || { echo "the demo preset built: $built"; exit 1; }
sed -n '/simulated devices, /,/would have taken/p' build/ci-demo.log
# It explains every column, and its values move as sim/MessageSim.hpp says the simulated devices
# move them: position = speed x 0.25 s x step, turns its whole turns, the pin echoed, the heartbeat
# flipped every step, the fans of the even devices reported from step 2 on.
/usr/bin/python3 - build/ci-demo.log <<'EOF' || exit 1
import math, re, sys
log = open(sys.argv[1]).read()
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
moves = {}
for step, device, speed, position, turns, out, echo, beat, fan in rows:
    step, device, speed, position = int(step), int(device), float(speed), float(position)
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
EOF
# The README shows examples/quickstart.c whole, then the one command that builds and runs it.
/usr/bin/python3 - README.md examples/quickstart.c <<'EOF' || exit 1
import re, sys
readme, source = (open(name).read() for name in sys.argv[1:])
if re.findall(r'```c\n(.*?)```', readme, re.S) != [source]:
    sys.exit("the README's C block is not examples/quickstart.c")
EOF
command=$(grep -E '^    cc examples/quickstart\.c ' README.md | sed 's/^    //')
[ -n "$command" ] || { echo "no quick start command in the README"; exit 1; }
echo "\$ $command"
quiet quickstart bash -c "$command"
cat build/ci-quickstart.log
grep -q ' 0.00 0.25 0.50 .* 2.75$' build/ci-quickstart.log || { echo "unexpected quick start output"; exit 1; }
# docs/messages.md: every C block is a piece of examples/own_messages.c, and the page's command
# builds it and prints the output the page shows (the example also checks itself: exit status).
command=$(grep -E '^    cc examples/own_messages\.c ' docs/messages.md | sed 's/^    //')
[ -n "$command" ] || { echo "no build command in docs/messages.md"; exit 1; }
echo "\$ $command"
quiet own-messages bash -c "$command"
/usr/bin/python3 - docs/messages.md examples/own_messages.c build/ci-own-messages.log <<'EOF' || exit 1
import re, sys
doc, source, output = (open(name).read() for name in sys.argv[1:])
blocks = re.findall(r'```c\n(.*?)```', doc, re.S)
for block in blocks:
    if block not in source:
        sys.exit('docs/messages.md shows C that is not in examples/own_messages.c:\n' + block)
if re.findall(r'```text\n(.*?)```', doc, re.S) != [output]:
    sys.exit('docs/messages.md does not show what examples/own_messages.c prints:\n' + output)
print(f'docs/messages.md: {len(blocks)} pieces of examples/own_messages.c, and its output')
EOF
