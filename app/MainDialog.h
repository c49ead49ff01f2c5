#pragma once
#include "ModalDialog.h"
namespace backend { class CaptureBackend; }
class SingleInstance;
class CMainDialog : public CModalDialog {
    Q_OBJECT
public:
    CMainDialog(backend::CaptureBackend&, SingleInstance&, QWidget* parent = nullptr) : CModalDialog(parent) {}
};
