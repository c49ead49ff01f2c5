#pragma once
// Setting → Share live picture...: starts and stops sharing, and while it runs shows the
// address, its QR code, the access code and how many are watching. It stays open beside
// the window (the class reads the code from it) and closes without stopping the sharing.

#include <QDialog>

class QLabel;
class QPushButton;
class ShareControl;

class CShareDlg : public QDialog {
    Q_OBJECT
public:
    CShareDlg(ShareControl& sharing, QWidget* parent = nullptr);

    void OnStartStop();
    QString AddressText() const;
    QString CodeText() const;
    QString ViewersText() const;
    const QImage* QrImage() const;

private:
    void Refresh();

    ShareControl& sharing_;
    QLabel* hint_ = nullptr;
    QLabel* address_ = nullptr;
    QLabel* qr_ = nullptr;
    QLabel* code_ = nullptr;
    QLabel* viewers_ = nullptr;
    QPushButton* startStop_ = nullptr;
    QImage qrImage_;
};
