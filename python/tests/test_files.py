"""Files through the library's source and writer, held against soundfile and ffmpeg."""

import os
import signal
import subprocess
import threading
import time

import numpy as np
import pytest
import soundfile

import sonvera


def noise(frames, channels, bits, seed=1):
    """Random samples over the whole range of a width, as the array type that writes it."""
    rng = np.random.default_rng(seed)
    dtype = {8: np.uint8, 16: np.int16}.get(bits, np.int32)
    low, high = (0, 255) if bits == 8 else (-(2 ** (bits - 1)), 2 ** (bits - 1) - 1)
    return rng.integers(low, high, (frames, channels), endpoint=True).astype(dtype)


@pytest.mark.parametrize("name,bits", [("u8.wav", 8), ("s16.wav", 16), ("s24.wav", 24),
                                       ("s32.wav", 32), ("s16.flac", 16), ("s24.flac", 24)])
def test_lossless_round_trips_are_exact_and_agree_with_soundfile(tmp_path, name, bits):
    samples = noise(4321, 3, bits)
    path = str(tmp_path / name)
    sonvera.write(path, samples, 44100, bits=bits)
    floats, rate = sonvera.read(path)
    reference, reference_rate = soundfile.read(path, dtype="float32", always_2d=True)
    centred = samples.astype(np.float64) - (128 if bits == 8 else 0)
    np.testing.assert_array_equal(floats, (centred / 2.0 ** (bits - 1)).astype(np.float32))
    np.testing.assert_array_equal(floats, reference)
    assert rate == reference_rate == 44100
    if bits != 24:
        native, _ = sonvera.read(path, dtype=samples.dtype)
        np.testing.assert_array_equal(native, samples)
    np.testing.assert_array_equal(sonvera.read(path, dtype="int32")[0],
                                  soundfile.read(path, dtype="int32", always_2d=True)[0])
    # Float samples written back at the same width give the same file contents.
    again = str(tmp_path / ("again-" + name))
    sonvera.write(again, floats, rate, bits=bits)
    np.testing.assert_array_equal(soundfile.read(again, dtype="float32")[0].reshape(floats.shape),
                                  floats)


def test_blocks_stream_the_file_that_ffmpeg_decodes_the_same(tmp_path):
    path = str(tmp_path / "sine.flac")
    subprocess.run(["ffmpeg", "-v", "error", "-f", "lavfi", "-i", "sine=frequency=997:duration=3",
                    "-ac", "2", "-ar", "48000", "-sample_fmt", "s16", path], check=True)
    raw = subprocess.run(["ffmpeg", "-v", "error", "-i", path, "-f", "f32le", "-"],
                         check=True, capture_output=True).stdout
    expected = np.frombuffer(raw, np.float32).reshape(-1, 2)
    with sonvera.open(path) as f:
        assert (f.samplerate, f.channels, f.bits, f.codec, f.frames) == (
            48000, 2, 16, "flac", len(expected))
        blocks = list(f.blocks(10000))
    assert f.closed
    assert [len(b) for b in blocks[:-1]] == [10000] * (len(blocks) - 1)
    np.testing.assert_array_equal(np.concatenate(blocks), expected)

    # Opus takes no 44.1 kHz: the writer resamples, as ffmpeg does.
    opus = str(tmp_path / "sine.opus")
    sonvera.write(opus, expected[:44100], 44100)
    with sonvera.open(opus) as f:
        assert f.samplerate == 48000

    resampled, rate = sonvera.read(path, samplerate=44100, dtype="int16")
    assert (rate, resampled.dtype, abs(len(resampled) - 3 * 44100) <= 1) == (44100, np.int16, True)


def test_bad_input_raises_one_line_and_leaves_no_file(tmp_path):
    cases = [
        (lambda: sonvera.read(str(tmp_path / "missing.flac")), sonvera.Error, "missing.flac"),
        (lambda: sonvera.read(os.devnull, dtype="float64"), ValueError, "float64"),
        (lambda: sonvera.write(str(tmp_path / "a.nosuch"), noise(10, 1, 16), 8000),
         sonvera.Error, "."),
        (lambda: sonvera.write(str(tmp_path / "b.wav"), noise(10, 1, 16), 8000, codec="nosuch"),
         sonvera.Error, "nosuch"),
        (lambda: sonvera.write(str(tmp_path / "c.wav"), np.zeros((2, 2, 2), np.int16), 8000),
         ValueError, "frames x channels"),
        (lambda: sonvera.write(str(tmp_path / "d.wav"), noise(10, 1, 16), 0), ValueError, "rate"),
        (lambda: sonvera.write(str(tmp_path / "e.wav"), noise(10, 1, 16), 8000, bits=24),
         ValueError, "int16"),
        (lambda: sonvera.write(str(tmp_path / "f.flac"), np.zeros((10, 1), np.float32), 8000,
                               bits=32), sonvera.Error, "'flac' cannot take 32-bit"),
        (lambda: sonvera.write(str(tmp_path / "g.wav"), noise(10, 1, 16), 8000, codec="libopus"),
         sonvera.Error, "'libopus' cannot be stored in 'wav'"),
    ]
    for call, error, message in cases:
        with pytest.raises(error, match=message) as raised:
            call()
        assert "\n" not in str(raised.value)
    assert os.listdir(tmp_path) == []


def test_ctrl_c_stops_a_running_write_and_removes_the_part_file(tmp_path):
    # Twenty minutes: about a second of encoding, which the watcher has to notice the file in
    # even on a loaded machine (two minutes, a tenth of a second, was sometimes over first).
    samples = np.tile(noise(44100 * 120, 1, 16), (10, 1))
    path = tmp_path / "long.flac"

    def interrupt_once_the_file_is_open():
        # The writer opens its part file inside the write, while the GIL is released.
        for _ in range(100000):
            if any(name.startswith(".long.part-") for name in os.listdir(tmp_path)):
                os.kill(os.getpid(), signal.SIGINT)
                return
            time.sleep(0.0005)

    watcher = threading.Thread(target=interrupt_once_the_file_is_open)
    # Python's own Ctrl-C handler, even where the test was started with SIGINT ignored (a
    # background job of a script).
    previous = signal.signal(signal.SIGINT, signal.default_int_handler)
    watcher.start()
    try:
        with pytest.raises(KeyboardInterrupt):
            sonvera.write(str(path), samples, 44100)
    finally:
        watcher.join()
        signal.signal(signal.SIGINT, previous)
    assert os.listdir(tmp_path) == []
