#pragma once
// The calibrations kept for each magnification: listed with their scale and name, renamed,
// removed, exported to a file and imported from one; and the unit measurements are shown in.

#include "framework/ModalDialog.h"
#include "measure/StageCalibration.h"

#include <functional>

class QComboBox;
class QPushButton;
class QTreeWidget;

class CCalibrationsDlg : public CModalDialog {
    Q_OBJECT
public:
    explicit CCalibrationsDlg(CalibrationStore& store, QWidget* parent = nullptr);

    QTreeWidget& List() const { return *list_; }
    QComboBox& UnitList() const { return *unitList_; }
    // Tests answer the name question instead of a person (none: cancelled).
    std::function<std::optional<QString>(const QString& current)> askName;

    void RenameSelected();
    void RemoveSelected();
    void ExportAll();
    void ImportFile();

private:
    void Fill();
    int SelectedMagnification() const;
    void Report(bool ok, const QString& error);

    CalibrationStore& store_;
    QTreeWidget* list_ = nullptr;
    QComboBox* unitList_ = nullptr;
};
