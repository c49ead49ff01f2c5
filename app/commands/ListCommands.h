#pragma once

#include "processing/HeightMap.h"

#include <functional>
// What is done with the pictures and videos the thumbnail list holds: open one (Photo
// Measure or the player), save it as another file, delete, send by e-mail, and stack or lay
// out several as a mosaic. User-interface thread.

#include "app/mail/EmailDlg.h"

#include <QEvent>
#include <QString>

class CModalDialog;
class CThumbnailList;
class QWidget;
class StillFormatSetting;
class StillKeeping;
struct MediaFolders;

// Posted to the main window to open the selected picture in Photo Measure or the selected
// video in the player, after the click that asked for it is handled.
class OpenSelectedEvent : public QEvent {
public:
    enum class Kind { Picture, Video };
    explicit OpenSelectedEvent(Kind kind) : QEvent(Type()), kind_(kind) {}
    Kind WhatToOpen() const { return kind_; }
    static QEvent::Type Type();

private:
    Kind kind_;
};

// What the list's commands need of the window.
class CHeightsDlg;
class LiveFocusStack;
struct CombinedPictures;

class ListCommandHost {
public:
    virtual ~ListCommandHost() = default;
    virtual QWidget& HostWidget() = 0; // parent of the dialogs and messages, where opening is posted
    virtual QString MessageCaption() const = 0;
    virtual CThumbnailList& ThumbnailList() const = 0;
    virtual const MediaFolders& Folders() const = 0;
    virtual StillFormatSetting& StillFormat() const = 0;
    virtual QString CalibrationPath() const = 0;
    virtual void RunDialog(CModalDialog& dialog) = 0;
    // The live all-in-focus step: its last stack's heights.
    virtual LiveFocusStack& LiveStack() const = 0;
};

class ListCommands {
public:
    ListCommands(ListCommandHost& host, StillKeeping& stills) : host_(host), stills_(stills) {}

    void OpenSelected();
    void OnOpenSelected(const OpenSelectedEvent& event);
    void SaveSelectedAs();
    void DeleteSelected(bool all);
    void MailSelected();
    // The pictures selected in the list stacked or laid out as a mosaic, saved as the next
    // still.
    void CombineSelectedPictures(bool mosaic);
    // Capture → Heights...: the heights of the pictures selected (three or more, a focus
    // stack), else of the last live all-in-focus stack, in the Heights window.
    void ShowHeights();
    // The Heights window's calibration file: heights.json beside the length calibrations.
    QString HeightCalibrationPath() const;
    // Tests look at (and close) the Heights window; it is run modally otherwise.
    std::function<void(CHeightsDlg&)> runHeightsWindow;

private:
    void ShowHeightsOfSelected(const QStringList& paths);
    void ShowHeightsWindow(HeightMap map, const QImage& picture, int magnification);
    // Which pictures a combination left out, and why (nothing when none).
    void TellLeftOut(const CombinedPictures& combined);
    bool SelectedPath(QString& path, bool useMessageCaption);
    QString SaveAsStartFolder(bool pictures) const;
    void OpenPicture();
    void OpenVideo();
    QWidget* Parent() const { return &host_.HostWidget(); }

    ListCommandHost& host_;
    StillKeeping& stills_;
    QString lastSaveAsFolder_; // where the last successful Save as went
    MailAttachments attachments_;
};
