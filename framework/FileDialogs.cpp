#include "framework/FileDialogs.h"

#include <QColorDialog>
#include <QFileDialog>
#include <QFileInfo>
#include <QFontDialog>

namespace {
// One answering hook per kind of chooser; tests install them, the program leaves them empty.
template <typename Hook>
Hook& Slot()
{
    static Hook hook;
    return hook;
}

template <typename Hook>
Hook Replace(Hook hook)
{
    Hook old = std::move(Slot<Hook>());
    Slot<Hook>() = std::move(hook);
    return old;
}
} // namespace

// SaveFileHook and OpenFileHook share a signature, so the open hook is kept in its own type.
struct OpenHookHolder {
    OpenFileHook hook;
};

SaveFileHook SetSaveFileHook(SaveFileHook hook)
{
    return Replace(std::move(hook));
}
ColorHook SetColorHook(ColorHook hook)
{
    return Replace(std::move(hook));
}
FontHook SetFontHook(FontHook hook)
{
    return Replace(std::move(hook));
}

OpenFileHook SetOpenFileHook(OpenFileHook hook)
{
    OpenFileHook old = std::move(Slot<OpenHookHolder>().hook);
    Slot<OpenHookHolder>().hook = std::move(hook);
    return old;
}

QString GetOpenFileName(QWidget* parent, const SaveFileRequest& request)
{
    if (const auto& hook = Slot<OpenHookHolder>().hook) return hook(request);
    QFileDialog dialog(parent, request.caption, request.proposedPath, ToQtFilter(request.filter));
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setDefaultSuffix(request.defaultSuffix);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return {};
    return dialog.selectedFiles().constFirst();
}

std::optional<QColor> ChooseColor(QWidget* parent, const QColor& initial)
{
    if (const auto& hook = Slot<ColorHook>()) return hook(initial);
    const QColor chosen = QColorDialog::getColor(initial, parent);
    if (!chosen.isValid()) return std::nullopt;
    return chosen;
}

std::optional<QFont> ChooseFont(QWidget* parent, const QFont& initial)
{
    if (const auto& hook = Slot<FontHook>()) return hook(initial);
    bool ok = false;
    const QFont chosen = QFontDialog::getFont(&ok, initial, parent);
    if (!ok) return std::nullopt;
    return chosen;
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
    if (const auto& hook = Slot<SaveFileHook>()) return hook(request);
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
