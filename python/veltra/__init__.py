"""veltra: the disk images of the KAVOLT minicomputer (file system VELTRA) from Python.

Open an image, list its files, read them in the host forms of velrea, change it as velwri,
veldel and velren do, and read the parameters of spectrometer data files as parmdump
prints them::

    import veltra
    with veltra.open("disk.img") as image:
        for file in image.files():
            print(file.full_name, file.size_words, file.date)
        notes = image.read("NOTES.TXT", "A").decode()
        report = veltra.parameters(image.read("RUN12.FID"), "RUN12.FID")
    print(report["TD"].value, report.report)

Host forms, as the letters of rea and wri: "B" the file image (the 768-byte directory
sector, then the data, 3 bytes per 24-bit word), "D" the data alone, "A" host text, "P" the
file image's words as 4-byte little-endian signed integers.

Errors raise veltra.Error with the text the command line prints after "ERROR: " (an OSError,
HostError, when the system reported it, with errno; else a RuntimeError, ImageError).
Warnings go through the warnings module as veltra.VeltraWarning. Long calls let other Python
threads run; one Image is used by one call at a time. With fsspec installed, the protocol
"veltra" reads files out of an image: see veltra.fsspec.
"""

import datetime
import io
import os

from . import _veltra
from ._errors import Error, HostError, ImageError, VeltraWarning

__all__ = ["open", "parameters", "Image", "File", "Parameter", "Parameters", "Error", "HostError",
           "ImageError", "VeltraWarning", "ImageFileIO", "FORMS"]

FORMS = ("B", "D", "A", "P")
"""The host forms: file image, data, text, packed (the file image, 4 bytes a word)."""


def open(path, mode="r"):
    """Opens the disk image at path: mode "r" to read it, "r+" to change it too.

    The image is locked as the commands lock it (shared to read, alone to change), waiting up
    to 30 seconds for other programs; close it, or use it as a context manager.
    """
    if mode not in ("r", "r+"):
        raise ValueError(f'mode must be "r" or "r+", not {mode!r}')
    return Image(path, mode)


class File:
    """A file of an image's directory (or a deleted file found in a free area).

    Attributes: full_name ("NAME.EXT" or "NAME"), name, extension, tag, attribute_letters
    (as veldir prints them) and attributes (the attribute word), size_words, sizes (bytes of
    the host forms "B", "D" and "P"; the length of text, "A", is known only by reading it:
    Image.size(name, "A")), start_sector (of the data), load_address, program_start and
    user_info_address (None when there is none), user_info_size, comment, date (an aware
    datetime of the local time zone, or None), has_directory_sector (False when it could not
    be loaded or does not agree with the entry; then the fields it holds are left empty).
    """

    __slots__ = ("full_name", "name", "extension", "tag", "attributes", "attribute_letters", "size_words",
                 "sizes", "start_sector", "has_directory_sector", "date", "load_address", "program_start",
                 "user_info_address", "user_info_size", "comment")

    def __init__(self, fields):
        for key, value in fields.items():
            setattr(self, key, value)
        self.date = datetime.datetime.fromtimestamp(self.date).astimezone() if self.date else None
        self.program_start = None if self.program_start == -1 else self.program_start
        self.user_info_address = None if self.user_info_address == -1 else self.user_info_address

    def __repr__(self):
        """<veltra.File NAME.EXT letters size words>"""
        return f"<veltra.File {self.full_name} {self.attribute_letters} {self.size_words} words>"


