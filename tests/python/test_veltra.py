"""The package veltra against what the programs print and write: ctest runs it with the build's
folders in VELTOOL_BUILD and VELTOOL_SOURCE and the test builder's make_image in MAKE_IMAGE."""

import errno
import importlib
import os
import re
import shutil
import struct
import subprocess
import warnings
from concurrent.futures import ThreadPoolExecutor

import pytest
import veltra

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


FILES = ["NOTES.TXT", "BIG.DAT", "README.TXT", "PROTON.FID"]


@pytest.mark.parametrize("form", veltra.FORMS)
def test_read_and_file_objects_give_what_velrea_writes(disk, form):
    out = disk.folder / "out"
    out.mkdir()
    assert disk.vel("rea", "-o", form, "-f", f"{out}/", *FILES)[0] == 0
    with veltra.open(disk.image) as image:
        sizes = {file.full_name: file.sizes.get(form) for file in image.files()}
        for name in FILES:
            data = image.read(name, form)
            assert data == (out / name).read_bytes(), name
            assert image.size(name, form) == len(data) and sizes[name] in (len(data), None)
            with image.open(name, form) as buffered, image.open(name, form, buffering=0) as raw:
                for f in (buffered, raw):
                    for at in (0, 1, 767, 768, 769, 1048319, 1048320, 1397760, len(data) - 5, len(data) + 3):
                        assert f.seek(at) == at and f.read(2_000_000) == data[at:at + 2_000_000], (name, at)
                    assert f.seek(-7, 2) == len(data) - 7 and f.read() == data[-7:]
                    assert f.seek(-3, 1) == len(data) - 3 and f.tell() == len(data) - 3


def test_files_deleted_files_and_run(disk):
    with veltra.open(disk.image) as image:
        files = {file.full_name: file for file in image.files()}
        assert list(files) == ["NOTES.TXT", "PROT.DAT", "BIG.DAT", "README.TXT", "PROTON.FID", "BAD.DAT"]
        notes, readme = files["NOTES.TXT"], files["README.TXT"]
        assert (notes.name, notes.extension, notes.size_words, notes.attribute_letters) == ("NOTES", "TXT", 40, "A")
        assert files["PROT.DAT"].attribute_letters == "AP" and not files["BAD.DAT"].has_directory_sector
        assert notes.sizes == {"B": 768 + 120, "D": 120, "P": 1024 + 160} and notes.program_start is None
        assert readme.date.utcoffset() is not None and readme.date.strftime("%d.%b.%y") in disk.listing()
        assert [file.full_name for file in image.deleted_files()] == ["GONE.DAT"]
        assert image.run("dir", options="F") == disk.listing()
        assert image.run("sdi", "-t", "M") == disk.vel("sdi", "-t", "M")[1]
        with warnings.catch_warnings():
            warnings.simplefilter("error")  # a warning the filter makes an error ends the call
            with pytest.raises(veltra.VeltraWarning, match="CORRUPT DIRECTORY SECTOR, DRE RECOMMENDED: BAD.DAT"):
                image.files()


def test_words_are_the_packed_form_sign_extended(disk):
    numpy = need("numpy")
    with veltra.open(disk.image) as image:
        words = image.words("BIG.DAT")
        packed = image.read("BIG.DAT", "P")
    assert words.dtype == numpy.int32 and len(words) == 360000 and words.min() < 0 <= words.max() < 1 << 23
    assert words.tolist() == list(struct.unpack(f"<{len(packed) // 4}i", packed))[256:]  # after the directory sector


# A change through the package and the same through the command line: the same directory
# afterwards, the same warnings, True when nothing was refused.
CHANGES = [
    (lambda i, h: i.write("NEW.TXT", b"one\r\ntwo\n", "A"), ["wri", "-o", "A", "{host}/NEW.TXT"]),
    (lambda i, h: i.write(h / "PROTON.FID", form="B", letters="O"), ["wri", "-o", "O", "{host}/PROTON.FID"]),
    (lambda i, h: i.write(h / "PROT.DAT", form="D"), ["wri", "-o", "D", "{host}/PROT.DAT"]),
    (lambda i, h: i.write("PROT.DAT", (h / "PROT.DAT").read_bytes(), "D", "Y"), ["wri", "-o", "DY", "{host}/PROT.DAT"]),
    (lambda i, h: i.write(h / "MISSING", form="A"), ["wri", "-o", "A", "{host}/MISSING"]),
    (lambda i, h: i.remove("PROT.DAT"), ["del", "PROT.DAT"]),
    (lambda i, h: i.remove("PROT.DAT", "Y"), ["del", "-o", "Y", "PROT.DAT"]),
    (lambda i, h: i.rename("NOTES.TXT", "LETTER.TXT"), ["ren", "NOTES.TXT", "LETTER.TXT"]),
    (lambda i, h: i.rename("NOTES.TXT", "README.TXT"), ["ren", "NOTES.TXT", "README.TXT"]),
]


