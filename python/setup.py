"""Builds the extension with the project's own CMake (-DSONVERA_PYTHON=ON) and installs the
package folder beside it. Everything comes from Debian's packages: pybind11-dev, python3-dev,
python3-numpy, and the library's own build dependencies (scripts/setup.sh)."""

import os
import pathlib
import re
import shutil
import subprocess
import sys

from setuptools import Extension, setup
from setuptools.command.build_ext import build_ext

ROOT = pathlib.Path(__file__).resolve().parent.parent
VERSION = re.search(r"project\(Sonvera VERSION ([0-9.]+)", (ROOT / "CMakeLists.txt").read_text())[1]


class CMakeBuild(build_ext):
    def build_extension(self, ext):
        build = pathlib.Path(self.build_temp).resolve() / "cmake"
        configure = ["cmake", "-S", str(ROOT), "-B", str(build), "-G", "Ninja",
                     "-DCMAKE_BUILD_TYPE=Release", "-DSONVERA_PYTHON=ON",
                     "-DSONVERA_BUILD_TESTS=OFF", "-DSONVERA_BUILD_TOOLS=OFF",
                     "-DSONVERA_BUILD_EXAMPLES=OFF", f"-DPython_EXECUTABLE={sys.executable}"]
        subprocess.check_call(configure)
        subprocess.check_call(["cmake", "--build", str(build), "--target", "sonvera_python"])
        target = pathlib.Path(self.get_ext_fullpath(ext.name))
        target.parent.mkdir(parents=True, exist_ok=True)
        built = build / "python" / "sonvera" / os.path.basename(target)
        shutil.copyfile(built, target)


setup(
    name="sonvera",
    version=VERSION,
    description="Sonvera Basic audio components: buffers as NumPy arrays, files, chains",
    packages=["sonvera"],
    ext_modules=[Extension("sonvera._sonvera", sources=[])],
    cmdclass={"build_ext": CMakeBuild},
    install_requires=["numpy"],
    python_requires=">=3.9",
    zip_safe=False,
)
