"""getdisplayname(): the friendly name in the locale's encoding, cut safely."""

import subprocess

import pytest

import quorin

from conftest import run_python


def test_ascii_name_is_returned_unchanged_running_or_not(platform):
    platform.add_camera("USB2.0 HD UVC WebCam")
    dev = quorin.new_Dev(0, 0)
    assert dev.getdisplayname() == "USB2.0 HD UVC WebCam"
    dev.getbuffer()
    assert dev.getdisplayname("ignored", 1) == "USB2.0 HD UVC WebCam"
    assert platform.calls("IMediaControl::Stop") == 0


@pytest.mark.parametrize("name,expected", [
    ("a" * 99, "a" * 99),
    ("a" * 100, "a" * 99),
    ("b" * 150, "b" * 99),
    ("a" * 98 + "\u00e9", "a" * 98),          # the cut would split a two-byte character
    ("a" * 97 + "\u20ac", "a" * 97),          # ... or a three-byte one
    ("Cam\u00e9ra \u20ac", "Cam\u00e9ra \u20ac"),
])
def test_names_stay_whole_characters_within_the_buffer(platform, name, expected):
    platform.add_camera(name)
    assert quorin.new_Dev(0, 0).getdisplayname() == expected


def test_character_the_locale_cannot_represent_becomes_a_question_mark():
    result = run_python("""
        import locale, platform_control, quorin
        control = platform_control.load()
        control.add_camera("Cam\\u00e9ra \\u20ac1")
        print(locale.setlocale(locale.LC_CTYPE), quorin.new_Dev(0, 0).getdisplayname())
    """, env={"LC_ALL": "C"})
    assert result.returncode == 0, result.stderr
    assert result.stdout.split() == ["C", "Cam?ra", "?1"]


def test_unreadable_name_and_missing_properties_have_their_messages(camera):
    dev = quorin.new_Dev(0, 0)
    camera.fail("IPropertyBag::Read")
    with pytest.raises(quorin.error) as raised:
        dev.getdisplayname()
    assert str(raised.value) == "Unable to obtain display name."
    empty = type(dev)()
    with pytest.raises(quorin.error) as raised:
        empty.getdisplayname()
    assert str(raised.value) == "No device properties available."


@pytest.mark.parametrize("charmap,name", [
    ("ISO-8859-1", "Cam\u00e9ra int\u00e9gr\u00e9e"),   # a French laptop's built-in camera
    ("EUC-JP", "\u5185\u8535\u30ab\u30e1\u30e9"),       # a Japanese one's
])
def test_a_name_in_a_locale_that_is_not_utf8_is_decoded_in_that_locale(tmp_path, charmap, name):
    # As on Windows, where the locale is the ANSI code page: the bytes are
    # the locale's, and decoding them as UTF-8 would fail.
    locale_name = "fr_FR." + charmap if charmap == "ISO-8859-1" else "ja_JP." + charmap
    made = subprocess.run(["localedef", "-i", locale_name.split(".")[0], "-f", charmap,
                           str(tmp_path / locale_name)], stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
    assert (tmp_path / locale_name).is_dir(), made.stdout
    result = run_python("""
        import locale, platform_control, quorin
        locale.setlocale(locale.LC_CTYPE, "")
        platform_control.load().add_camera(%s)
        print(ascii(locale.setlocale(locale.LC_CTYPE)), ascii(quorin.new_Dev(0, 0).getdisplayname()), sep="\\n")
    """ % ascii(name), env={"LOCPATH": str(tmp_path), "LC_ALL": locale_name})
    assert result.returncode == 0, result.stderr
    assert result.stdout.splitlines() == [ascii(locale_name), ascii(name)]
