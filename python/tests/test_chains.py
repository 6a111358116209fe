"""Chains from Python beside the same chain run by the sonvera tool, and arrays through effects."""

import os
import subprocess

import numpy as np
import pytest

import sonvera


def test_a_chain_from_python_writes_the_bytes_sonvera_run_writes(tmp_path):
    rng = np.random.default_rng(3)
    source = str(tmp_path / "in.flac")
    sonvera.write(source, rng.integers(-30000, 30000, (20000, 2)).astype(np.int16), 44100)
    text = "file-source filename={} ! gain gain=0.5 ! file-writer filename={}"
    sonvera.Chain(text.format(source, tmp_path / "python.wav")).run()
    subprocess.run([os.environ["SONVERA_TOOL"], "run", text.format(source, tmp_path / "tool.wav"),
                    "--quiet"], check=True)
    built = sonvera.Chain()
    built.add("file-source", filename=source)
    built.add("gain", gain=0.5)
    built.add("file-writer", filename=str(tmp_path / "built.wav"))
    built.connect("file-source", "gain")
    built.connect("gain", "file-writer")
    built.run()
    expected = (tmp_path / "tool.wav").read_bytes()
    assert (tmp_path / "python.wav").read_bytes() == expected == (tmp_path / "built.wav").read_bytes()

    with pytest.raises(sonvera.Error, match="unknown property 'gian'"):
        sonvera.Chain().add("gain", gian=0.5)


@pytest.mark.parametrize("dtype", [np.float32, np.int16])
def test_process_halves_an_array_through_gain(dtype):
    rng = np.random.default_rng(4)
    a = rng.uniform(-0.9, 0.9, (30000, 2)).astype(np.float32)
    if dtype == np.int16:
        a = np.round(a * 32767).astype(np.int16)
    halved = sonvera.process(a, 48000, "gain gain=0.5")
    assert halved.dtype == a.dtype and halved.shape == a.shape
    np.testing.assert_allclose(halved, a.astype(np.float64) * 0.5, rtol=0,
                               atol=1e-7 if dtype == np.float32 else 0.5)
