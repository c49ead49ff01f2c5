#pragma once
// A transparent pane over a dialog's preview group box that paints the preview on top of
// the box's own frame.

#include <QPainter>
#include <QWidget>

#include <functional>

class PreviewPane : public QWidget {
public:
    using Painter = std::function<void(QPainter&, const QRect& box)>;

    PreviewPane(QWidget* parent, const QRect& box, Painter painter) : QWidget(parent), painter_(std::move(painter))
    {
        setGeometry(box);
        setAttribute(Qt::WA_TransparentForMouseEvents);
        setAttribute(Qt::WA_NoSystemBackground);
        raise();
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        // The pane covers the box exactly, so the box is drawn in the pane's own coordinates.
        painter_(painter, rect());
    }

private:
    Painter painter_;
};
