#pragma once
// A pair of small arrow buttons, one above the other, that step a value up or down (held
// down, they repeat). The up arrow steps +1, the down arrow -1.

#include <QWidget>

class QToolButton;

class SpinArrows : public QWidget {
    Q_OBJECT
public:
    explicit SpinArrows(QWidget* parent = nullptr);
    QToolButton& UpArrow() const { return *up_; }
    QToolButton& DownArrow() const { return *down_; }

signals:
    void Stepped(int delta);

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    QToolButton* up_;
    QToolButton* down_;
};
