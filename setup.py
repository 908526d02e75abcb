"""pip install --no-build-isolation .  (offline, with Debian's setuptools):
the Python package tarva, its extension built by this checkout's CMake
project (the target _tarva) and the library files put into the package."""
import glob
import os
import pathlib
import shutil
import subprocess
import sys

from setuptools import Extension, setup
from setuptools.command.build_ext import build_ext

SOURCE = pathlib.Path(__file__).resolve().parent


class CMakeBuild(build_ext):
    def build_extension(self, ext):
        package = pathlib.Path(self.get_ext_fullpath(ext.name)).resolve().parent
        build = pathlib.Path(self.build_temp).resolve() / "cmake"
        subprocess.check_call(["cmake", "-S", str(SOURCE), "-B", str(build), "-DCMAKE_BUILD_TYPE=RelWithDebInfo",
                               "-DTARVA_TESTS=OFF", "-DTARVA_BENCH=OFF", "-DPython3_EXECUTABLE=" + sys.executable])
        jobs = str(os.cpu_count() or 2)
        subprocess.check_call(["cmake", "--build", str(build), "--target", "_tarva", "-j", jobs])
        package.mkdir(parents=True, exist_ok=True)
        for built in glob.glob(str(build / "python" / "tarva" / "_tarva*.so")):
            shutil.copy2(built, package / os.path.basename(built))
        shutil.copytree(build / "python" / "tarva" / "lib", package / "lib", dirs_exist_ok=True)


setup(
    name="tarva",
    version="7.1",
    description="interactive fitting and plotting of spectra, from Python",
    packages=["tarva"],
    package_dir={"": "python"},
    ext_modules=[Extension("tarva._tarva", sources=[])],
    cmdclass={"build_ext": CMakeBuild},
    zip_safe=False,
)
