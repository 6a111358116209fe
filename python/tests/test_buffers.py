"""Buffers seen from NumPy: no copies, copy-on-write kept, and the edge conversions' rounding."""

import numpy as np
import pytest

import sonvera


@pytest.mark.parametrize("bits,dtype", [(8, np.uint8), (16, np.int16), (32, np.int32),
                                        ("float", np.float32)])
def test_arrays_are_the_samples_and_writes_respect_sharing(bits, dtype):
    a = sonvera.AudioBuffer(1000, 2, **({"float": True} if bits == "float" else {"bits": bits}))
    view = np.asarray(a)
    assert (view.shape, view.dtype, view.ctypes.data) == ((1000, 2), dtype, a.address)
    view[3, 1] = 99
    assert a.to_array(dtype)[3, 1] == 99

    # While an array may write into a, its copies are real copies.
    copy = a.copy()
    view[3, 1] = 42
    assert copy.address != a.address and copy.read()[3, 1] == 99
    del view

    # Without one, a copy shares the store; an array taken later makes a private first.
    shared = a.copy()
    snapshot = a.read()
    assert shared.address == a.address == snapshot.ctypes.data
    assert not snapshot.flags.writeable
    writer = np.asarray(a)
    writer[0, 0] = 7
    assert writer.ctypes.data == a.address != shared.address
    assert shared.read()[0, 0] == snapshot[0, 0] != 7


def test_packed_24_bit_samples_convert_explicitly_and_refuse_what_does_not_fit():
    values = np.array([[-(1 << 23), (1 << 23) - 1], [1, -1]], dtype=np.int32)
    b = sonvera.AudioBuffer.from_array(values, 48000, bits=24)
    with pytest.raises(BufferError, match="24-bit"):
        np.asarray(b)
    np.testing.assert_array_equal(b.to_array("int32"), values)
    assert b.to_array("float32").tolist() == (values / 2.0**23).astype(np.float32).tolist()
    with pytest.raises(ValueError, match="8388608"):
        sonvera.AudioBuffer.from_array(values + 1, 48000, bits=24)


@pytest.mark.parametrize("bits", [8, 16, 24, 32])
def test_float_samples_round_half_to_even_and_saturate(bits):
    full = 2.0 ** (bits - 1)
    x = np.array([1.0, -1.0, 2.0, -3.0, np.nan, 0.5 / full, 1.5 / full, -2.5 / full,
                  0.25, -1.0 / full], dtype=np.float32)
    b = sonvera.AudioBuffer.from_array(x, 44100, bits=bits)
    expected = np.clip(np.rint(np.nan_to_num(x.astype(np.float64)) * full), -full, full - 1)
    # Integers back to float32 divide by the same full scale.
    np.testing.assert_array_equal(b.to_array("float32")[:, 0],
                                  (expected / full).astype(np.float32))


def test_bad_buffers_raise_the_library_message():
    with pytest.raises(sonvera.Error, match="."):
        sonvera.AudioBuffer(frames=10, channels=2, bits=40)
    with pytest.raises(ValueError, match="float64"):
        sonvera.AudioBuffer.from_array(np.zeros(4), 44100)
    with pytest.raises(ValueError, match="int16"):
        sonvera.AudioBuffer.from_array(np.zeros(4, np.int16), 44100, bits=32)
