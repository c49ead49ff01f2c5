#!/usr/bin/env python3
"""Checks the shape of the code: every project include is written from the project root,
and every folder includes only from the layers below it (or from itself).

Layers, bottom up:
  resources -> framework -> widgets -> media -> capture -> processing
  -> feature folders (browser, player, measure, app/recording, app/timelapse, app/stills,
     app/mail, app/settings, app/sharing, heights; none includes another)
  -> app (start-up, the main window and its parts)
Exit 0 when the code keeps to it; 1 with one line per include that does not.
"""
import os
import re
import sys

LAYERS = [
    ["resources"], ["framework"], ["widgets"], ["media"], ["capture"], ["processing"],
    ["browser", "player", "measure", "app/recording", "app/timelapse", "app/stills", "app/mail", "app/settings",
     "app/sharing", "heights"],
    ["app"],
]
RANK = {folder: rank for rank, folders in enumerate(LAYERS) for folder in folders}
INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"]+)"', re.MULTILINE)


def folder_of(path):
    """The layer folder a file belongs to: the longest one its path starts with."""
    best = None
    for folder in RANK:
        if path == folder or path.startswith(folder + "/"):
            if best is None or len(folder) > len(best):
                best = folder
    return best


def main(root):
    problems = []
    for folder in RANK:
        for directory, _, files in os.walk(os.path.join(root, folder)):
            for name in files:
                if not name.endswith((".h", ".cpp")):
                    continue
                path = os.path.relpath(os.path.join(directory, name), root)
                own = folder_of(path)
                if own != folder:
                    continue  # a deeper layer folder checks it
                if path.startswith("resources/artwork/"):
                    continue  # the build-time drawing program, not part of the layers
                text = open(os.path.join(root, path), encoding="utf-8").read()
                for included in INCLUDE.findall(text):
                    if included.startswith(("ui_", "moc_", "qrc_")):
                        continue
                    if not os.path.exists(os.path.join(root, included)):
                        problems.append(f"{path}: \"{included}\" is not written from the project root")
                        continue
                    target = folder_of(included)
                    if target is None:
                        problems.append(f"{path}: \"{included}\" is outside every layer")
                    elif target != own and RANK[target] >= RANK[own]:
                        problems.append(f"{path}: \"{included}\" points {'across' if RANK[target] == RANK[own] else 'upward'}"
                                        f" ({own} -> {target})")
    for problem in problems:
        print(problem)
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__), "..", "..")))
