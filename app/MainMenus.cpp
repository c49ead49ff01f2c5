#include "app/MainMenus.h"

#include "app/Commands.h"
#include "framework/LangText.h"
#include "resources/Resources.h"

#include <QActionGroup>
#include <QRegularExpression>

#include <utility>

namespace {

// A language file's menu text carries its keys at its end, spaced off ("Take Picture...
// F2", "Take Video/Stop...   F3/F4"). The item gets the words as its name and the keys as
// its shortcuts, which the menu shows at the right and a screen reader reads as the keys; they
// act only while the menu itself has the keyboard (the window takes the keys otherwise).
void SetTextAndKeys(QAction& action, const QString& text)
{
    static const QRegularExpression kTrailingKeys(QStringLiteral("^(.*\\S)\\s{2,}((?:F\\d{1,2})(?:/F\\d{1,2})*)$"));
    const QRegularExpressionMatch match = kTrailingKeys.match(text);
    if (!match.hasMatch()) {
        action.setText(text);
        return;
    }
    action.setText(match.captured(1));
    QList<QKeySequence> keys;
    for (const QString& key : match.captured(2).split(QLatin1Char('/'))) keys << QKeySequence(key);
    action.setShortcuts(keys);
    action.setShortcutContext(Qt::WidgetShortcut);
}

void AddItems(QMenu& menu, std::initializer_list<MenuItemSpec> items, int textSize, const CommandHandler& onCommand)
{
    for (const MenuItemSpec& item : items) {
        if (item.command == 0) {
            menu.addSeparator();
            continue;
        }
        QAction* action = menu.addAction(QString());
        SetTextAndKeys(*action, LangText(item.key, textSize, item.defaultText));
        if (item.icon) action->setIcon(resources::LoadIcon(item.icon));
        action->setData(item.command);
        const int command = item.command;
        QObject::connect(action, &QAction::triggered, &menu, [onCommand, command] { onCommand(command); });
    }
}

} // namespace

QString WithMnemonic(const QString& title)
{
    // The language file's own "&" wins; otherwise the first letter, where it is one a
    // keyboard types (Alt+F for "File", Alt+D for "Datei").
    if (title.contains(QLatin1Char('&'))) return title;
    for (qsizetype i = 0; i < title.size(); ++i) {
        const QChar c = title[i];
        if (c.isSpace()) continue;
        if (c.unicode() < 128 && c.isLetterOrNumber()) return title.left(i) + QLatin1Char('&') + title.mid(i);
        break;
    }
    return title;
}

