# SPDX-License-Identifier: MIT
"""Builds the package with the shared library inside it.

`pip install ./python` and `pip wheel ./python` configure and build the CMake
project one directory up (Release, the library alone: no tests, no examples)
and copy every libtovakWrapper*.so.<soversion> it produces into the package,
where tovakwrapper.find_library() looks first. The wheel is a platform wheel
(py3-none-<platform>): the library is native code, but it is loaded through
ctypes, so any Python 3 of that platform can use it.
"""
from __future__ import annotations

import glob
import os
import shutil
import subprocess
from typing import List, Tuple

from setuptools import setup
from setuptools.command.build_py import build_py
from setuptools.dist import Distribution

HERE = os.path.dirname(os.path.abspath(__file__))
SOURCE = os.path.dirname(HERE)  # the library's CMake project
PACKAGE = 'tovakwrapper'
STEM = 'libtovakWrapper'


def _cmake() -> str:
    cmake = shutil.which('cmake')
    if cmake is None:
        raise SystemExit('tovakwrapper: building the library needs CMake 3.25 or newer and a C++20 '
                         'compiler (Debian: apt-get install -y cmake g++)')
    return cmake


def _build_library(build: str) -> None:
    if not (os.path.isfile(os.path.join(SOURCE, 'CMakeLists.txt'))
            and os.path.isfile(os.path.join(SOURCE, 'include', 'tovakWrapper.h'))):
        raise SystemExit(f'tovakwrapper: the library sources are not in {SOURCE}; build the '
                         'package from the repository (pip install ./python)')
    cmake = _cmake()
    configure = [cmake, '-S', SOURCE, '-B', build, '-DCMAKE_BUILD_TYPE=Release',
                 '-DTOVAK_BUILD_TESTS=OFF', '-DTOVAK_BUILD_EXAMPLES=OFF', '-DTOVAK_INSTALL=OFF']
    if not os.path.isfile(os.path.join(build, 'CMakeCache.txt')) and shutil.which('ninja'):
        configure += ['-G', 'Ninja']
    subprocess.run(configure, check=True)
    jobs = [] if os.environ.get('CMAKE_BUILD_PARALLEL_LEVEL') else ['--parallel', '2']
    subprocess.run([cmake, '--build', build] + jobs, check=True)


def _libraries(build: str) -> List[Tuple[str, str]]:
    """(path, name) of each library to bundle: every libtovakWrapper*.so.<soversion>,
    where the soversion is that of the link CMake made to libtovakWrapper's SONAME."""
    sonames = [p for p in glob.glob(os.path.join(build, f'{STEM}.so.*')) if os.path.islink(p)]
    if len(sonames) != 1:
        raise SystemExit(f'tovakwrapper: expected one {STEM}.so.<soversion> link in {build}, '
                         f'found {sonames}')
    soversion = os.path.basename(sonames[0])[len(f'{STEM}.so.'):]
    found = sorted(glob.glob(os.path.join(build, f'{STEM}*.so.{soversion}')))
    return [(path, os.path.basename(path)) for path in found]


class BuildPyWithLibrary(build_py):
    """build_py, then the library built with CMake and copied into the package."""

    def run(self) -> None:
        super().run()
        build = os.path.join(os.path.abspath(self.get_finalized_command('build').build_temp),
                             'tovakWrapper')
        _build_library(build)
        target = os.path.join(self.build_lib, PACKAGE)
        os.makedirs(target, exist_ok=True)
        for path, name in _libraries(build):
            destination = os.path.join(target, name)
            shutil.copyfile(path, destination)  # the file itself, under its SONAME
            os.chmod(destination, 0o755)
            print(f'bundled {name} into {target}')


class NativeDistribution(Distribution):
    """Marks the package as platform specific: it carries a shared library."""

    def has_ext_modules(self) -> bool:
        return True


commands = {'build_py': BuildPyWithLibrary}
try:
    from wheel.bdist_wheel import bdist_wheel

    class PlatformWheel(bdist_wheel):
        """One wheel for every Python 3 of the platform: ctypes, no extension module."""

        def get_tag(self) -> Tuple[str, str, str]:
            return ('py3', 'none', super().get_tag()[2])

    commands['bdist_wheel'] = PlatformWheel
except ImportError:  # no wheel package: `pip install` needs it, `setup.py build` does not
    pass

setup(cmdclass=commands, distclass=NativeDistribution)
