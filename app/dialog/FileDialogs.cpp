#include "FileDialogs.h"

#include <QColorDialog>
#include <QFileDialog>
#include <QFontDialog>
#include <QFileInfo>

namespace {
SaveFileHook& Hook()
{
    static SaveFileHook hook;
    return hook;
}

OpenFileHook& OpenHook()
{
    static OpenFileHook hook;
    return hook;
}
ColorHook& ColourHook()
{
    static ColorHook hook;
    return hook;
}
FontHook& FontChooserHook()
{
    static FontHook hook;
    return hook;
}
} // namespace

OpenFileHook SetOpenFileHook(OpenFileHook hook)
{
    OpenFileHook old = std::move(OpenHook());
    OpenHook() = std::move(hook);
    return old;
}

ColorHook SetColorHook(ColorHook hook)
{
    ColorHook old = std::move(ColourHook());
    ColourHook() = std::move(hook);
    return old;
}

FontHook SetFontHook(FontHook hook)
{
    FontHook old = std::move(FontChooserHook());
    FontChooserHook() = std::move(hook);
    return old;
}

QString GetOpenFileName(QWidget* parent, const SaveFileRequest& request)
{
    if (OpenHook()) return OpenHook()(request);
    QFileDialog dialog(parent, request.caption, request.proposedPath, ToQtFilter(request.filter));
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setDefaultSuffix(request.defaultSuffix);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return {};
    return dialog.selectedFiles().constFirst();
}

std::optional<QColor> ChooseColor(QWidget* parent, const QColor& initial)
{
    if (ColourHook()) return ColourHook()(initial);
    const QColor chosen = QColorDialog::getColor(initial, parent);
    if (!chosen.isValid()) return std::nullopt;
    return chosen;
}

std::optional<QFont> ChooseFont(QWidget* parent, const QFont& initial)
{
    if (FontChooserHook()) return FontChooserHook()(initial);
    bool ok = false;
    const QFont chosen = QFontDialog::getFont(&ok, initial, parent);
    if (!ok) return std::nullopt;
    return chosen;
}

SaveFileHook SetSaveFileHook(SaveFileHook hook)
{
    SaveFileHook old = std::move(Hook());
    Hook() = std::move(hook);
    return old;
}

QString ToQtFilter(const QString& barFilter)
{
    const QStringList parts = barFilter.split(QLatin1Char('|'), Qt::SkipEmptyParts);
    QStringList filters;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        QString description = parts[i];
        if (!description.contains(parts[i + 1])) description += QStringLiteral(" (%1)").arg(parts[i + 1]);
        filters << description;
    }
    return filters.join(QStringLiteral(";;"));
}

QString GetSaveFileName(QWidget* parent, const SaveFileRequest& request)
{
    if (Hook()) return Hook()(request);
    QFileDialog dialog(parent, request.caption, request.proposedPath, ToQtFilter(request.filter));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setDefaultSuffix(request.defaultSuffix);
    dialog.setOption(QFileDialog::DontConfirmOverwrite, false);
    // The chosen filter decides the extension of a name typed without one.
    QObject::connect(&dialog, &QFileDialog::filterSelected, &dialog, [&dialog](const QString& filter) {
        const qsizetype star = filter.lastIndexOf(QStringLiteral("*."));
        if (star >= 0) dialog.setDefaultSuffix(filter.mid(star + 2).section(QLatin1Char(')'), 0, 0));
    });
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return {};
    return dialog.selectedFiles().constFirst();
}
