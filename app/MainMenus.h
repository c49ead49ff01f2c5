#pragma once
// The main window's menus with their texts from the language file: the main menu bar, the
// thumbnail list's pop-up menu and the preview area's pop-up menu.

#include <QMenu>
#include <QMenuBar>

#include <functional>

using CommandHandler = std::function<void(int command)>;

struct MenuItemSpec {
    int command;     // 0 for a separator
    const char* key; // language key
    const char* defaultText;
    int icon = 0;    // icon resource, 0 for none
};

// Builds the menu bar: File, Setting, Capture, Help (texts in 30-byte buffers). The still
// format's submenu checks the command `checkedStillFormat` names when it opens.
// The items that switch an option (the nominal scale of stills, the depth map of All in
// focus) are checked when `optionOn(command)` says so.
void BuildMainMenu(QMenuBar& bar, const CommandHandler& onCommand, const std::function<int()>& checkedStillFormat = {},
                   const std::function<bool(int)>& optionOn = {});
// A menu title with a keyboard mnemonic: the language file's "&" where it has one, else one
// before the first letter a keyboard types.
QString WithMnemonic(const QString& title);

// The thumbnail list's menu (texts in 20-byte buffers); with several pictures selected,
// the commands that combine them.
void BuildListMenu(QMenu& menu, const CommandHandler& onCommand, bool severalPictures = false);
// The preview area's four overlay switches with their icons (30-byte buffers).
void BuildPreviewMenu(QMenu& menu, const CommandHandler& onCommand);