class Image:
    """An open VELTRA disk image; made by veltra.open(path, mode).

    Every call reads the image as it is at that moment. Names are full names as veldir
    lists them ("NOTES.TXT"); forms are "B", "D", "A" or "P" (see FORMS).
    """

    def __init__(self, path, mode="r"):
        """Opens the image at path; use veltra.open()."""
        self.path = os.fspath(path)
        self.mode = mode
        self._image = _veltra.Image(self.path, mode == "r+")

    def __enter__(self):
        """The image itself, closed at the end of the with block."""
        return self

    def __exit__(self, *exception):
        """Closes the image."""
        self.close()

    def __repr__(self):
        """<veltra.Image 'path' mode>"""
        state = "closed" if self.closed else f"mode {self.mode!r}"
        return f"<veltra.Image {self.path!r} {state}>"

    def close(self):
        """Closes the image and lets go of its lock; closing again does nothing."""
        self._image.close()

    @property
    def closed(self):
        """True once the image is closed."""
        return self._image.closed

    def files(self):
        """The files of the directory in directory order, as File objects.

        Free areas are left out; illegal entries are included (their attributes show it).
        """
        return [File(fields) for fields in self._image.files()]

    def deleted_files(self):
        """The deleted files that velddi finds in the free areas, in disk order, as File objects."""
        return [File(fields) for fields in self._image.deleted_files()]

    def read(self, name, form="B"):
        """The bytes velrea writes for the file in the form, as bytes."""
        return self._image.read(name, form)

    def size(self, name, form="B"):
        """The length in bytes of the file in the form (text is measured by reading it)."""
        return self._image.size(name, form)

    def open(self, name, form="B", buffering=1 << 20):
        """The file's bytes in the form as a readable, seekable binary file object.

        It reads the image from where it stands, buffering bytes at a time (0: unbuffered, an
        ImageFileIO), while the image is open: for files of any size. Text ("A") is made whole
        at once, into an io.BytesIO.
        """
        if form == "A":
            return io.BytesIO(self.read(name, form))
        raw = ImageFileIO(self, name, form)
        return raw if buffering == 0 else io.BufferedReader(raw, buffering)

    def words(self, name):
        """The file's data words as a NumPy int32 array, sign-extended (needs NumPy)."""
        import numpy

        # The packed form starts with the directory sector's 256 words.
        return numpy.frombuffer(self.read(name, "P"), dtype="<i4", offset=1024).astype(numpy.int32)

    def write(self, source, data=None, form="B", letters=""):
        """velwri of a host file into the image; True when it was written.

        source is the host file's path, or, with data (bytes), the name of a host file of that
        content. letters are more of wri's letters ("Y", "F", "O", "V"). A file that is not
        written gives the warning that says why, and False.
        """
        if data is None:
            return self._image.write_file(os.fspath(source), form, letters)
        return self._image.write(os.fspath(source), bytes(data), form, letters)

    def remove(self, name, letters=""):
        """veldel of the file (letters "Y", "F" as for del); True when it is gone."""
        return self._image.remove(name, letters)

    def rename(self, name, new_name, letters=""):
        """velren of the file to new_name (letter "F" as for ren); True when it was renamed."""
        return self._image.rename(name, new_name, letters)

    def run(self, command, *arguments, options=""):
        """Runs a veltool command ("dir", "sdi", ...) on the image; returns what it prints.

        arguments are the words after the options on its command line (file names, and
        options such as "-t", "M"); options are the letters of its -o. A command that
        changes the image needs mode "r+".
        """
        words = (["-o", options] if options else []) + [os.fspath(a) for a in arguments]
        return self._image.run(command, words)


class ImageFileIO(io.RawIOBase):
    """A file's bytes in a host form other than text, read from an open Image at any place.

    Image.open() makes it, in an io.BufferedReader unless unbuffered.
    """

    def __init__(self, image, name, form="B"):
        """The file name of image in the form."""
        super().__init__()
        if form not in ("B", "D", "P"):
            raise ValueError(f'form must be "B", "D" or "P", not {form!r}')
        self.image, self.name, self.form = image, name, form
        self._position = 0
        self._size = None
        image._image.read_into(name, form, 0, bytearray(1))  # the file is there and can be read

    def readable(self):
        """True: it can be read."""
        return True

    def seekable(self):
        """True: it can be read at any place."""
        return True

    def readinto(self, buffer):
        """Reads into buffer from the current place; returns the count (0 at the end)."""
        count = self.image._image.read_into(self.name, self.form, self._position, buffer)
        self._position += count
        return count

    def seek(self, offset, whence=io.SEEK_SET):
        """Moves to offset from the start, the current place or the end (whence 0, 1, 2)."""
        if whence == io.SEEK_END:
            offset += self.size()
        elif whence == io.SEEK_CUR:
            offset += self._position
        elif whence != io.SEEK_SET:
            raise ValueError(f"invalid whence ({whence})")
        if offset < 0:
            raise OSError(22, f"negative seek position {offset}")
        self._position = offset
        return offset

    def tell(self):
        """The current place."""
        return self._position

    def size(self):
        """The length of the file's bytes in the form."""
        if self._size is None:
            self._size = self.image.size(self.name, self.form)
        return self._size


