#!/usr/bin/env python3
"""Times the real window with a large home: 10,000 machines and 60,000 measurements.

Run under a virtual display, with xdotool installed:
    xvfb-run -a -s "-screen 0 1280x1024x24" python3 bench/window_timing.py build/varlume

Prints, in seconds: the start until the window is shown; a removal of one measurement until
its kept copy for recovery is on disk; the end after SIGTERM once the window is idle (it saves
the changed library) and during the load (it must end without writing anything).
"""
import os
import shutil
import signal
import subprocess
import sys
import tempfile
import time

MACHINES = 10000
MEASUREMENTS = 60000

PARAMETERS = "".join(
    "            <%s>\n%s            </%s>\n"
    % (
        axis,
        "".join(
            "                <%s>\n"
            "                    <Enabled>False</Enabled>\n"
            "                    <Option_State>0</Option_State>\n"
            "                    <Expression>%s</Expression>\n"
            "                </%s>\n" % (name, expression, name)
            for name in names
        ),
        axis,
    )
    for axis, names, expression in (
        ("Axis_X", ("Parameter_Rx", "Parameter_Ry", "Parameter_Rz", "Parameter_Scale"), "0.0000 * L"),
        ("Axis_Y", ("Parameter_Rx", "Parameter_Ry", "Parameter_Rz", "Parameter_Scale"), "0.0000 * L"),
        ("Axis_Z", ("Parameter_Rx", "Parameter_Ry", "Parameter_Rz", "Parameter_Scale"), "0.0000 * L"),
        ("Squareness", ("Parameter_QXY", "Parameter_QYZ", "Parameter_QZX"), "0.0000"),
        ("Axis_D", ("Parameter_Deflection",), "0.0000"),
    )
)

MACHINE = (
    "    <Machine_Item>\n"
    "        <Name>Machine %d</Name>\n"
    "        <Axis_Minimum>0.0000,0.0000,-1000.0000</Axis_Minimum>\n"
    "        <Axis_Maximum>1000.0000,1000.0000,0.0000</Axis_Maximum>\n"
    "        <Math_Origin>0.0000,0.0000,0.0000</Math_Origin>\n"
    "        <Mechanical_Origin>0.0000,0.0000,0.0000</Mechanical_Origin>\n"
    "        <Kinematic>YXZ</Kinematic>\n"
    "        <Machine_Parameters>\n" + PARAMETERS.replace("%", "%%") + "        </Machine_Parameters>\n"
    "    </Machine_Item>\n"
)

PROBE = (
    "        <Probe_Offset_X>0.0000</Probe_Offset_X>\n"
    "        <Probe_Offset_Y>0.0000</Probe_Offset_Y>\n"
    "        <Probe_Offset_Z>-150.0000</Probe_Offset_Z>\n"
)
LASER = (
    "    <Measurement_Laser>\n        <Name>Measurement %d</Name>\n"
    "        <Start_Position_X>XMin</Start_Position_X>\n        <Start_Position_Y>YMid</Start_Position_Y>\n"
    "        <Start_Position_Z>ZMid</Start_Position_Z>\n        <End_Position_X>XMax</End_Position_X>\n"
    "        <End_Position_Y>YMid</End_Position_Y>\n        <End_Position_Z>ZMid</End_Position_Z>\n"
    + PROBE
    + "        <Increment>100.0000</Increment>\n    </Measurement_Laser>\n"
)
BALLBAR = (
    "    <Measurement_BallBar>\n        <Name>Measurement %d</Name>\n"
    "        <Position_X>XMid</Position_X>\n        <Position_Y>YMid</Position_Y>\n"
    "        <Position_Z>ZMid</Position_Z>\n        <Direction_I>1.00000</Direction_I>\n"
    "        <Direction_J>0.00000</Direction_J>\n        <Direction_K>0.00000</Direction_K>\n"
    + PROBE
    + "        <Length>100.0000</Length>\n    </Measurement_BallBar>\n"
)
DECLARATION = '<?xml version="1.0" encoding="utf-8"?>\n'


