#pragma once

#include "update/listupdate.h"

#include <QDialog>

class QLabel;
class QProgressBar;
class QPushButton;

// The progress of "Update list": the step under way, the bytes received (and
// their total when the server announced one) or the files unpacked, and
// Cancel. It is application-modal, so that nothing else of the program takes
// input while the update runs; Escape and the window's close button cancel too.
// Once the files are being put in place the update can no longer be stopped,
// and Cancel is off.
class UpdateProgressDialog final : public QDialog
{
    Q_OBJECT

public:
    explicit UpdateProgressDialog(QWidget *parent);

    void showProgress(UpdateStep step, qint64 done, qint64 total);

Q_SIGNALS:
    void cancelRequested();

protected:
    void reject() override;

private:
    QLabel *m_stepLabel = nullptr;
    QProgressBar *m_progressBar = nullptr;
    QLabel *m_amountLabel = nullptr;
    QPushButton *m_cancelButton = nullptr;
};
