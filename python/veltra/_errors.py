"""The errors and warnings of the package, made from the library's."""

import os


class Error(Exception):
    """An error of veltra, with the text veltool or parmdump prints after "ERROR: ".

    Every error is also an OSError (HostError, with errno and strerror) when the host
    system reported it, else a RuntimeError (ImageError).
    """

    def __init__(self, *args, text=None):
        super().__init__(*args)
        self.text = text

    def __str__(self):
        """The command line's text."""
        return self.text if self.text is not None else super().__str__()


class HostError(Error, OSError):
    """An error the host system reported: errno and strerror tell which."""


class ImageError(Error, RuntimeError):
    """An error of the image, its files, a data file or the call (no system error)."""


class VeltraWarning(UserWarning):
    """A warning of veltra: the text veltool prints after "WARNING: "; the work went on."""


def error(text, errnum):
    """The exception for the library's error text and system error number (0: none)."""
    if errnum:
        return HostError(errnum, os.strerror(errnum), text=text)
    return ImageError(text, text=text)


for _class in (Error, HostError, ImageError, VeltraWarning):
    _class.__module__ = "veltra"
