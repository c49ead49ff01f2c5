#pragma once
// Setting → Flat field...: take a reference on an empty slide (and, if wanted, a dark frame
// with the lamp off), switch the correction on or off, or remove the reference, for the
// microscope and capture size in use.

#include "framework/ModalDialog.h"

class FlatFieldControl;
class QCheckBox;
class QLabel;
class QPushButton;

class CFlatFieldDlg : public CModalDialog {
    Q_OBJECT
public:
    explicit CFlatFieldDlg(FlatFieldControl& control, QWidget* parent = nullptr);

    QPushButton& TakeReferenceButton() const { return *takeReference_; }
    QPushButton& TakeDarkButton() const { return *takeDark_; }
    QPushButton& RemoveButton() const { return *remove_; }
    QCheckBox& OnBox() const { return *on_; }
    QString Status() const;

private:
    void Refresh();

    FlatFieldControl& control_;
    QLabel* status_ = nullptr;
    QPushButton* takeReference_ = nullptr;
    QPushButton* takeDark_ = nullptr;
    QPushButton* remove_ = nullptr;
    QCheckBox* on_ = nullptr;
};
