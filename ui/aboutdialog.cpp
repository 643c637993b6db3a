#include "aboutdialog.h"

#include "core/listserver.h"
#include "platform/messages.h"
#include "platform/shell.h"

#include "designunits.h"
#include "pictures.h"

#include <QBoxLayout>
#include <QFocusEvent>
#include <QFrame>
#include <QGuiApplication>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QScreen>

namespace {

const QColor kDarkGreen(0, 64, 0);
const QColor kBorder(48, 56, 24);

// A label whose one link is its only Tab stop: reached by Tab or Shift+Tab,
// the link itself has the focus, so that Enter opens it at once. A plain label
// would first take the focus without its link and need a second key press.
class LinkLabel final : public QLabel
{
public:
    using QLabel::QLabel;

protected:
    void focusInEvent(QFocusEvent *event) override
    {
        QLabel::focusInEvent(event);
        if (event->reason() == Qt::TabFocusReason || event->reason() == Qt::BacktabFocusReason)
            QLabel::focusNextPrevChild(event->reason() == Qt::TabFocusReason);
    }

    // From the one link, Tab and Shift+Tab both go on to the next control.
    bool focusNextPrevChild(bool next) override { return QWidget::focusNextPrevChild(next); }
};

} // namespace

AboutDialog::AboutDialog(Shell &shell, Messages &messages, const QString &siteAddress, QWidget *parent)
    : QDialog(parent), m_shell(shell), m_messages(messages), m_site(siteAddress)
{
    setObjectName(QStringLiteral("aboutDialog"));
    setWindowTitle(tr("About"));
    setWindowFlags(Qt::Dialog | Qt::FramelessWindowHint);
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowModality(Qt::WindowModal);

    QPalette pal = palette();
    pal.setColor(QPalette::Window, backgroundColour());
    pal.setColor(QPalette::WindowText, Qt::black);
    setPalette(pal);
    setAutoFillBackground(true);

    auto px = [this](double twips) { return fromTwips(twips, this); };

    auto *picture = new QLabel(this);
    picture->setObjectName(QStringLiteral("picture"));
    picture->setPixmap(picturePixmap(QStringLiteral("about/moor"), QSize(138, 176), devicePixelRatioF()));
    picture->setFixedSize(138, 176);
    picture->setAccessibleName(tr("A kestrel over the moor"));

    auto *title = new QLabel(QStringLiteral("Kestrelmoor"), this);
    title->setObjectName(QStringLiteral("title"));
    QFont titleFont(QStringLiteral("Verdana"));
    titleFont.setPointSize(24);
    titleFont.setBold(true);
    title->setFont(titleFont);
    QPalette titlePalette = title->palette();
    titlePalette.setColor(QPalette::WindowText, kDarkGreen);
    title->setPalette(titlePalette);

    auto *helpText = new QLabel(tr("If you have any problems with this program, please visit our website and post a "
                                   "message on the messageboard. We will reply ASAP."),
                                this);
    helpText->setObjectName(QStringLiteral("helpText"));
    helpText->setWordWrap(true);
    helpText->setFixedWidth(px(3330));
    helpText->setMinimumHeight(std::max(px(735), helpText->heightForWidth(px(3330))));
    helpText->setAlignment(Qt::AlignLeft | Qt::AlignTop);

    m_siteLink = new LinkLabel(this);
    m_siteLink->setObjectName(QStringLiteral("siteLink"));
    QFont linkFont(QStringLiteral("MS Sans Serif"));
    linkFont.setPointSizeF(8.25);
    linkFont.setUnderline(true);
    m_siteLink->setFont(linkFont);
    // A link rather than plain text, so that it takes the keyboard focus and Enter too.
    m_siteLink->setTextFormat(Qt::RichText);
    m_siteLink->setText(QStringLiteral("<a href=\"%1\" style=\"color:#0000ff; text-decoration:underline\">%2</a>")
                            .arg(linkTarget().toHtmlEscaped(), m_site.toHtmlEscaped()));
    m_siteLink->setTextInteractionFlags(Qt::LinksAccessibleByMouse | Qt::LinksAccessibleByKeyboard);
    m_siteLink->setCursor(Qt::PointingHandCursor);
    m_siteLink->setToolTip(linkTarget());
    m_siteLink->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    connect(m_siteLink, &QLabel::linkActivated, this, [this] { openSite(); });

    auto *rule = new QFrame(this);
    rule->setObjectName(QStringLiteral("rule"));
    rule->setFrameShape(QFrame::HLine);
    rule->setFrameShadow(QFrame::Plain);
    rule->setLineWidth(1);
    QPalette linePalette = rule->palette();
    linePalette.setColor(QPalette::WindowText, kBorder);
    rule->setPalette(linePalette);

    auto *returnButton = new QPushButton(this);
    returnButton->setObjectName(QStringLiteral("returnButton"));
    returnButton->setIcon(pictureIcon(QStringLiteral("about/return"), QSize(103, 28)));
    returnButton->setIconSize(QSize(103, 28));
    returnButton->setFixedSize(103, 28);
    returnButton->setFlat(true);
    returnButton->setDefault(true);
    returnButton->setToolTip(tr("Return"));
    returnButton->setAccessibleName(tr("Return"));
    connect(returnButton, &QPushButton::clicked, this, &QDialog::accept);

    // Design: client area 5835 x 3435 twips, the picture at the left, the texts
    // beside it, a rule across and the "Return" picture under it at the right.
    auto *texts = new QVBoxLayout;
    texts->setContentsMargins(0, px(120), 0, 0);
    texts->setSpacing(px(120));
    texts->addWidget(title);
    texts->addWidget(helpText);
    texts->addWidget(m_siteLink, 0, Qt::AlignLeft);
    texts->addStretch(1);
    // Which program this is, for a message on the board.
    if (const QString version = QCoreApplication::applicationVersion(); !version.isEmpty()) {
        auto *versionLabel = new QLabel(tr("Version %1").arg(version), this);
        versionLabel->setObjectName(QStringLiteral("versionLabel"));
        texts->addWidget(versionLabel);
    }

    auto *top = new QHBoxLayout;
    top->setSpacing(px(240));
    top->addWidget(picture, 0, Qt::AlignTop);
    top->addLayout(texts, 1);

    auto *bottom = new QHBoxLayout;
    bottom->addStretch(1);
    bottom->addWidget(returnButton);

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(px(75), px(45), px(105), px(90));
    layout->setSpacing(px(120));
    layout->addLayout(top);
    layout->addWidget(rule);
    layout->addLayout(bottom);
    setFixedSize(layout->sizeHint().expandedTo(QSize(px(5835), px(3435))));

    // Tab goes from the link to "Return", which has the focus at the start.
    setTabOrder(m_siteLink, returnButton);
    returnButton->setFocus();
}

QString AboutDialog::linkTarget() const
{
    return m_site.endsWith(QLatin1Char('/')) ? m_site : m_site + QLatin1Char('/');
}

void AboutDialog::openSite()
{
    if (ListServer::isBuiltIn(linkTarget())) {
        Q_EMIT openInProgramRequested(linkTarget());
        accept();
        return;
    }
    if (m_shell.openUrl(linkTarget()))
        return;
    // Nothing else tells the user when no browser could be started.
    m_messages.show(this, QMessageBox::Warning, tr("Kestrelmoor"),
                    tr("No web browser could be started. Please visit %1 yourself.").arg(linkTarget()),
                    QMessageBox::Ok);
}

void AboutDialog::paintEvent(QPaintEvent *event)
{
    QDialog::paintEvent(event);
    // Without a title bar the window needs an edge of its own.
    QPainter p(this);
    p.setPen(kBorder);
    p.drawRect(rect().adjusted(0, 0, -1, -1));
}
