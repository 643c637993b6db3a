#include "optionsdialog.h"

#include "core/listserver.h"
#include "core/options.h"
#include "core/settingsstore.h"
#include "mods/gamesetup.h"
#include "platform/messages.h"

#include "designunits.h"

#include <QBoxLayout>
#include <QCheckBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>

namespace {

// The options dialog reads the fourth option under this spelling; names in the
// store ignore letter case, so it is the entry that Ok writes as "RCOnly".
const QString kRcOnlyAsRead = QStringLiteral("RConly");

QString stateText(const QCheckBox *box)
{
    return box->isChecked() ? QStringLiteral("1") : QStringLiteral("0");
}

} // namespace

OptionsDialog::OptionsDialog(SettingsStore &settings, Messages &messages, QWidget *parent)
    : QDialog(parent), m_settings(settings), m_messages(messages)
{
    setObjectName(QStringLiteral("optionsDialog"));
    setWindowTitle(tr("Options"));
    setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowCloseButtonHint);
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowModality(Qt::WindowModal);

    auto *group = new QGroupBox(tr("Options"), this);
    group->setObjectName(QStringLiteral("optionsGroup"));
    auto makeCheck = [group](const char *name, const QString &caption) {
        auto *box = new QCheckBox(caption, group);
        box->setObjectName(QString::fromLatin1(name));
        return box;
    };
    m_showRemoteAtStartupBox = makeCheck("showRemoteAtStartupBox", tr("Show remote control at startup"));
    m_remoteOnlyAtStartupBox =
        makeCheck("remoteOnlyAtStartupBox", tr("Do not show main window at startup, just the rc"));
    m_fullScreenAtStartupBox = makeCheck("fullScreenAtStartupBox", tr("Fullscreen mode at startup"));
    m_maximizedAtStartupBox = makeCheck("maximizedAtStartupBox", tr("Maximze window at startup"));
    m_defaultBrowserBox = makeCheck("defaultBrowserBox", tr("Use default browser when using the remote control"));

    m_listServerField = new QLineEdit(this);
    m_listServerField->setObjectName(QStringLiteral("listServerField"));
    m_listServerField->setPlaceholderText(tr("Built-in list"));
    auto *listServerLabel = new QLabel(tr("&List server:"), this);
    listServerLabel->setBuddy(m_listServerField);
    auto *listServerHint = new QLabel(tr("An http or https address; empty for the list built into the program. "
                                         "Used from the next start."),
                                      this);
    listServerHint->setWordWrap(true);
    m_listServerField->setToolTip(listServerHint->text());

    auto *cancel = new QPushButton(tr("&Cancel"), this);
    cancel->setObjectName(QStringLiteral("cancelButton"));
    auto *ok = new QPushButton(tr("&Ok"), this);
    ok->setObjectName(QStringLiteral("okButton"));
    ok->setDefault(true);

    // Design: client area 4455 x 2745 twips, the boxes 330 twips apart, the
    // remote-only box indented by 270 twips under its parent option.
    auto px = [this](double twips) { return fromTwips(twips, this); };
    auto *checks = new QVBoxLayout(group);
    checks->setContentsMargins(px(135), px(120), px(75), px(120));
    checks->setSpacing(px(45));
    checks->addWidget(m_showRemoteAtStartupBox);
    auto *sub = new QHBoxLayout;
    sub->addSpacing(px(270));
    sub->addWidget(m_remoteOnlyAtStartupBox);
    checks->addLayout(sub);
    checks->addWidget(m_fullScreenAtStartupBox);
    checks->addWidget(m_maximizedAtStartupBox);
    checks->addWidget(m_defaultBrowserBox);
    group->setMinimumSize(px(4320), px(2175));

    for (QPushButton *button : {cancel, ok})
        button->setMinimumSize(px(795), px(345));
    auto *buttons = new QHBoxLayout;
    buttons->setSpacing(px(120));
    buttons->addStretch(1);
    buttons->addWidget(cancel);
    buttons->addWidget(ok);

    auto *listServerRow = new QHBoxLayout;
    listServerRow->setSpacing(px(120));
    listServerRow->addWidget(listServerLabel);
    listServerRow->addWidget(m_listServerField, 1);
    listServerHint->setMaximumWidth(px(4320));

    auto *game = new QGroupBox(tr("Game"), this);
    game->setObjectName(QStringLiteral("gameGroup"));
    auto *gameForm = new QFormLayout(game);
    const GameSetup detected = GameSetup{}.completed(SystemPaths::current());
    const auto gameField = [&](const char *name, const QString &caption, const QString &hint) {
        auto *field = new QLineEdit(game);
        field->setObjectName(QString::fromLatin1(name));
        field->setPlaceholderText(hint);
        field->setToolTip(tr("Empty: detected (%1)").arg(hint));
        gameForm->addRow(caption, field);
        connect(field, &QLineEdit::textChanged, this, &OptionsDialog::showGameState);
        return field;
    };
    m_engineField =
        gameField("engineField", tr("&Engine:"), detected.engine.isEmpty() ? tr("none found") : detected.engine);
    m_modsFolderField = gameField("modsFolderField", tr("&Mods folder:"), detected.modsFolder);
    m_gameDataField =
        gameField("gameDataField", tr("Game &data:"),
                  detected.gameData.isEmpty() ? tr("the folder with baseq2/pak0.pak") : detected.gameData);
    m_extraArgumentsField =
        gameField("extraArgumentsField", tr("E&xtra arguments:"), tr("such as +set vid_fullscreen 0"));
    m_gameStateLabel = new QLabel(game);
    m_gameStateLabel->setObjectName(QStringLiteral("gameStateLabel"));
    m_gameStateLabel->setWordWrap(true);
    // A fixed width gives the wrapped text its height in the fixed-size dialog.
    m_gameStateLabel->setFixedWidth(px(4000));
    m_gameStateLabel->setMinimumHeight(m_gameStateLabel->fontMetrics().lineSpacing() * 6);
    m_gameStateLabel->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    gameForm->addRow(m_gameStateLabel);

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(px(75), px(60), px(60), px(90));
    layout->setSpacing(px(75));
    layout->addWidget(group);
    layout->addLayout(listServerRow);
    layout->addWidget(listServerHint);
    layout->addWidget(game);
    layout->addLayout(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    setTabOrder(m_showRemoteAtStartupBox, m_fullScreenAtStartupBox);
    setTabOrder(m_fullScreenAtStartupBox, m_maximizedAtStartupBox);
    setTabOrder(m_maximizedAtStartupBox, cancel);
    setTabOrder(cancel, ok);
    setTabOrder(ok, m_remoteOnlyAtStartupBox);
    setTabOrder(m_remoteOnlyAtStartupBox, m_defaultBrowserBox);
    setTabOrder(m_defaultBrowserBox, m_listServerField);
    setTabOrder(m_listServerField, m_engineField);
    setTabOrder(m_engineField, m_modsFolderField);
    setTabOrder(m_modsFolderField, m_gameDataField);
    setTabOrder(m_gameDataField, m_extraArgumentsField);
    m_showRemoteAtStartupBox->setFocus();

    connect(m_showRemoteAtStartupBox, &QCheckBox::toggled, this, &OptionsDialog::enableRemoteOnlyBox);
    connect(ok, &QPushButton::clicked, this, &OptionsDialog::save);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);

    load();
}

