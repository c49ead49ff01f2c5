#pragma once
// Setting → Stream to a server...: the server's address with its key, Start and Stop, and
// how the stream goes. Closing it keeps the stream running.

#include <QDialog>

class QLabel;
class QLineEdit;
class QPushButton;
class StreamControl;

class CStreamDlg : public QDialog {
    Q_OBJECT
public:
    CStreamDlg(StreamControl& stream, QWidget* parent = nullptr);

    void OnStartStop();
    QLineEdit& AddressBox() const { return *address_; }
    QString StatusText() const;

private:
    void Refresh();

    StreamControl& stream_;
    QLineEdit* address_ = nullptr;
    QLabel* status_ = nullptr;
    QPushButton* startStop_ = nullptr;
};
