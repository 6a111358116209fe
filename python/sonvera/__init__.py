"""Sonvera Basic from Python: audio buffers as NumPy arrays without copies, files in one line.

    import sonvera
    a, rate = sonvera.read("in.flac")          # frames x channels, float32
    sonvera.write("out.wav", a, rate)
    with sonvera.open("long.flac") as f:       # files larger than memory
        for block in f.blocks(65536):
            ...
    sonvera.Chain("file-source filename=in.flac ! gain gain=0.5 ! file-writer filename=out.wav").run()
    halved = sonvera.process(a, rate, "gain gain=0.5")

Errors the library raises are sonvera.Error, with the library's message.
"""

from ._sonvera import (AudioBuffer, Chain, Error, SoundFile, __version__, open, process, read,
                       write)

__all__ = ["AudioBuffer", "Chain", "Error", "SoundFile", "open", "process", "read", "write"]

for _name in ["AudioBuffer", "Chain", "Error", "SoundFile"]:
    globals()[_name].__module__ = __name__  # sonvera.Error, not sonvera._sonvera.Error
