#include "measure/TextSettingDlg.h"

#include "framework/DialogUnits.h"
#include "framework/FileDialogs.h"
#include "framework/LangText.h"
#include "measure/PreviewPane.h"
#include "measure/ShapeRenderer.h"

#include <QGroupBox>
#include <QLabel>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPushButton>

namespace {

QString OneLine(const QString& text)
{
    QString line = text;
    line.replace(QLatin1Char('\n'), QLatin1Char(' '));
    line.replace(QLatin1Char('\r'), QLatin1Char(' '));
    return line;
}
} // namespace

CTextSettingDlg::CTextSettingDlg(QWidget* parent) : CModalDialog(parent), textFont(DefaultLabelFont())
{
    const DialogTemplate layout(*this, 159, 133);
    auto at = [&layout](int x, int y, int w, int h) { return layout.At(x, y, w, h); };
    setWindowTitle(LangText("TextSetting", 30, "Text"));

    auto* prompt = new QLabel(LangText("EnterText", 30, "Please enter text:"), this);
    prompt->setGeometry(at(7, 6, 114, 8));
    textBox_ = new QPlainTextEdit(this);
    textBox_->setGeometry(at(7, 18, 105, 82));
    connect(textBox_, &QPlainTextEdit::textChanged, this, [this] {
        // At most 254 characters, as the box holds.
        if (textBox_->toPlainText().size() > kMaxText) {
            QString cut = textBox_->toPlainText().left(kMaxText);
            textBox_->setPlainText(cut);
            textBox_->moveCursor(QTextCursor::End);
        }
        update();
    });

    auto* fontButton = new QPushButton(LangText("Font", 30, "Font"), this);
    fontButton->setGeometry(at(118, 22, 34, 12));
    auto* ok = new QPushButton(LangText("OK", 30, "OK"), this);
    ok->setGeometry(at(118, 51, 34, 12));
    auto* cancel = new QPushButton(LangText("Cancel", 30, "Cancel"), this);
    cancel->setGeometry(at(118, 82, 34, 12));
    cancel->setDefault(true);
    auto* colour = new QPushButton(LangText("Color", 30, "Colour"), this);
    colour->setGeometry(at(125, 0, 34, 12));
    colour->hide();
    preview_ = new QGroupBox(LangText("Preview", 30, "Preview"), this);
    preview_->setGeometry(at(7, 103, 146, 27));
    preview_->setAttribute(Qt::WA_TransparentForMouseEvents);
    new PreviewPane(this, preview_->geometry(), [this](QPainter& painter, const QRect&) {
        // One line, its top at the frame's middle less half the font's height.
        const QRect box = preview_->contentsRect();
        painter.setFont(textFont);
        painter.setPen(ToQColor(textColor));
        const QFontMetrics metrics(textFont);
        const int top = box.top() + box.height() / 2 - metrics.height() / 2;
        painter.setClipRect(box.adjusted(1, 1, -1, -1));
        painter.drawText(box.left() + 2, top + metrics.ascent(), PreviewText());
    });

    connect(fontButton, &QPushButton::clicked, this, &CTextSettingDlg::ChooseTextFont);
    connect(colour, &QPushButton::clicked, this, &CTextSettingDlg::ChooseColour);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(ok, &QPushButton::clicked, this, [this] {
        text = textBox_->toPlainText().left(kMaxText);
        EndDialog(Answer::Ok);
    });
}

void CTextSettingDlg::ChooseTextFont()
{
    // The font chooser has no colour of its own: the text colour is chosen right after it.
    const auto chosen = ::ChooseFont(this, textFont);
    if (!chosen) return;
    textFont = *chosen;
    if (const auto colour = ::ChooseColor(this, ToQColor(textColor))) textColor = ToColorRef(*colour);
    update();
}

void CTextSettingDlg::ChooseColour()
{
    if (const auto chosen = ::ChooseColor(this, ToQColor(textColor))) {
        textColor = ToColorRef(*chosen);
        update();
    }
}

QString CTextSettingDlg::PreviewText() const
{
    return OneLine(textBox_->toPlainText());
}
