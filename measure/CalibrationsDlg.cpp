#include "measure/CalibrationsDlg.h"

#include "framework/DialogUnits.h"
#include "framework/FileDialogs.h"
#include "framework/LangText.h"
#include "framework/MessageBox.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QHeaderView>
#include <QInputDialog>
#include <QLabel>
#include <QPushButton>
#include <QTreeWidget>

namespace {
const QString kFilter = QStringLiteral("Calibrations(*.json)|*.json||");
}

CCalibrationsDlg::CCalibrationsDlg(CalibrationStore& store, QWidget* parent) : CModalDialog(parent), store_(store)
{
    const DialogTemplate layout(*this, 260, 170);
    auto at = [&layout](int x, int y, int w, int h) { return layout.At(x, y, w, h); };
    setWindowTitle(LangText("Calibrations", 64, "Calibrations"));

    list_ = new QTreeWidget(this);
    list_->setGeometry(at(7, 7, 190, 130));
    list_->setRootIsDecorated(false);
    list_->setHeaderLabels({LangText("Magnification", 30, "Magnification"),
                            LangText("MmPerPixel", 50, "mm per pixel (1280 wide)"), LangText("Name", 30, "Name")});
    list_->header()->setSectionResizeMode(QHeaderView::ResizeToContents);

    auto button = [&](const char* key, const char* text, int y) {
        auto* b = new QPushButton(LangText(key, 30, text), this);
        b->setGeometry(at(203, y, 50, 14));
        return b;
    };
    QPushButton* rename = button("Rename", "Rename", 7);
    QPushButton* remove = button("Remove", "Remove", 25);
    QPushButton* exportAll = button("Export", "Export...", 49);
    QPushButton* import = button("Import", "Import...", 67);

    auto* unitLabel = new QLabel(LangText("Unit", 30, "Unit"), this);
    unitLabel->setGeometry(at(7, 146, 30, 10));
    unitList_ = new QComboBox(this);
    unitList_->setGeometry(at(40, 144, 40, 14));
    unitList_->addItem(QStringLiteral("mm"));
    unitList_->addItem(QStringLiteral("\u00B5m"));
    unitList_->setCurrentIndex(store_.Unit() == LengthUnit::Micrometre ? 1 : 0);
    auto* close = new QPushButton(LangText("Exit", 50, "Exit"), this);
    close->setGeometry(at(203, 144, 50, 14));

    connect(rename, &QPushButton::clicked, this, &CCalibrationsDlg::RenameSelected);
    connect(remove, &QPushButton::clicked, this, &CCalibrationsDlg::RemoveSelected);
    connect(exportAll, &QPushButton::clicked, this, &CCalibrationsDlg::ExportAll);
    connect(import, &QPushButton::clicked, this, &CCalibrationsDlg::ImportFile);
    connect(unitList_, &QComboBox::currentIndexChanged, this, [this](int index) {
        QString error;
        Report(store_.SetUnit(index == 1 ? LengthUnit::Micrometre : LengthUnit::Millimetre, &error), error);
    });
    connect(close, &QPushButton::clicked, this, [this] { EndDialog(Answer::Ok); });
    Fill();
}

void CCalibrationsDlg::Fill()
{
    list_->clear();
    for (const StageCalibration& c : store_.All()) {
        auto* item = new QTreeWidgetItem(list_, {QStringLiteral("%1X").arg(c.magnification),
                                                 QString::number(c.millimetresPerPixel, 'g', 6), c.name});
        item->setData(0, Qt::UserRole, c.magnification);
    }
    if (list_->topLevelItemCount() > 0) list_->setCurrentItem(list_->topLevelItem(0));
}

int CCalibrationsDlg::SelectedMagnification() const
{
    const QTreeWidgetItem* item = list_->currentItem();
    return item ? item->data(0, Qt::UserRole).toInt() : 0;
}

void CCalibrationsDlg::Report(bool ok, const QString& error)
{
    if (!ok) ShowSaveFailure(this, error);
}

void CCalibrationsDlg::RenameSelected()
{
    const int magnification = SelectedMagnification();
    if (!magnification) return;
    const QString current = store_.Find(magnification)->name;
    std::optional<QString> name;
    if (askName) {
        name = askName(current);
    } else {
        bool ok = false;
        const QString typed =
            QInputDialog::getText(this, windowTitle(), LangText("Name", 30, "Name"), QLineEdit::Normal, current, &ok);
        if (ok) name = typed;
    }
    if (!name) return;
    QString error;
    Report(store_.Rename(magnification, name->trimmed(), &error), error);
    Fill();
}

void CCalibrationsDlg::RemoveSelected()
{
    const int magnification = SelectedMagnification();
    if (!magnification) return;
    QString error;
    Report(store_.Remove(magnification, &error), error);
    Fill();
}

void CCalibrationsDlg::ExportAll()
{
    const QString path = GetSaveFileName(this, {windowTitle(), QDir::homePath() + QStringLiteral("/calibrations.json"),
                                                kFilter, QStringLiteral("json")});
    if (path.isEmpty()) return;
    QString error;
    Report(store_.Export(path, &error), error);
}

void CCalibrationsDlg::ImportFile()
{
    const QString path =
        GetOpenFileName(this, {windowTitle(), QStringLiteral("*.json"), kFilter, QStringLiteral("json")});
    if (path.isEmpty()) return;
    QString error;
    if (!store_.Import(path, &error)) {
        ShowMessageBox(
            this, LangText("CalibrationDamaged", 100, "The calibration file is damaged:") + QLatin1Char('\n') + error,
            QApplication::applicationName(), MessageButtons::Ok, MessageIcon::Error);
        return;
    }
    Fill();
}
