#include "updateprogressdialog.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QLocale>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

#include <algorithm>

namespace {

QString stepText(UpdateStep step)
{
    switch (step) {
    case UpdateStep::FetchCatalogue:
        return UpdateProgressDialog::tr("Fetching the list catalogue...");
    case UpdateStep::FetchArchive:
        return UpdateProgressDialog::tr("Downloading the list archive...");
    case UpdateStep::Unpack:
        return UpdateProgressDialog::tr("Unpacking the archive...");
    case UpdateStep::Commit:
        return UpdateProgressDialog::tr("Putting the new list in place...");
    case UpdateStep::StampDate:
    case UpdateStep::ShowDate:
    case UpdateStep::RebuildTree:
        break;
    }
    return UpdateProgressDialog::tr("Reading the new list...");
}

bool countsBytes(UpdateStep step)
{
    return step == UpdateStep::FetchCatalogue || step == UpdateStep::FetchArchive;
}

} // namespace

UpdateProgressDialog::UpdateProgressDialog(QWidget *parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("updateProgressDialog"));
    setWindowTitle(tr("Update list"));
    setWindowModality(Qt::ApplicationModal);
    m_stepLabel = new QLabel(stepText(UpdateStep::FetchCatalogue), this);
    m_stepLabel->setObjectName(QStringLiteral("updateStepLabel"));
    m_progressBar = new QProgressBar(this);
    m_progressBar->setObjectName(QStringLiteral("updateProgressBar"));
    m_progressBar->setRange(0, 0);
    m_progressBar->setTextVisible(false);
    m_progressBar->setMinimumWidth(320);
    m_amountLabel = new QLabel(this);
    m_amountLabel->setObjectName(QStringLiteral("updateAmountLabel"));
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Cancel, this);
    m_cancelButton = buttons->button(QDialogButtonBox::Cancel);
    m_cancelButton->setObjectName(QStringLiteral("cancelUpdateButton"));
    connect(buttons, &QDialogButtonBox::rejected, this, &UpdateProgressDialog::reject);

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(m_stepLabel);
    layout->addWidget(m_progressBar);
    layout->addWidget(m_amountLabel);
    layout->addWidget(buttons);
}

void UpdateProgressDialog::showProgress(UpdateStep step, qint64 done, qint64 total)
{
    m_stepLabel->setText(stepText(step));
    m_cancelButton->setEnabled(step < UpdateStep::Commit);
    if (total > 0) {
        m_progressBar->setRange(0, 1000);
        m_progressBar->setValue(int(std::min(done, total) * 1000 / total));
    } else {
        m_progressBar->setRange(0, 0); // moving to and fro: no total known
    }
    const QLocale locale;
    if (total < 0 && done <= 0) {
        m_amountLabel->clear();
    } else if (countsBytes(step)) {
        m_amountLabel->setText(total >= 0
                                   ? tr("%1 of %2").arg(locale.formattedDataSize(done), locale.formattedDataSize(total))
                                   : locale.formattedDataSize(done));
    } else {
        m_amountLabel->setText(tr("%1 of %2 files").arg(locale.toString(done), locale.toString(total)));
    }
}

void UpdateProgressDialog::reject()
{
    // The dialog stays until the update has ended; the update closes it.
    if (m_cancelButton->isEnabled())
        Q_EMIT cancelRequested();
}
