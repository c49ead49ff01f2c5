#pragma once
// The save-file chooser. Filters are given as the program keeps them, description and
// pattern pairs separated by vertical bars and ended by two bars. Tests answer through a hook.

#include <QColor>
#include <QFont>
#include <QString>

#include <optional>

#include <functional>

class QWidget;

struct SaveFileRequest {
    QString caption;
    QString proposedPath;  // folder and proposed name
    QString filter;        // "Bitmap Files(*.bmp)|*.bmp|JPEG Files(*.jpg)|*.jpg||"
    QString defaultSuffix; // without the dot
};

using SaveFileHook = std::function<QString(const SaveFileRequest&)>;
SaveFileHook SetSaveFileHook(SaveFileHook hook);

// The chosen path (the default extension added when the name has none), or empty when
// cancelled. The overwrite question is asked by the chooser.
QString GetSaveFileName(QWidget* parent, const SaveFileRequest& request);

// The open-file chooser; the request's proposedPath is the initial name ("*.bmp").
using OpenFileHook = std::function<QString(const SaveFileRequest&)>;
OpenFileHook SetOpenFileHook(OpenFileHook hook);
QString GetOpenFileName(QWidget* parent, const SaveFileRequest& request);

// The colour and font choosers; none when cancelled.
using ColorHook = std::function<std::optional<QColor>(const QColor& initial)>;
using FontHook = std::function<std::optional<QFont>(const QFont& initial)>;
ColorHook SetColorHook(ColorHook hook);
FontHook SetFontHook(FontHook hook);
std::optional<QColor> ChooseColor(QWidget* parent, const QColor& initial);
std::optional<QFont> ChooseFont(QWidget* parent, const QFont& initial);

// "A(*.a)|*.a|B(*.b)|*.b||" -> "A(*.a);;B(*.b)"
QString ToQtFilter(const QString& barFilter);
