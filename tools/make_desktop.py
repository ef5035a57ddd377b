#!/usr/bin/env python3
"""Writes a desktop file of N windows over many applications, for timing and
memory runs of `quorvex --desktop`: each application has one to eight
windows, of the sizes people keep (from a small utility window to a full
screen), spread over a 1920x1080 screen. The same seed gives the same file.

    tools/make_desktop.py 500 > bench/data/desktop-500.json
"""
import json
import sys

SIZES = [(480, 360), (640, 480), (800, 600), (1024, 768), (1280, 800), (1440, 900), (1920, 1080)]
WEIGHTS = [1, 2, 3, 3, 2, 1, 1]


def desktop(count, seed=12345):
    pool = [i for i, weight in enumerate(WEIGHTS) for _ in range(weight)]
    state = [seed]

    def rand(bound):
        state[0] = (state[0] * 1664525 + 1013904223) & 0xFFFFFFFF
        return (state[0] >> 8) % bound

    apps, made, pid, wid = [], 0, 1000, 1
    while made < count:
        n = min(1 + rand(8), count - made)
        windows = []
        for _ in range(n):
            w, h = SIZES[pool[rand(len(pool))]]
            x = rand(max(1, 1920 - w))
            y = 25 + rand(max(1, 1055 - h))
            windows.append({"id": wid, "title": "Document %d" % wid, "frame": [x, y, w, h],
                            "minimized": wid % 11 == 5})
            wid += 1
        apps.append({"pid": pid, "name": "App %d" % pid, "windows": windows})
        made += n
        pid += 1
    return {"screens": [{"frame": [0, 0, 1920, 1080], "visibleFrame": [0, 25, 1920, 1055]}], "apps": apps}


if __name__ == "__main__":
    count = int(sys.argv[1]) if len(sys.argv) > 1 else 500
    if not 1 <= count <= 999:
        sys.exit("window count must be 1 to 999 (desktop files number windows below 1000)")
    json.dump(desktop(count), sys.stdout, indent=1)
    sys.stdout.write("\n")