void OptionsDialog::load()
{
    // Each box shows what its option does where it is read: the start-up
    // switches are on at exactly 1, the browser choice at anything but 0.
    m_showRemoteAtStartupBox->setChecked(Options::isOn(m_settings, Options::kShowRemoteControl));
    enableRemoteOnlyBox();
    m_fullScreenAtStartupBox->setChecked(Options::isOn(m_settings, Options::kStartFullScreen));
    m_maximizedAtStartupBox->setChecked(Options::isOn(m_settings, Options::kStartMaximized));
    m_remoteOnlyAtStartupBox->setChecked(Options::isOn(m_settings, kRcOnlyAsRead));
    m_defaultBrowserBox->setChecked(Options::isNonZero(m_settings, Options::kUseDefaultBrowser));
    m_listServerField->setText(
        m_settings.value(Options::kApplication, Options::kSection, Options::kListServer, QString()));
    const GameSetup game = GameSetup::load(m_settings);
    m_engineField->setText(game.engine);
    m_modsFolderField->setText(game.modsFolder);
    m_gameDataField->setText(game.gameData);
    m_extraArgumentsField->setText(game.extraArguments);
    showGameState();
}

void OptionsDialog::showGameState()
{
    const GameSetup game = GameSetup{m_engineField->text().trimmed(), m_modsFolderField->text().trimmed(),
                                     m_gameDataField->text().trimmed(), m_extraArgumentsField->text()}
                               .completed(SystemPaths::current());
    const QString missing = game.missingForPlay();
    m_gameStateLabel->setText(missing.isEmpty() ? tr("Ready to play: mods go into %1.").arg(game.modsFolder) : missing);
}

void OptionsDialog::enableRemoteOnlyBox()
{
    // Only enabled or not: the sub-option keeps its state and is saved either way.
    m_remoteOnlyAtStartupBox->setEnabled(m_showRemoteAtStartupBox->isChecked());
}

void OptionsDialog::save()
{
    const QString listServer = ListServer::normalised(m_listServerField->text());
    if (!listServer.isEmpty() && !ListServer::isWebServer(listServer)) {
        m_messages.show(this, QMessageBox::Warning, tr("Options"),
                        tr("The list server must be an http or https address with a host name, such as "
                           "http://mirror.example:8080. Leave the field empty for the list built into the program."),
                        QMessageBox::Ok);
        m_listServerField->setFocus();
        m_listServerField->selectAll();
        return;
    }
    const std::pair<const QString &, const QCheckBox *> values[] = {
        {Options::kShowRemoteControl, m_showRemoteAtStartupBox},
        {Options::kStartFullScreen, m_fullScreenAtStartupBox},
        {Options::kStartMaximized, m_maximizedAtStartupBox},
        {Options::kRemoteControlOnly, m_remoteOnlyAtStartupBox},
        {Options::kUseDefaultBrowser, m_defaultBrowserBox},
    };
    bool allSaved = true;
    for (const auto &[key, box] : values)
        allSaved = m_settings.setValue(Options::kApplication, Options::kSection, key, stateText(box)) && allSaved;
    allSaved =
        m_settings.setValue(Options::kApplication, Options::kSection, Options::kListServer, listServer) && allSaved;
    allSaved = GameSetup{m_engineField->text(), m_modsFolderField->text(), m_gameDataField->text(),
                         m_extraArgumentsField->text()}
                   .save(m_settings) &&
               allSaved;
    if (!allSaved) {
        m_messages.show(this, QMessageBox::Warning, tr("Options"),
                        tr("The options could not be saved, so they will not be used. "
                           "Please check that your settings can be written, then press Ok again."),
                        QMessageBox::Ok);
        return;
    }
    accept();
}