@pytest.mark.parametrize("change, command", CHANGES)
def test_changes_as_the_commands_make_them(disk, change, command):
    copy = disk.copy()
    (disk.host / "NEW.TXT").write_bytes(b"one\r\ntwo\n")
    with veltra.open(disk.image, "r+") as image, warnings.catch_warnings(record=True) as caught:
        warnings.simplefilter("always")
        done = change(image, disk.host)
    status, out, err = disk.vel(*(word.format(host=disk.host) for word in command), image=copy)
    assert "".join(f"WARNING: {w.message}\n" for w in caught) == err and status == 0
    assert all(w.category is veltra.VeltraWarning for w in caught) and done == (not caught)
    assert disk.listing() == disk.listing(copy)


# A call that fails: its exception, errno, and the command whose message is its text.
ERRORS = [
    (lambda d: veltra.open(d.folder / "none.img"), veltra.HostError, errno.ENOENT, ["dir", "{folder}/none.img"]),
    (lambda d: veltra.open(d.image).read("NOPE"), veltra.ImageError, None, ["rea", "{image}", "NOPE"]),
    (lambda d: veltra.open(d.image).open("NOPE", "D"), veltra.ImageError, None, ["rea", "{image}", "NOPE"]),
    (lambda d: veltra.open(d.image).rename("NOTES.TXT", "X"), veltra.HostError, errno.EBADF,
     "disk image {image} is open for reading only:\nBad file descriptor"),
    (lambda d: veltra.parameters(d.folder / "none"), veltra.HostError, errno.ENOENT, "Cannot open {folder}/none: "
     "No such file or directory"),
    (lambda d: veltra.parameters(b"\0" * 9, "short"), veltra.ImageError, None, "Cannot read short: file too short"),
]


@pytest.mark.parametrize("call, kind, number, message", ERRORS)
def test_errors_carry_the_command_lines_text(disk, call, kind, number, message):
    if isinstance(message, list):
        words = [word.format(image=disk.image, folder=disk.folder) for word in message]
        status, out, err = run("veltool", "-i", words[0], "-d", *words[1:])
        message = re.sub(r"^(ERROR|WARNING): ", "", (err or out).split("\nWARNING")[0]).rstrip("\n")
    with pytest.raises(kind) as raised:
        call(disk)
    assert str(raised.value) == message.format(image=disk.image, folder=disk.folder)
    assert isinstance(raised.value, veltra.Error) and getattr(raised.value, "errno", None) == number
    assert isinstance(raised.value, OSError if number else RuntimeError)


def test_two_images_and_two_threads_at_once(disk):
    copy = disk.copy()
    with veltra.open(disk.image) as first, veltra.open(copy, "r+") as second:
        assert second.remove("NOTES.TXT") and "NOTES.TXT" in [file.full_name for file in first.files()]
        with ThreadPoolExecutor(3) as pool:
            results = list(pool.map(lambda _: first.read("BIG.DAT", "P"), range(3)))
        assert results == [second.read("BIG.DAT", "P")] * 3
    with pytest.raises(ValueError):
        first.files()


def test_parameters_are_parmdumps_report(disk):
    report = veltra.parameters(disk.host / "PROTON.FID")
    assert report.report == run("parmdump", disk.host / "PROTON.FID")[1] and report["TD"].kind == "FENDAR"
    same = veltra.parameters((disk.host / "PROTON.FID").read_bytes(), "PROTON.FID")
    assert same.report == report.report and same == report and report["TD"].number == 16384
    assert report["SI"].value == "8192" and report.block("")["SI"].value == "8"
    assert [(p.value, p.unit) for p in report.all("OFFSET")] == [("8.125", "ppm"), ("3250.00", "Hz")]
    assert report["OFFSET"].unit == "ppm" and report["HZ/PT"].block == "ACQUISITION PARAMETERS"


def test_fsspec_reads_files_out_of_an_image(disk):
    fsspec = need("fsspec")
    with veltra.open(disk.image) as image:
        text, big = image.read("README.TXT", "A"), image.read("BIG.DAT", "D")
    fs = fsspec.filesystem("veltra", fo=str(disk.image), form="A")
    assert fs.ls("/", detail=False) == ["NOTES.TXT", "PROT.DAT", "BIG.DAT", "README.TXT", "PROTON.FID", "BAD.DAT"]
    assert fs.glob("*.TXT") == ["NOTES.TXT", "README.TXT"] and fs.find("") == sorted(fs.ls("", detail=False))
    assert fs.cat("README.TXT") == text and fs.info("README.TXT")["size"] == len(text)
    with fsspec.open(f"veltra://BIG.DAT::{disk.image}", "rb", veltra={"form": "D"}) as f:
        assert f.seek(1048000) and f.read(1000) == big[1048000:1049000]
    with pytest.raises(FileNotFoundError):
        fs.info("NOPE")


def test_readme_example_runs_as_written(disk, capsys, monkeypatch):
    readme = open(f"{SOURCE}/README.md").read().split("## Python", 1)[1]
    example = re.search(r"```python\n(.*?)```", readme, re.S).group(1)
    (disk.host / "RUN12.FID").write_bytes((disk.host / "PROTON.FID").read_bytes())
    disk.vel("wri", disk.host / "RUN12.FID")
    monkeypatch.chdir(disk.folder)
    exec(compile(example, "README.md", "exec"), {})
    assert "RUN12.FID 512" in capsys.readouterr().out
