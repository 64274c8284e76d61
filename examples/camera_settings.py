"""Sets a camera up before taking a picture: its settings window (brightness,
contrast, exposure...), then its capture size, as a person would at a
desktop. Without a desktop the windows are not shown and the frame is taken
as the camera was."""

import quorin

if __name__ == "__main__":
    dev = quorin.new_Dev(0, 0)
    print("Setting up", dev.getdisplayname())
    dev.displaycapturefilterproperties()  # returns when the window is closed
    dev.displaycapturepinproperties()
    data, width, height = dev.getbuffer()
    print("A frame of {} x {} with the new settings".format(width, height))
