#include "measure/PenSettingDlg.h"

#include "framework/DialogUnits.h"
#include "framework/FileDialogs.h"
#include "framework/LangText.h"
#include "measure/PreviewPane.h"
#include "measure/ShapeRenderer.h"

#include <QGroupBox>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>
#include <QRadioButton>
#include <QToolButton>

CPenSettingDlg::CPenSettingDlg(QWidget* parent) : CModalDialog(parent), labelFont(DefaultLabelFont())
{
    const DialogTemplate layout(*this, 149, 131);
    auto at = [&layout](int x, int y, int w, int h) { return layout.At(x, y, w, h); };
    setWindowTitle(LangText("PenSetting", 30, "Pen setting"));

    auto* type = new QGroupBox(LangText("PenType", 30, "Pen Type"), this);
    type->setGeometry(at(5, 3, 68, 68));
    struct Radio {
        const char* key;
        const char* text;
        QRect du;
    };
    const Radio radios[5] = {{"SolidLine", "Solid Line", {9, 14, 43, 10}},
                             {"DashLine", "Dash Line", {9, 25, 43, 10}},
                             {"DotLine", "Dot Line", {9, 36, 43, 10}},
                             {"DashDotLine", "Dash-Dot Line", {9, 47, 65, 10}},
                             {"DashDotDotLine", "Dash-Dot-Dot Line", {9, 58, 65, 10}}};
    for (int i = 0; i < 5; ++i) {
        styleButtons_[i] = new QRadioButton(LangText(radios[i].key, 30, radios[i].text), this);
        styleButtons_[i]->setGeometry(
            at(radios[i].du.x(), radios[i].du.y(), radios[i].du.width(), radios[i].du.height()));
        connect(styleButtons_[i], &QRadioButton::clicked, this, [this, i] {
            style = i;
            update();
        });
    }
    // The solid radio is shown whatever the style; the style changes only when one is clicked.
    styleButtons_[0]->setChecked(true);

    auto* colourGroup = new QGroupBox(LangText("PenColorLine", 30, "Line Colour"), this);
    colourGroup->setGeometry(at(77, 3, 64, 32));
    auto* colour = new QPushButton(LangText("PenColor", 30, "Colour"), this);
    colour->setGeometry(at(85, 16, 41, 12));
    connect(colour, &QPushButton::clicked, this, &CPenSettingDlg::ChooseColour);

    auto* widthGroup = new QGroupBox(LangText("PenWidth", 30, "Line Width"), this);
    widthGroup->setGeometry(at(78, 40, 64, 31));
    widthBox_ = new QLineEdit(this);
    widthBox_->setGeometry(at(84, 52, 53, 12));
    const QRect spin = at(137, 53, 10, 14);
    auto* up = new QToolButton(this);
    up->setArrowType(Qt::UpArrow);
    up->setGeometry(spin.x(), spin.y(), spin.width(), spin.height() / 2);
    auto* down = new QToolButton(this);
    down->setArrowType(Qt::DownArrow);
    down->setGeometry(spin.x(), spin.y() + spin.height() / 2, spin.width(), spin.height() - spin.height() / 2);
    connect(up, &QToolButton::clicked, this, [this] { StepWidth(1); });
    connect(down, &QToolButton::clicked, this, [this] { StepWidth(-1); });
    connect(widthBox_, &QLineEdit::textChanged, this, [this](const QString& text) {
        width = text.trimmed().toInt(); // the preview draws what is typed
        update();
    });

    preview_ = new QGroupBox(LangText("LinePriview", 30, "Preview"), this);
    preview_->setGeometry(at(5, 75, 140, 37));
    preview_->setAttribute(Qt::WA_TransparentForMouseEvents);
    new PreviewPane(this, preview_->geometry(), [this](QPainter& painter, const QRect&) {
        painter.setPen(PenFor(style, width, penColor));
        painter.drawLine(PreviewLine().translated(-preview_->pos()));
    });

    auto* ok = new QPushButton(LangText("OK", 30, "OK"), this);
    ok->setGeometry(at(13, 116, 30, 11));
    auto* fontButton = new QPushButton(LangText("Font", 30, "Font"), this);
    fontButton->setGeometry(at(59, 116, 30, 11));
    auto* cancel = new QPushButton(LangText("Cancel", 30, "Cancel"), this);
    cancel->setGeometry(at(105, 116, 30, 11));
    cancel->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &CPenSettingDlg::Accept);
    connect(fontButton, &QPushButton::clicked, this, &CPenSettingDlg::ChooseLabelFont);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);

    exchange_.AddInt(widthBox_, &widthExchange_, 1, 3);
}

void CPenSettingDlg::showEvent(QShowEvent* event)
{
    // The box shows 1 at every opening; the width itself stays the canvas's until typed.
    const int kept = width;
    exchange_.Load();
    width = kept;
    CModalDialog::showEvent(event);
}

void CPenSettingDlg::StepWidth(int delta)
{
    const int value = std::clamp(widthBox_->text().toInt() + delta, 1, 3);
    widthBox_->setText(QString::number(value));
}

void CPenSettingDlg::ChooseColour()
{
    if (const auto chosen = ::ChooseColor(this, ToQColor(penColor))) {
        penColor = ToColorRef(*chosen);
        update();
    }
}

void CPenSettingDlg::ChooseLabelFont()
{
    // The font chooser has no colour of its own: the label colour is chosen right after it.
    const auto chosen = ::ChooseFont(this, labelFont);
    if (!chosen) return;
    labelFont = *chosen;
    if (const auto colour = ::ChooseColor(this, ToQColor(labelColor))) labelColor = ToColorRef(*colour);
}

void CPenSettingDlg::Accept()
{
    const int typed = width;
    if (!exchange_.Save(this)) return;
    width = typed; // the width handed back is the one typed or stepped, as validated
    EndDialog(Answer::Ok);
}

QLine CPenSettingDlg::PreviewLine() const
{
    // Across the preview frame (below its title), 10 pixels in from each side, at its middle.
    const QRect box = preview_->contentsRect().translated(preview_->pos());
    const int y = box.top() + box.height() / 2;
    return QLine(box.left() + 10, y, box.left() + box.width() - 10, y);
}
