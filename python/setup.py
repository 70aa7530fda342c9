# SPDX-License-Identifier: MIT
"""Builds the package: the library, bundled, and the extension that calls it.

`pip install ./python` and `pip wheel ./python` configure and build the CMake
project one directory up (Release, the libraries alone: no tests, no
examples), copy libtovakWrapper and libtovakWrapperCalls into the package
under their SONAMEs, and build the extension module tovakwrapper._native
against the stable ABI of CPython 3.11 (one abi3 wheel for 3.11 and later),
linked to those two copies. Every bundled file finds its neighbours through
$ORIGIN alone. The distribution's version is the header's.
"""
from __future__ import annotations

import glob
import os
import re
import shutil
import subprocess
import sys
from typing import List

HERE = os.path.dirname(os.path.abspath(__file__))
SOURCE = os.path.dirname(HERE)  # the library's CMake project
HEADER = os.path.join(SOURCE, 'include', 'tovakWrapper.h')
LIBRARIES = ('libtovakWrapper', 'libtovakWrapperCalls')


def header_version() -> str:
    """MAJOR.MINOR.PATCH from the header's TOVAKWRAPPER_VERSION_* macros."""
    with open(HEADER) as header:
        text = header.read()
    return '.'.join(re.search(rf'^#define TOVAKWRAPPER_VERSION_{part} (\d+)$', text, re.M)
                    .group(1) for part in ('MAJOR', 'MINOR', 'PATCH'))  # type: ignore[union-attr]


def build_libraries(build: str) -> List[str]:
    """Builds the two libraries in `build`; returns their paths, each named by its SONAME."""
    cmake = shutil.which('cmake')
    if cmake is None:
        sys.exit('tovakwrapper: building the library needs CMake 3.25 or newer and a C++20 '
                 'compiler (Debian: apt-get install -y cmake g++)')
    configure = [cmake, '-S', SOURCE, '-B', build, '-DCMAKE_BUILD_TYPE=Release',
                 '-DTOVAK_BUILD_TESTS=OFF', '-DTOVAK_BUILD_EXAMPLES=OFF', '-DTOVAK_INSTALL=OFF',
                 # The bundled copies find each other beside themselves, nowhere else.
                 '-DCMAKE_BUILD_WITH_INSTALL_RPATH=ON', '-DCMAKE_INSTALL_RPATH=$ORIGIN']
    if not os.path.isfile(os.path.join(build, 'CMakeCache.txt')) and shutil.which('ninja'):
        configure += ['-G', 'Ninja']
    subprocess.run(configure, check=True)
    jobs = [] if os.environ.get('CMAKE_BUILD_PARALLEL_LEVEL') else ['--parallel', '2']
    subprocess.run([cmake, '--build', build] + jobs, check=True)
    # The SONAME links CMake made: libtovakWrapper.so.<soversion> -> the file.
    found = sorted(p for name in LIBRARIES for p in glob.glob(os.path.join(build, f'{name}.so.*'))
                   if os.path.islink(p) and not os.path.islink(os.path.join(build, os.readlink(p))))
    if len(found) != len(LIBRARIES):
        sys.exit(f'tovakwrapper: expected the SONAME links of {LIBRARIES} in {build}, found {found}')
    return found


def main() -> None:
    from setuptools import Extension, setup
    from setuptools.command.build_ext import build_ext

    class BuildWithLibraries(build_ext):
        """The libraries first (CMake), copied beside the extension, which links them."""

        def run(self) -> None:
            build = os.path.join(os.path.abspath(self.build_temp), 'tovakWrapper')
            libraries = build_libraries(build)
            target = os.path.join(os.path.abspath(self.build_lib), 'tovakwrapper')
            if self.inplace:
                target = os.path.join(HERE, 'tovakwrapper')
            os.makedirs(target, exist_ok=True)
            for path in libraries:
                destination = os.path.join(target, os.path.basename(path))
                shutil.copyfile(path, destination)  # the file itself, under its SONAME
                os.chmod(destination, 0o755)
                print(f'bundled {os.path.basename(path)} into {target}')
            for extension in self.extensions:
                extension.library_dirs = [build]
            super().run()

    native = Extension(
        'tovakwrapper._native', sources=['src/native.c'],
        include_dirs=[os.path.join(SOURCE, 'include')],
        libraries=['tovakWrapper', 'tovakWrapperCalls'],
        define_macros=[('Py_LIMITED_API', '0x030B0000')], py_limited_api=True,
        extra_compile_args=['-std=c11', '-Wall', '-Wextra'],
        extra_link_args=['-Wl,-rpath,$ORIGIN', '-Wl,--enable-new-dtags'])
    setup(version=header_version(), ext_modules=[native],
          cmdclass={'build_ext': BuildWithLibraries},
          options={'bdist_wheel': {'py_limited_api': 'cp311'}})


if __name__ == '__main__':
    main()
