"""A read-only fsspec file system on a VELTRA disk image: protocol "veltra".

Importing veltra registers it when fsspec is installed, so that code that takes a URL reads
files straight out of an image::

    with fsspec.open("veltra://NOTES.TXT::disk.img", "rb", veltra={"form": "A"}) as f:
        text = f.read()
    fs = fsspec.filesystem("veltra", fo="disk.img", form="A")
    fs.ls("/"); fs.glob("*.FID"); fs.cat("NOTES.TXT")

The image's files form one flat folder, named by their full names. Every operation opens the
image (a shared lock) and closes it again; an open file keeps it open until it is closed.
"""

import io

from fsspec import AbstractFileSystem

import veltra


class VeltraFileSystem(AbstractFileSystem):
    """The files of the disk image fo, read in the host form form ("B", "D", "A" or "P")."""

    protocol = "veltra"
    root_marker = ""

    def __init__(self, fo, form="B", target_protocol=None, target_options=None, **kwargs):
        """fo is the image's path (a local file); form the host form the files are read in."""
        super().__init__(**kwargs)
        if target_protocol not in (None, "file", "local"):
            raise ValueError(f"a VELTRA disk image is read from a local file, not over {target_protocol}")
        if form not in veltra.FORMS:
            raise ValueError(f'form must be one of {", ".join(veltra.FORMS)}, not {form!r}')
        self.fo = getattr(fo, "path", fo)
        self.form = form

    @classmethod
    def _strip_protocol(cls, path):
        path = super()._strip_protocol(path)
        return path.lstrip("/")

    def _entry(self, file):
        """The ls entry of a veltra.File."""
        size = None if self.form == "A" else file.sizes[self.form]
        return {"name": file.full_name, "size": size, "type": "file", "words": file.size_words,
                "date": file.date, "attributes": file.attribute_letters, "start_sector": file.start_sector}

    def ls(self, path="", detail=True, **kwargs):
        """The files of the image (path "" or "/"), or the one file of that name."""
        path = self._strip_protocol(path)
        with veltra.open(self.fo) as image:
            entries = [self._entry(file) for file in image.files() if not path or file.full_name == path]
        if path and not entries:
            raise FileNotFoundError(path)
        return entries if detail else [entry["name"] for entry in entries]

    def info(self, path, **kwargs):
        """The file's entry: name, size (in the form), type, words, date, attributes, start_sector."""
        path = self._strip_protocol(path)
        if not path:
            return {"name": "", "size": 0, "type": "directory"}
        entry = self.ls(path)[0]
        if entry["size"] is None:
            with veltra.open(self.fo) as image:
                entry["size"] = image.size(path, self.form)
        return entry

    def cat_file(self, path, start=None, end=None, **kwargs):
        """The file's bytes in the form, or those from start to end."""
        with veltra.open(self.fo) as image:
            data = image.read(self._strip_protocol(path), self.form)
        return data[start:end]

    def _open(self, path, mode="rb", block_size=None, autocommit=True, cache_options=None, **kwargs):
        """The file as Image.open gives it (buffered by block_size bytes), holding the image open."""
        if mode != "rb":
            raise ValueError(f"a VELTRA disk image is read only: mode {mode!r}")
        image = veltra.open(self.fo)
        try:
            if self.form == "A":
                return io.BytesIO(image.read(self._strip_protocol(path), "A"))
            return _ImageFile(image, self._strip_protocol(path), self.form, block_size or 1 << 20)
        finally:
            if self.form == "A":
                image.close()


class _ImageFile(io.BufferedReader):
    """A file of an image that closes the image with itself."""

    def __init__(self, image, name, form, buffer_size):
        try:
            super().__init__(veltra.ImageFileIO(image, name, form), buffer_size)
        except BaseException:
            image.close()
            raise
        self._image = image

    def close(self):
        """Closes the file and the image."""
        try:
            super().close()
        finally:
            self._image.close()
