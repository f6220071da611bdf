"""Images and programs for the tests of the package veltra: ctest runs them with the build's
folders in VELTOOL_BUILD and VELTOOL_SOURCE and the test builder's make_image in MAKE_IMAGE."""

import importlib
import os
import shutil
import subprocess

import pytest

BUILD = os.environ["VELTOOL_BUILD"]
SOURCE = os.environ["VELTOOL_SOURCE"]
# A text file, a protected file, a file of more than one run, a deleted file, a damaged
# directory sector (b), and files written by the programs (see disk()).
IMAGE = "3000 NOTES.TXT:40 PROT.DAT:100:P BIG.DAT:360000 -20 ~GONE.DAT:10@12 BAD.DAT:30:b"


def need(module):
    """The module; without it the test is skipped, except in CI, where that fails."""
    return importlib.import_module(module) if os.environ.get("CI") == "true" else pytest.importorskip(module)


def run(program, *arguments, cwd=None):
    """(exit status, standard output, standard error) of a program of the build."""
    done = subprocess.run([os.path.join(BUILD, program), *map(str, arguments)], capture_output=True,
                          cwd=cwd, stdin=subprocess.DEVNULL)
    return done.returncode, done.stdout.decode("latin-1"), done.stderr.decode("latin-1")


class Disk:
    """An image of the test builder in a scratch folder, with host files in host/."""

    def __init__(self, folder):
        self.folder, self.image, self.host = folder, folder / "disk.img", folder / "host"
        self.host.mkdir()
        subprocess.run([os.environ["MAKE_IMAGE"], self.image, IMAGE], check=True)
        run("tools/make_sample", self.host)
        (self.host / "README.TXT").write_bytes(b"line one\nline two\n")
        (self.host / "PROT.DAT").write_bytes(bytes(range(256)) * 3)
        self.vel("wri", "-o", "A", self.host / "README.TXT")
        self.vel("wri", self.host / "PROTON.FID")

    def vel(self, command, *arguments, image=None):
        """VEL<command> -d image (this one by default) with the arguments."""
        return run(f"bin/VEL{command.upper()}", "-d", image or self.image, *arguments)

    def copy(self):
        """A copy of the image beside it; its path."""
        return shutil.copy(self.image, self.folder / "copy.img")

    def listing(self, image=None):
        return self.vel("dir", "-o", "F", image=image)[1]


@pytest.fixture
def disk(tmp_path):
    return Disk(tmp_path)
