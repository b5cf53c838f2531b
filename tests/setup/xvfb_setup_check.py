#!/usr/bin/env python3
# xvfb_setup_check.py TESSARKSETUP CEDEVICE [OUT_DIR]: the setup program under the SDL driver on
# a private Xvfb server with a white root, installing onto a machine and an emulated device of
# its own. Checks with the X server's view: the main window opens centred at its frame's size
# and shaped (the root shows between its tabs), dragging its title tab moves the X window by
# exactly the pointer's travel, a click on "Install on both" and Install ends with the success
# box centred on the screen, whose OK ends the program; the game is then on both targets and in
# the desktop menu. Screenshots go to OUT_DIR. Exits 77 (skipped) without Xvfb or xdotool.
import os, subprocess, sys, tempfile, time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), '..', 'tools'))
import xvfb  # noqa: E402

setup, cedevice = sys.argv[1], sys.argv[2]
x = xvfb.Session(sys.argv[3] if len(sys.argv) > 3 else '.')
WHITE = (255, 255, 255)
root = tempfile.mkdtemp(prefix='tsk-setup-x-')
x.env.update(TESSARK_MACHINE=root + '/machine', TESSARK_DEVICE=root + '/device',
             XDG_DATA_HOME=root + '/xdg', HOME=root)
subprocess.run([cedevice, 'create'], env=x.env, check=True, stdout=subprocess.DEVNULL)
subprocess.run([cedevice, 'start'], env=x.env, check=True, stdout=subprocess.DEVNULL)
program = subprocess.Popen([setup], env=x.env, stderr=subprocess.PIPE, text=True)
try:
    print('-- the main window')
    at = x.geometry('Tessark Setup')
    x.check('main window size', at and at[2:], (602, 250))
    x.check('main window centred', at and at[:2],
            ((xvfb.WIDTH - 602) // 2, (xvfb.HEIGHT - 250) // 2))
    time.sleep(1)
    shot = x.grab()
    x.save_png(shot, 'setup-main.png')
    left, top = at[0], at[1]
    x.check('root between the tabs', shot[top + 3][left + 400], WHITE)
    x.check('body inside the shape', shot[top + 150][left + 300] != WHITE, True)

    print('-- dragging the title tab')
    x.drag(left + 150, top + 6, 100, 50)
    moved = x.geometry('Tessark Setup')
    x.check('dragged by the pointer travel', moved and moved[:2], (left + 100, top + 50))
    left, top = moved[0], moved[1]

    print('-- installing on both')
    x.click(left + 27, top + 177)
    x.click(left + 505, top + 219)
    box = None
    for _ in range(100):
        box = x.geometry('Tessark Setup', tries=1)
        if box and box[2:] != (602, 250):
            break
        time.sleep(0.1)
    x.check('the success box replaces the window', box is not None and box[2:] != (602, 250), True)
    x.check('the box centred', box and box[:2],
            ((xvfb.WIDTH - box[2]) // 2, (xvfb.HEIGHT - box[3]) // 2))
    x.save_png(x.grab(), 'setup-success.png')
    # OK sits 16 px inside the bottom-right of the box's inner area.
    x.click(box[0] + box[2] - 32 - 37, box[1] + box[3] - 32 - 12)
    try:
        err = program.communicate(timeout=20)[1]
        code = program.returncode
    except subprocess.TimeoutExpired:
        err, code = '', None
    x.check('OK ends the program', code, 0)
    if code != 0:
        print(err[-3000:])
    game = root + '/machine/drive_c/Program Files/Tessark/tessark.exe'
    x.check('the game on the desktop', os.path.isfile(game), True)
    x.check('the game on the device',
            os.path.isfile(root + '/device/drive_c/Program Files/Tessark/tessark.exe'), True)
    entries = [f for f in os.listdir(root + '/xdg/applications') if f.endswith('.desktop')] \
        if os.path.isdir(root + '/xdg/applications') else []
    x.check('one desktop menu entry', len(entries), 1)
finally:
    if program.poll() is None:
        program.kill()
        program.wait()
    subprocess.run([cedevice, 'stop'], env=x.env, stdout=subprocess.DEVNULL,
                   stderr=subprocess.DEVNULL)
    subprocess.run(['rm', '-rf', root])
x.finish()
