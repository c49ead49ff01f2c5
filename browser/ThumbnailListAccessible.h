#pragma once
// What a screen reader finds in the thumbnail list: a list whose items are the pictures (or
// videos) of the shown list, each named by its file, selected as in the list, on screen
// where its cell is. The list itself draws cells on one surface; these interfaces give the
// accessibility tree (AT-SPI on Linux) the items it would otherwise lack.

class QAccessibleInterface;
class QObject;
class QString;

// The factory Qt asks for the list's interface; installed once by the list.
QAccessibleInterface* ThumbnailListAccessibleFactory(const QString& className, QObject* object);