class Parameter:
    """One parameter of a report as parmdump prints it.

    name ("TD", "HZ/PT"), value (the text printed, without its padding), unit ("ppm", "Hz",
    or ""), block (the heading it stands under, "" for the header lines), kind ("FENDAR" or
    "TORGIL"); number is the value as an int or float, or None when it is no number.
    """

    __slots__ = ("name", "value", "unit", "block", "kind")

    def __init__(self, name, value, unit="", block="", kind=""):
        self.name, self.value, self.unit, self.block, self.kind = name, value, unit, block, kind

    @property
    def number(self):
        """The value as an int or a float; None when it is not a number (e.g. "1/2", "E")."""
        for convert in (int, float):
            try:
                return convert(self.value)
            except ValueError:
                pass
        return None

    def __eq__(self, other):
        """Equal when every field is."""
        return isinstance(other, Parameter) and self._fields() == other._fields()

    def _fields(self):
        """(name, value, unit, block, kind)"""
        return (self.name, self.value, self.unit, self.block, self.kind)

    def __repr__(self):
        """<veltra.Parameter NAME=value unit (block)>"""
        unit = f" {self.unit}" if self.unit else ""
        return f"<veltra.Parameter {self.name}={self.value}{unit} ({self.block or 'header'})>"


class Parameters(dict):
    """The parameters of a data file: a dict from the name as the report prints it ("TD") to a
    Parameter.

    A name printed more than once (SI in the header and the acquisition block, SW in Hz and
    ppm, OFFSET in ppm and in Hz on one line) maps to its first record in a block of
    parameters, the header's only where no block has it; records holds every record in
    report order, all(name) those of one name, block(heading) one block's. report is the
    whole text parmdump prints.
    """

    def __init__(self, records, report):
        super().__init__()
        self.records = [Parameter(*record) for record in records]
        self.report = report
        for record in self.records:
            if record.name not in self or (not self[record.name].block and record.block):
                self[record.name] = record

    def all(self, name):
        """Every record of that name, in report order."""
        return [record for record in self.records if record.name == name]

    def block(self, heading):
        """The parameters under the heading ("ACQUISITION PARAMETERS"; "" for the header) as a
        dict from name to its first record there."""
        found = {}
        for record in self.records:
            if record.block == heading:
                found.setdefault(record.name, record)
        return found


def parameters(source, name=None, parameter_file=None, unknown=None):
    """parmdump's report of a data file: its Parameters, with the text as .report.

    source is the data file's path, or its content (bytes) with name as its path for the
    messages. For a data file without a parameter sector of its own, parameters of a path
    come from its parameter file p_NAME (or P_NAME) beside it; of bytes from the bytes of
    parameter_file. unknown ("FENDAR" or "TORGIL") reads data of neither kind as that kind,
    as parmdump does under a name with "fen" or "gil". Errors raise veltra.Error with
    parmdump's message.
    """
    unknown = unknown or ""
    if isinstance(source, (bytes, bytearray, memoryview)):
        found = _veltra.parameters_of_bytes(bytes(source), name or "", unknown, bytes(parameter_file or b""))
    else:
        found = _veltra.parameters_of_path(os.fspath(source), unknown)
    return Parameters(*found)


try:
    import fsspec as _fsspec
except ImportError:
    pass
else:
    _fsspec.register_implementation("veltra", "veltra.fsspec.VeltraFileSystem", clobber=True)
