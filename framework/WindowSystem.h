#pragma once
// What the window system lets a program do. Under Wayland the compositor places windows,
// nobody may move the pointer, and a window comes forward only with an activation token.

// Whether windows may be placed and the pointer moved by the program (X11, and the offscreen
// platform of the tests), rather than by the compositor alone (Wayland).
bool ProgramPlacesWindows();
