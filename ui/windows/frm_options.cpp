#include "frm_options.h"

#include "core/options.h"
#include "core/settingsstore.h"
#include "platform/messages.h"

#include "ui/main/twips.h"

#include <QBoxLayout>
#include <QCheckBox>
#include <QGroupBox>
#include <QGuiApplication>
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

frm_options::frm_options(SettingsStore &settings, Messages &messages, QWidget *parent)
    : QDialog(parent), m_settings(settings), m_messages(messages)
{
    setObjectName(QStringLiteral("frm_options"));
    setWindowTitle(tr("Options"));
    setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::CustomizeWindowHint | Qt::WindowTitleHint
                   | Qt::WindowCloseButtonHint);
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowModality(Qt::ApplicationModal);

    auto *frame1 = new QGroupBox(tr("Options"), this);
    frame1->setObjectName(QStringLiteral("Frame1"));
    auto makeCheck = [frame1](const char *name, const QString &caption) {
        auto *box = new QCheckBox(caption, frame1);
        box->setObjectName(QString::fromLatin1(name));
        return box;
    };
    m_check1 = makeCheck("Check1", tr("Show remote control at startup"));
    m_check4 = makeCheck("Check4", tr("Do not show main window at startup, just the rc"));
    m_check2 = makeCheck("Check2", tr("Fullscreen mode at startup"));
    m_check3 = makeCheck("Check3", tr("Maximze window at startup"));
    m_check5 = makeCheck("Check5", tr("Use default browser when using the remote control"));

    auto *cancel = new QPushButton(tr("&Cancel"), this);
    cancel->setObjectName(QStringLiteral("Command1"));
    auto *ok = new QPushButton(tr("&Ok"), this);
    ok->setObjectName(QStringLiteral("Command2"));
    ok->setDefault(true);

    // Design: client area 4455 x 2745 twips, the boxes 330 twips apart, Check4
    // indented by 270 twips under Check1 as its sub-option.
    const double tpp = twipsPerPixel(this);
    auto px = [tpp](double twips) { return qRound(twips / tpp); };
    auto *checks = new QVBoxLayout(frame1);
    checks->setContentsMargins(px(135), px(120), px(75), px(120));
    checks->setSpacing(px(45));
    checks->addWidget(m_check1);
    auto *sub = new QHBoxLayout;
    sub->addSpacing(px(270));
    sub->addWidget(m_check4);
    checks->addLayout(sub);
    checks->addWidget(m_check2);
    checks->addWidget(m_check3);
    checks->addWidget(m_check5);
    frame1->setMinimumSize(px(4320), px(2175));

    for (QPushButton *button : {cancel, ok})
        button->setMinimumSize(px(795), px(345));
    auto *buttons = new QHBoxLayout;
    buttons->setSpacing(px(120));
    buttons->addStretch(1);
    buttons->addWidget(cancel);
    buttons->addWidget(ok);

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(px(75), px(60), px(60), px(90));
    layout->setSpacing(px(75));
    layout->addWidget(frame1);
    layout->addLayout(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    setTabOrder(m_check1, m_check2);
    setTabOrder(m_check2, m_check3);
    setTabOrder(m_check3, cancel);
    setTabOrder(cancel, ok);
    setTabOrder(ok, m_check4);
    setTabOrder(m_check4, m_check5);
    m_check1->setFocus();

    connect(m_check1, &QCheckBox::toggled, this, &frm_options::Check1_Click);
    connect(ok, &QPushButton::clicked, this, &frm_options::Command2_Click);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);

    Form_Load();
}

void frm_options::Form_Load()
{
    // Each box shows what its option does where it is read: the start-up
    // switches are on at exactly 1, the browser choice at anything but 0.
    m_check1->setChecked(Options::isOn(m_settings, Options::kShowFav));
    Check1_Click();
    m_check2->setChecked(Options::isOn(m_settings, Options::kFullScreen));
    m_check3->setChecked(Options::isOn(m_settings, Options::kMaximized));
    m_check4->setChecked(Options::isOn(m_settings, kRcOnlyAsRead));
    m_check5->setChecked(Options::isNonZero(m_settings, Options::kDefBrw));
}

void frm_options::Check1_Click()
{
    // Only enabled or not: the sub-option keeps its state and is saved either way.
    m_check4->setEnabled(m_check1->isChecked());
}

void frm_options::Command2_Click()
{
    const std::pair<const QString &, const QCheckBox *> values[] = {
        {Options::kShowFav, m_check1},  {Options::kFullScreen, m_check2}, {Options::kMaximized, m_check3},
        {Options::kRcOnly, m_check4},   {Options::kDefBrw, m_check5},
    };
    bool allSaved = true;
    for (const auto &[key, box] : values)
        allSaved = m_settings.saveSetting(Options::kApplication, Options::kSection, key, stateText(box)) && allSaved;
    if (!allSaved) {
        m_messages.show(this, QMessageBox::Warning, tr("Options"),
                        tr("The options could not be saved, so they will not be used. "
                           "Please check that your settings can be written, then press Ok again."),
                        QMessageBox::Ok);
        return;
    }
    accept();
}
