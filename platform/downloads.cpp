#include "downloads.h"

#include "shell.h"

#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QStandardPaths>
#include <QUrl>
#include <QWebEngineDownloadRequest>
#include <QWebEngineProfile>

Downloads::Downloads(QWebEngineProfile *profile, Shell &shell, SaveChooser chooser, QWidget *parent)
    : QWidget(parent, Qt::Window), m_shell(shell), m_chooser(std::move(chooser))
{
    setObjectName(QStringLiteral("downloads"));
    setWindowTitle(tr("Downloads"));
    auto *layout = new QVBoxLayout(this);
    m_rows = new QVBoxLayout;
    layout->addLayout(m_rows);
    layout->addStretch(1);
    resize(460, 120);
    connect(profile, &QWebEngineProfile::downloadRequested, this, &Downloads::start);
}

QString Downloads::askWhereToSave(QWidget *parent, const QString &suggestedPath)
{
    return QFileDialog::getSaveFileName(parent, tr("Save file"), suggestedPath);
}

void Downloads::start(QWebEngineDownloadRequest *request)
{
    QString folder = QStandardPaths::writableLocation(QStandardPaths::DownloadLocation);
    if (folder.isEmpty())
        folder = QDir::homePath();
    const QString path = m_chooser(window(), folder + QLatin1Char('/') + request->downloadFileName());
    if (path.isEmpty()) {
        request->cancel();
        return;
    }
    const QFileInfo target(path);
    // A file the user chose to replace is theirs until the new one is complete.
    const bool replacing = target.exists();
    request->setDownloadDirectory(target.absolutePath());
    request->setDownloadFileName(target.fileName());

    auto *row = new QWidget(this);
    row->setObjectName(QStringLiteral("download"));
    auto *name = new QLabel(target.fileName(), row);
    auto *bar = new QProgressBar(row);
    bar->setObjectName(QStringLiteral("progress"));
    auto *cancel = new QPushButton(tr("&Cancel"), row);
    cancel->setObjectName(QStringLiteral("cancel"));
    auto *open = new QPushButton(tr("Show in &folder"), row);
    open->setObjectName(QStringLiteral("showInFolder"));
    open->hide();
    auto *rowLayout = new QHBoxLayout(row);
    rowLayout->setContentsMargins(0, 0, 0, 0);
    rowLayout->addWidget(name);
    rowLayout->addWidget(bar, 1);
    rowLayout->addWidget(cancel);
    rowLayout->addWidget(open);
    m_rows->addWidget(row);

    connect(request, &QWebEngineDownloadRequest::receivedBytesChanged, bar, [request, bar] {
        const qint64 total = request->totalBytes();
        if (total > 0) {
            bar->setRange(0, 1000);
            bar->setValue(int(request->receivedBytes() * 1000 / total));
        } else {
            bar->setRange(0, 0); // size unknown: a busy bar
        }
    });
    connect(cancel, &QPushButton::clicked, request, &QWebEngineDownloadRequest::cancel);
    connect(open, &QPushButton::clicked, this, [this, target] {
        m_shell.openFolder(target.absolutePath());
    });
    connect(request, &QWebEngineDownloadRequest::isFinishedChanged, this, [=, this] {
        const bool complete = request->state() == QWebEngineDownloadRequest::DownloadCompleted;
        cancel->hide();
        bar->setRange(0, 1000);
        bar->setValue(complete ? 1000 : 0);
        if (complete) {
            open->show();
        } else {
            // Whatever the engine wrote of a cancelled or failed download goes.
            if (!replacing)
                QFile::remove(target.absoluteFilePath());
            QFile::remove(target.absoluteFilePath() + QStringLiteral(".crdownload"));
            name->setText(tr("%1 (cancelled)").arg(target.fileName()));
        }
        Q_EMIT downloadEnded(target.absoluteFilePath(), complete);
    });
    request->accept();
    show();
    raise();
}