void BuildMainMenu(QMenuBar& bar, const CommandHandler& onCommand, const std::function<int()>& checkedStillFormat,
                   const std::function<bool(int)>& optionOn)
{
    constexpr int kSize = 30;
    QMenu* file = bar.addMenu(WithMnemonic(LangText("File", kSize, "File")));
    AddItems(*file,
             {{ID_FILE_OPEN, "Open", "Open..."},
              {0, nullptr, nullptr},
              {ID_FILE_SAVE_AS, "Save", "Save As"},
              {ID_FILE_DELETE, "Delete ", "Delete..."},
              {ID_FILE_DELETE_ALL, "DeleteAll", "Delete All"},
              {0, nullptr, nullptr},
              {ID_FILE_EMAIL, "EMail", "E-Mail..."},
              {0, nullptr, nullptr},
              {ID_FILE_STACK, "StackPictures", "Stack pictures"},
              {ID_FILE_MOSAIC, "MosaicOfPictures", "Mosaic of pictures"}},
             kSize, onCommand);
    QMenu* setting = bar.addMenu(WithMnemonic(LangText("Setting", kSize, "Setting")));
    AddItems(*setting,
             {{ID_SETTING_640, "640*480", "640*480    F11"},
              {ID_SETTING_1280, "1280*1024", "1280*1024  F12"},
              {0, nullptr, nullptr},
              {ID_SETTING_DEVICE, "Device...", "Device Settings"},
              {ID_SETTING_CALIBRATIONS, "CalibrationsMenu", "Calibrations..."},
              {ID_SETTING_FLATFIELD, "FlatFieldMenu", "Flat field..."}},
             kSize, onCommand);
    // The format of new stills: one of three, the names of the formats as they are.
    QMenu* formats = setting->addMenu(LangText("StillFormatMenu", kSize, "Still picture format"));
    auto* group = new QActionGroup(formats);
    for (const auto& [command, name] : {std::pair{ID_STILL_FORMAT_BMP, "BMP"}, std::pair{ID_STILL_FORMAT_TIFF, "TIFF"},
                                        std::pair{ID_STILL_FORMAT_PNG, "PNG"}}) {
        QAction* action = formats->addAction(QString::fromLatin1(name));
        action->setCheckable(true);
        action->setData(command);
        group->addAction(action);
        QObject::connect(action, &QAction::triggered, formats, [onCommand, command = command] { onCommand(command); });
    }
    formats->addSeparator();
    QAction* nominal = formats->addAction(LangText("StillNominalScale", 64, "Nominal scale without a calibration"));
    nominal->setCheckable(true);
    nominal->setData(ID_STILL_NOMINAL_SCALE);
    QObject::connect(nominal, &QAction::triggered, formats, [onCommand] { onCommand(ID_STILL_NOMINAL_SCALE); });
    QObject::connect(formats, &QMenu::aboutToShow, formats, [formats, checkedStillFormat, optionOn] {
        const int checked = checkedStillFormat ? checkedStillFormat() : ID_STILL_FORMAT_BMP;
        for (QAction* action : formats->actions()) {
            if (action->data().toInt() == ID_STILL_NOMINAL_SCALE) action->setChecked(optionOn && optionOn(ID_STILL_NOMINAL_SCALE));
            else action->setChecked(action->data().toInt() == checked);
        }
    });
    AddItems(*setting,
             {{0, nullptr, nullptr},
              {ID_SETTING_CROSS, "Cross", "Cross Line"},
              {ID_OVERLAY_SCALE, "Scale", "Scale"},
              {ID_OVERLAY_CIRCLE, "Circle", "Circle"},
              {ID_OVERLAY_TIME, "Time", "Time"}},
             kSize, onCommand);
    QMenu* capture = bar.addMenu(WithMnemonic(LangText("Capture", kSize, "Capture")));
    AddItems(*capture,
             {{ID_CAPTURE_PICTURE, "Take Picture", "Take Picture...      F2"},
              {ID_CAPTURE_VIDEO, "Take Video", "Take Video/Stop...   F3/F4"},
              {0, nullptr, nullptr},
              {ID_CAPTURE_TIMELAPSE, "Take time lapsed Pictures", "Take Time-Lapse Pictures"},
              {ID_CAPTURE_FOCUS_STACK, "FocusStackMenu", "All in focus        F6"},
              {ID_CAPTURE_MOSAIC, "MosaicMenu", "Mosaic              F7"}},
             kSize, onCommand);
    // Whether All in focus also saves its depth map next to the picture.
    QAction* depthMap = capture->addAction(LangText("DepthMapMenu", 64, "All in focus with its depth map"));
    depthMap->setCheckable(true);
    depthMap->setData(ID_CAPTURE_DEPTH_MAP);
    QObject::connect(depthMap, &QAction::triggered, capture, [onCommand] { onCommand(ID_CAPTURE_DEPTH_MAP); });
    QObject::connect(capture, &QMenu::aboutToShow, capture,
                     [depthMap, optionOn] { depthMap->setChecked(optionOn && optionOn(ID_CAPTURE_DEPTH_MAP)); });
    QMenu* help = bar.addMenu(WithMnemonic(LangText("Help", kSize, "Help")));
    AddItems(*help,
             {{ID_HELP_MANUAL, "ViewZentrixManual", "QRV-DM500 Help"},
              {ID_HELP_ABOUT, "ViewZentrixAbout", "About QRV-DM500"}},
             kSize, onCommand);
}

void BuildListMenu(QMenu& menu, const CommandHandler& onCommand, bool severalPictures)
{
    AddItems(menu,
             {{ID_FILE_OPEN, "Open", "Open..."},
              {0, nullptr, nullptr},
              {ID_FILE_SAVE_AS, "Save", "Save as"},
              {ID_FILE_DELETE, "Delete", "Delete..."},
              {ID_FILE_DELETE_ALL, "DeleteAll", "Delete All"},
              {0, nullptr, nullptr},
              {ID_FILE_EMAIL, "EMail", "E-Mail..."}},
             20, onCommand);
    if (!severalPictures) return;
    menu.addSeparator();
    AddItems(menu, {{ID_FILE_STACK, "StackPictures", "Stack pictures"}, {ID_FILE_MOSAIC, "MosaicOfPictures", "Mosaic of pictures"}},
             30, onCommand);
}

void BuildPreviewMenu(QMenu& menu, const CommandHandler& onCommand)
{
    AddItems(menu,
             {{ID_OVERLAY_CROSS, "Cross", "Cross Line", IDI_CROSS},
              {ID_OVERLAY_SCALE, "Scale", "Scale", IDI_SCALE},
              {ID_OVERLAY_CIRCLE, "Circle", "Circle", IDI_CIRCLE},
              {ID_OVERLAY_TIME, "Time", "Time", IDI_TIME},
              {ID_OVERLAY_SCALE_BAR, "ScaleBar", "Scale bar", IDI_SCALE},
              {ID_OVERLAY_PEAKING, "FocusPeaking", "Focus peaking", IDI_CROSS}},
             30, onCommand);
}
