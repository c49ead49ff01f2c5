#include "framework/FieldExchange.h"

#include "framework/MessageBox.h"

#include <QCoreApplication>
#include <QLineEdit>

void FieldExchange::AddInt(QLineEdit* edit, int* value, int minimum, int maximum)
{
    fields_.push_back({edit, value, minimum, maximum});
}

void FieldExchange::Load() const
{
    for (const auto& field : fields_) field.edit->setText(QString::number(*field.value));
}

QString FieldExchange::RangeMessage(int minimum, int maximum)
{
    return QStringLiteral("Please enter an integer between %1 and %2.").arg(minimum).arg(maximum);
}

bool FieldExchange::Save(QWidget* dialog) const
{
    for (const auto& field : fields_) {
        bool isNumber = false;
        const int value = field.edit->text().trimmed().toInt(&isNumber);
        if (!isNumber || value < field.minimum || value > field.maximum) {
            const QString text =
                isNumber ? RangeMessage(field.minimum, field.maximum) : QStringLiteral("Please enter an integer.");
            ShowMessageBox(dialog, text, QCoreApplication::applicationName(), MessageButtons::Ok,
                           MessageIcon::Exclamation);
            field.edit->setFocus(Qt::OtherFocusReason);
            field.edit->selectAll();
            return false;
        }
        *field.value = value;
    }
    return true;
}