def make_home(home):
    data = os.path.join(home, ".varlume")
    os.makedirs(data)
    with open(os.path.join(data, "machines.xml"), "w") as file:
        file.write(DECLARATION + '<Machines File_Version="2">\n')
        file.writelines(MACHINE % index for index in range(MACHINES))
        file.write("</Machines>\n")
    with open(os.path.join(data, "measurements.xml"), "w") as file:
        # As the program writes them: grouped by kind.
        file.write(DECLARATION + '<Measurements File_Version="1">\n')
        file.writelines(LASER % index for index in range(0, MEASUREMENTS, 2))
        file.writelines(BALLBAR % index for index in range(1, MEASUREMENTS, 2))
        file.write("</Measurements>\n")
    return data


def snapshot(data):
    return {
        name: os.stat(os.path.join(data, name)).st_mtime_ns
        for name in os.listdir(data)
        if os.path.isfile(os.path.join(data, name))
    }


def start(program, home):
    environment = dict(os.environ, HOME=home)
    environment.pop("QT_QPA_PLATFORM", None)
    return subprocess.Popen([program], env=environment, stderr=subprocess.DEVNULL)


def wait_window(process, timeout):
    """Seconds until a window named Varlume is visible, or None."""
    begin = time.monotonic()
    while time.monotonic() - begin < timeout and process.poll() is None:
        found = subprocess.run(
            ["xdotool", "search", "--onlyvisible", "--name", "^Varlume$"], capture_output=True, text=True
        ).stdout.split()
        if found:
            return time.monotonic() - begin, found[0]
        time.sleep(0.01)
    return None, None


def wait_exit(process, timeout=30):
    begin = time.monotonic()
    try:
        process.wait(timeout)
    except subprocess.TimeoutExpired:
        process.kill()
        return None
    return time.monotonic() - begin


def main():
    program = os.path.abspath(sys.argv[1] if len(sys.argv) > 1 else "build/varlume")
    home = tempfile.mkdtemp(prefix="varlume_timing_")
    try:
        begin = time.monotonic()
        data = make_home(home)
        print("home made in %.1f s" % (time.monotonic() - begin))

        # The start, then one removal: a click on the second row of the measurement list,
        # Delete, and the confirmation's Remove button.
        process = start(program, home)
        shown, window = wait_window(process, 60)
        print("window shown after %.2f s" % shown if shown else "no window")
        if not window:
            process.kill()
            return 1
        time.sleep(1.0)
        subprocess.run(["xdotool", "mousemove", "57", "452", "click", "1"])
        time.sleep(0.5)
        subprocess.run(["xdotool", "key", "Delete"])
        box = None
        for _ in range(200):
            box = subprocess.run(
                ["xdotool", "search", "--onlyvisible", "--name", "^Remove$"], capture_output=True, text=True
            ).stdout.split()
            if box:
                break
            time.sleep(0.01)
        kept = os.path.join(data, "unsaved", "measurements.xml")
        if box:
            time.sleep(0.3)
            # Tab from Cancel, the default, to Remove.
            subprocess.run(["xdotool", "key", "--window", box[0], "Tab", "space"])
            begin = time.monotonic()
            while not os.path.exists(kept) and time.monotonic() - begin < 30:
                time.sleep(0.005)
            if os.path.exists(kept):
                print("removal until its kept copy is on disk: %.3f s" % (time.monotonic() - begin))
            else:
                print("removal: no kept copy after 30 s")
        else:
            print("removal: no confirmation box")
        time.sleep(1.0)
        process.send_signal(signal.SIGTERM)
        ended = wait_exit(process)
        saved = not os.path.exists(os.path.join(data, "unsaved"))
        print(
            "SIGTERM when idle: ended after %.2f s, library saved and kept copy removed: %s"
            % (ended if ended is not None else -1, saved)
        )

        # SIGTERM in the middle of the load: nothing written.
        before = snapshot(data)
        process = start(program, home)
        time.sleep(0.4)
        process.send_signal(signal.SIGTERM)
        ended = wait_exit(process)
        after = snapshot(data)
        unchanged = {k: v for k, v in after.items() if k != ".lock" and not k.endswith(".lock")} == {
            k: v for k, v in before.items() if k != ".lock" and not k.endswith(".lock")
        }
        print(
            "SIGTERM during the load: ended after %.2f s (exit %s), libraries untouched: %s"
            % (ended if ended is not None else -1, process.returncode, unchanged)
        )
    finally:
        shutil.rmtree(home, ignore_errors=True)
    return 0


if __name__ == "__main__":
    sys.exit(main())
