#include "downloads.h"

#include "appicon.h"
#include "messages.h"
#include "shell.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QLabel>
#include <QLocale>
#include <QProgressBar>
#include <QPushButton>
#include <QStandardPaths>
#include <QUrl>
#include <QVBoxLayout>
#include <QWebEngineDownloadRequest>
#include <QWebEnginePage>
#include <QWebEngineProfile>

#include <memory>

Downloads::Downloads(QWebEngineProfile *profile, Shell &shell, Messages &messages, SaveChooser chooser, QWidget *parent)
    : QWidget(parent, Qt::Window), m_shell(shell), m_messages(messages), m_chooser(std::move(chooser))
{
    setObjectName(QStringLiteral("downloads"));
    setWindowTitle(tr("Downloads"));
    // The Save dialog, whose parent this window is, shows it too.
    setWindowIcon(appIcon());
    auto *layout = new QVBoxLayout(this);
    // One row per download, in columns, so that the bars line up.
    m_rows = new QGridLayout;
    m_rows->setColumnStretch(1, 1);
    layout->addLayout(m_rows);
    layout->addStretch(1);
    resize(560, 120);
    connect(profile, &QWebEngineProfile::downloadRequested, this, &Downloads::start);
}

QString Downloads::askWhereToSave(QWidget *parent, const QString &suggestedPath)
{
    return QFileDialog::getSaveFileName(parent, tr("Save file"), suggestedPath);
}

QString Downloads::defaultFolder()
{
    // The dialog would open in the working folder if the folder did not exist.
    const QString downloads = QStandardPaths::writableLocation(QStandardPaths::DownloadLocation);
    return !downloads.isEmpty() && QFileInfo(downloads).isDir() ? downloads : QDir::homePath();
}

void Downloads::start(QWebEngineDownloadRequest *request)
{
    const QString path = m_chooser(window(), defaultFolder() + QLatin1Char('/') + request->downloadFileName());
    if (path.isEmpty()) {
        request->cancel();
        return;
    }
    const QFileInfo target(path);
    // A file the user chose to replace is theirs until the new one is complete.
    const bool replacing = target.exists();
    request->setDownloadDirectory(target.absolutePath());
    request->setDownloadFileName(target.fileName());

    auto *name = new QLabel(target.fileName(), this);
    auto *bar = new QProgressBar(this);
    bar->setObjectName(QStringLiteral("progress"));
    bar->setAccessibleName(target.fileName());
    auto *amount = new QLabel(this);
    amount->setObjectName(QStringLiteral("amount"));
    // Room for the longest figures, so that the bars keep their width.
    amount->setMinimumWidth(amount->fontMetrics().horizontalAdvance(
        tr("%1 of %2, %3/s")
            .arg(QStringLiteral("999.99 MiB"), QStringLiteral("999.99 MiB"), QStringLiteral("999.99 MiB"))));
    auto *cancel = new QPushButton(tr("&Cancel"), this);
    cancel->setObjectName(QStringLiteral("cancel"));
    auto *open = new QPushButton(tr("Show in &folder"), this);
    open->setObjectName(QStringLiteral("showInFolder"));
    open->hide();
    auto *install = new QPushButton(tr("&Install"), this);
    install->setObjectName(QStringLiteral("install"));
    install->setToolTip(tr("Installs this mod into the game's mods folder"));
    install->hide();
    const QString page = request->page() ? request->page()->url().toString() : QString();
    const int row = m_rows->rowCount();
    m_rows->addWidget(name, row, 0);
    m_rows->addWidget(bar, row, 1);
    m_rows->addWidget(amount, row, 2);
    // The two buttons share a cell: one of them shows at a time.
    m_rows->addWidget(cancel, row, 3);
    m_rows->addWidget(open, row, 3);
    m_rows->addWidget(install, row, 4);

    // Size and speed: "1.2 MiB of 3.0 MiB, 850 KiB/s", the speed over the whole download.
    const auto clock = std::make_shared<QElapsedTimer>();
    clock->start();
    connect(request, &QWebEngineDownloadRequest::receivedBytesChanged, bar, [request, bar, amount, clock] {
        const qint64 received = request->receivedBytes();
        const qint64 total = request->totalBytes();
        if (total > 0) {
            bar->setRange(0, 1000);
            bar->setValue(int(received * 1000 / total));
        } else {
            bar->setRange(0, 0); // size unknown: a busy bar
        }
        const QLocale locale;
        const QString got =
            total > 0 ? tr("%1 of %2").arg(locale.formattedDataSize(received), locale.formattedDataSize(total))
                      : locale.formattedDataSize(received);
        const qint64 ms = clock->elapsed();
        amount->setText(ms > 0 ? tr("%1, %2/s").arg(got, locale.formattedDataSize(received * 1000 / ms)) : got);
    });
    connect(cancel, &QPushButton::clicked, request, &QWebEngineDownloadRequest::cancel);
    connect(open, &QPushButton::clicked, this, [this, target] {
        if (!m_shell.openFolder(target.absolutePath())) {
            m_messages.show(this, QMessageBox::Warning, windowTitle(),
                            tr("No file manager could be started to show this folder:\n%1").arg(target.absolutePath()),
                            QMessageBox::Ok);
        }
    });
    connect(install, &QPushButton::clicked, this,
            [this, target, page] { Q_EMIT installRequested(target.absoluteFilePath(), page); });
    connect(request, &QWebEngineDownloadRequest::isFinishedChanged, this, [=, this] {
        const bool complete = request->state() == QWebEngineDownloadRequest::DownloadCompleted;
        cancel->hide();
        bar->setRange(0, 1000);
        bar->setValue(complete ? 1000 : 0);
        if (complete) {
            amount->setText(QLocale().formattedDataSize(request->receivedBytes()));
            open->show();
            install->setVisible(target.suffix().compare(QLatin1String("zip"), Qt::CaseInsensitive) == 0);
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
