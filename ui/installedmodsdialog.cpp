#include "installedmodsdialog.h"

#include "mods/modinstaller.h"
#include "platform/messages.h"

#include <QDialogButtonBox>
#include <QFutureWatcher>
#include <QHeaderView>
#include <QLocale>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <QtConcurrent/QtConcurrentRun>

InstalledModsDialog::InstalledModsDialog(QString modsFolder, QString engineFolder, Messages &messages, QWidget *parent)
    : QDialog(parent),
      m_modsFolder(std::move(modsFolder)),
      m_engineFolder(std::move(engineFolder)),
      m_messages(messages)
{
    setObjectName(QStringLiteral("installedModsDialog"));
    setWindowTitle(tr("Installed mods"));
    setAttribute(Qt::WA_DeleteOnClose);
    m_list = new QTreeWidget(this);
    m_list->setObjectName(QStringLiteral("installedList"));
    m_list->setHeaderLabels({tr("Name"), tr("Folder"), tr("Size"), tr("Source page")});
    m_list->setRootIsDecorated(false);
    m_list->header()->setSectionResizeMode(QHeaderView::ResizeToContents);
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    m_playButton = buttons->addButton(tr("&Play"), QDialogButtonBox::ActionRole);
    m_playButton->setObjectName(QStringLiteral("playButton"));
    m_uninstallButton = buttons->addButton(tr("&Uninstall"), QDialogButtonBox::ActionRole);
    m_uninstallButton->setObjectName(QStringLiteral("uninstallButton"));
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(m_playButton, &QPushButton::clicked, this, [this] { Q_EMIT playRequested(selectedGame()); });
    connect(m_uninstallButton, &QPushButton::clicked, this, &InstalledModsDialog::uninstallSelected);
    connect(m_list, &QTreeWidget::itemSelectionChanged, this, [this] {
        m_playButton->setEnabled(!selectedGame().isEmpty());
        m_uninstallButton->setEnabled(!selectedGame().isEmpty());
    });
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(m_list, 1);
    layout->addWidget(buttons);
    resize(640, 320);
    refresh();
}

void InstalledModsDialog::refresh()
{
    m_list->clear();
    for (const ModInstaller::Installed &mod : ModInstaller(m_modsFolder, m_engineFolder).installed()) {
        auto *item = new QTreeWidgetItem(
            m_list, {mod.game, mod.folder, QLocale().formattedDataSize(mod.manifest.totalSize()),
                     mod.manifest.sourcePage.isEmpty() ? mod.manifest.archiveName : mod.manifest.sourcePage});
        item->setData(0, Qt::UserRole, mod.game);
    }
    if (m_list->topLevelItemCount() > 0)
        m_list->setCurrentItem(m_list->topLevelItem(0));
    m_playButton->setEnabled(!selectedGame().isEmpty());
    m_uninstallButton->setEnabled(!selectedGame().isEmpty());
}

QString InstalledModsDialog::selectedGame() const
{
    const QTreeWidgetItem *item = m_list->currentItem();
    return item ? item->data(0, Qt::UserRole).toString() : QString();
}

void InstalledModsDialog::uninstallSelected()
{
    const QString game = selectedGame();
    if (game.isEmpty())
        return;
    const ModInstaller::Check check = ModInstaller(m_modsFolder, m_engineFolder).checkUninstall(game);
    if (!check.error.isEmpty()) {
        m_messages.show(this, QMessageBox::Warning, tr("Uninstall"), check.error, QMessageBox::Ok);
        return;
    }
    bool alsoChanged = false;
    const QStringList others = check.changed + check.added;
    if (!others.isEmpty()) {
        const QMessageBox::StandardButton answer = m_messages.show(
            this, QMessageBox::Question, tr("Uninstall"),
            tr("%1 has files that were changed or added since the install (settings, saves, screenshots):\n\n%2\n\n"
               "Move them to the trash too? With No they stay in %3.")
                .arg(game,
                     others.size() <= 8 ? others.join(u'\n')
                                        : others.mid(0, 7).join(u'\n') + tr("\n… and %1 more").arg(others.size() - 7),
                     m_modsFolder + u'/' + game),
            QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel, others.join(u'\n'));
        if (answer == QMessageBox::Cancel)
            return;
        alsoChanged = answer == QMessageBox::Yes;
    }
    m_uninstallButton->setEnabled(false);
    auto *watcher = new QFutureWatcher<ModInstaller::Result>(this);
    connect(watcher, &QFutureWatcherBase::finished, this, [this, watcher] {
        const ModInstaller::Result result = watcher->result();
        watcher->deleteLater();
        refresh();
        Q_EMIT modsChanged();
        m_messages.show(this, result.ok ? QMessageBox::Information : QMessageBox::Warning, tr("Uninstall"),
                        result.message, QMessageBox::Ok);
    });
    watcher->setFuture(QtConcurrent::run([modsFolder = m_modsFolder, engineFolder = m_engineFolder, game, alsoChanged] {
        return ModInstaller(modsFolder, engineFolder).uninstall(game, alsoChanged);
    }));
}
