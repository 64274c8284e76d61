"""Takes comparable pictures: exposure and white balance fixed by hand, so
that every run sees the scene alike, then a few frames. A setting the camera
does not offer is left as it is, and said."""

import sys

import quorin

# 1/64 s (exposure is in log2 of seconds) and daylight, in kelvin.
WANTED = {"exposure": -6, "whitebalance": 5000}


def fix_settings(dev, wanted=WANTED):
    """Sets each wanted setting the camera offers, moved into its range and
    onto its steps; returns what the camera then reports for them."""
    offered = dev.getcontrols()
    fixed = {}
    for name, value in wanted.items():
        control = offered.get(name)
        if control is None:
            print("The camera has no %s setting: left as it is" % name, file=sys.stderr)
            continue
        value = min(max(value, control["minimum"]), control["maximum"])
        value -= (value - control["minimum"]) % control["step"]
        dev.setcontrol(name, value)  # by hand: the automatic mode goes off
        fixed[name] = dev.getcontrols()[name]["value"]
    return fixed


if __name__ == "__main__":
    dev = quorin.new_Dev(0, 0)
    print("Fixed on %s: %s" % (dev.getdisplayname(), fix_settings(dev)))
    for _ in range(3):
        data, width, height = dev.getbuffer()
        print("A frame of %d x %d" % (width, height))
