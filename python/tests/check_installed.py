#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
"""The package as installed in an environment: imported from inside it, its
library loaded from beside it, and the Python snippets of the given guides
running there.  Usage: ENV/bin/python check_installed.py ENV GUIDE...
(CI runs it from outside the source tree, for pip install and pip wheel.)"""
import contextlib, io, os, re, sys
import tovakwrapper as tw
env = os.path.realpath(sys.argv[1])
package = os.path.dirname(os.path.realpath(tw.__file__))
assert package.startswith(env + os.sep), f'imported {tw.__file__}'
assert os.path.dirname(tw.load().path) == package, f'loaded {tw.load().path}'
print(f'{sys.argv[1]}: tovakwrapper and its library from {package}')
for name in sys.argv[2:]:
    with open(name) as text:
        snippets = re.findall(r'```python\n(.*?)```', text.read(), re.S)
    assert snippets, name
    for snippet in snippets:
        output = io.StringIO()
        with contextlib.redirect_stdout(output):
            exec(compile(snippet, name, 'exec'), {})
    print(f'  {len(snippets)} snippets of {os.path.basename(name)} ran; the last printed:',
          output.getvalue().strip().replace('\n', ' | '))
