"""pip install . builds the Python module through the project's own CMake build."""
import os
import pathlib
import re
import shutil
import subprocess
import sys
import sysconfig

from setuptools import Extension, setup
from setuptools.command.build_ext import build_ext

ROOT = pathlib.Path(__file__).resolve().parent
VERSION = re.search(r"project\(quadtrack VERSION ([0-9.]+)", (ROOT / "CMakeLists.txt").read_text()).group(1)


class CMakeBuild(build_ext):
    def build_extension(self, ext):
        build = pathlib.Path(self.build_temp).resolve() / "cmake"
        options = []
        try:  # pybind11 from pip (a build with isolation) brings its own CMake files; Debian's are found as they are
            import pybind11
            options.append(f"-Dpybind11_DIR={pybind11.get_cmake_dir()}")
        except ImportError:
            pass
        subprocess.run(["cmake", "-S", str(ROOT), "-B", str(build), "-DCMAKE_BUILD_TYPE=Release",
                        "-DQUADTRACK_PYTHON=ON", "-DQUADTRACK_TESTS=OFF", "-DQUADTRACK_BENCHMARKS=OFF",
                        f"-DPython3_EXECUTABLE={sys.executable}", *options], check=True)
        subprocess.run(["cmake", "--build", str(build), "--target", "quadtrack_python", "-j", str(os.cpu_count() or 1)],
                       check=True)
        target = pathlib.Path(self.get_ext_fullpath(ext.name))
        target.parent.mkdir(parents=True, exist_ok=True)
        shutil.copyfile(build / "python" / "quadtrack" / ("_core" + sysconfig.get_config_var("EXT_SUFFIX")), target)


setup(
    name="quadtrack",
    version=VERSION,
    description="Follows a four-cornered planar region through grey-level video, with sub-pixel corners",
    python_requires=">=3.9",
    install_requires=["numpy"],
    packages=["quadtrack"],
    package_dir={"quadtrack": "python/quadtrack"},
    # The stubs and the PEP 561 marker: type checkers read the package's types.
    package_data={"quadtrack": ["py.typed", "*.pyi"]},
    ext_modules=[Extension("quadtrack._core", sources=[])],
    cmdclass={"build_ext": CMakeBuild},
    # Kept apart from the CMake build folders of the project.
    options={"build": {"build_base": "build-python"}, "egg_info": {"egg_base": "build-python"}},
    zip_safe=False,
)
