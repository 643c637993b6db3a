#include "installdialog.h"

#include "mods/modlayout.h"

#include <QDialogButtonBox>
#include <QFileInfo>
#include <QFormLayout>
#include <QFutureWatcher>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QLocale>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QVBoxLayout>
#include <QtConcurrent/QtConcurrentRun>

InstallDialog::InstallDialog(const GameSetup &setup, const QString &zipPath, const QString &modName,
                             const QString &sourcePage, QWidget *parent)
    : QDialog(parent), m_setup(setup), m_zipPath(zipPath), m_sourcePage(sourcePage)
{
    setObjectName(QStringLiteral("installDialog"));
    setWindowTitle(tr("Install mod"));
    setAttribute(Qt::WA_DeleteOnClose);
    const ModArchiveSummary summary = ModArchiveSummary::of(zipPath, modName);
    m_readable = summary.error.isEmpty();

    auto *heading =
        new QLabel(tr("<b>%1</b> goes into the mods folder %2.")
                       .arg(QFileInfo(zipPath).fileName().toHtmlEscaped(), setup.modsFolder.toHtmlEscaped()),
                   this);
    heading->setWordWrap(true);
    m_gameField = new QLineEdit(summary.suggestedGame, this);
    m_gameField->setObjectName(QStringLiteral("gameNameField"));
    m_gameField->setValidator(
        new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[a-z0-9_-]{0,64}")), m_gameField));
    connect(m_gameField, &QLineEdit::textChanged, this, &InstallDialog::checkName);
    m_files = new QListWidget(this);
    m_files->setObjectName(QStringLiteral("filesList"));
    m_files->addItems(summary.files);
    auto *size = new QLabel(
        tr("%n file(s), %1", nullptr, summary.fileCount).arg(QLocale().formattedDataSize(summary.totalSize)), this);
    auto *form = new QFormLayout;
    form->addRow(tr("&Game folder:"), m_gameField);
    form->addRow(tr("Files:"), size);

    auto *warnings = new QLabel(this);
    warnings->setObjectName(QStringLiteral("warningsLabel"));
    warnings->setWordWrap(true);
    QStringList notes = summary.warnings;
    if (!summary.error.isEmpty())
        notes.prepend(summary.error);
    warnings->setText(notes.join(QStringLiteral("\n\n")));
    warnings->setVisible(!notes.isEmpty());
    m_problemLabel = new QLabel(this);
    m_problemLabel->setObjectName(QStringLiteral("problemLabel"));
    m_problemLabel->setWordWrap(true);

    m_buttons = new QDialogButtonBox(QDialogButtonBox::Cancel, this);
    QPushButton *installButton = m_buttons->addButton(tr("&Install"), QDialogButtonBox::AcceptRole);
    installButton->setObjectName(QStringLiteral("installButton"));
    connect(m_buttons, &QDialogButtonBox::accepted, this, &InstallDialog::install);
    connect(m_buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(heading);
    layout->addLayout(form);
    layout->addWidget(m_files, 1);
    layout->addWidget(warnings);
    layout->addWidget(m_problemLabel);
    layout->addWidget(m_buttons);
    resize(520, 420);
    checkName();
}

QString InstallDialog::gameName() const
{
    return m_gameField->text();
}

void InstallDialog::checkName()
{
    QString problem = gameNameProblem(gameName());
    if (problem.isEmpty())
        problem = m_setup.missingForInstall();
    m_problemLabel->setText(problem);
    m_problemLabel->setVisible(!problem.isEmpty());
    m_buttons->button(QDialogButtonBox::Cancel)->setEnabled(true);
    for (QAbstractButton *button : m_buttons->buttons()) {
        if (m_buttons->buttonRole(button) == QDialogButtonBox::AcceptRole)
            button->setEnabled(m_readable && problem.isEmpty());
    }
}

void InstallDialog::install()
{
    m_buttons->setEnabled(false);
    m_gameField->setEnabled(false);
    m_problemLabel->setText(tr("Installing…"));
    m_problemLabel->show();
    // The archive's files are read, written and hashed on a worker thread; the
    // watcher hands the result back to this thread through a queued event.
    auto *watcher = new QFutureWatcher<ModInstaller::Result>(this);
    connect(watcher, &QFutureWatcherBase::finished, this, [this, watcher] {
        showResult(watcher->result());
        watcher->deleteLater();
    });
    watcher->setFuture(QtConcurrent::run(
        [modsFolder = m_setup.modsFolder, engineFolder = m_setup.engineFolder(), zip = m_zipPath, game = gameName(),
         source = m_sourcePage] { return ModInstaller(modsFolder, engineFolder).install(zip, game, source); }));
}

void InstallDialog::showResult(const ModInstaller::Result &result)
{
    Q_EMIT installFinished(result);
    if (result.ok) {
        accept();
        return;
    }
    m_buttons->setEnabled(true);
    m_gameField->setEnabled(true);
    m_problemLabel->setText(result.message);
}
