#pragma once
// The platform's look, with the tooltips of the tool buttons coming up after 100 ms.

#include <QProxyStyle>

class ProgramStyle : public QProxyStyle {
public:
    int styleHint(StyleHint hint, const QStyleOption* option = nullptr, const QWidget* widget = nullptr,
                  QStyleHintReturn* returnData = nullptr) const override
    {
        if (hint == SH_ToolTip_WakeUpDelay) return 100;
        return QProxyStyle::styleHint(hint, option, widget, returnData);
    }
};
