#include "aboutdialog.h"

#include "platform/messages.h"
#include "platform/shell.h"

#include "designunits.h"

#include <QBoxLayout>
#include <QFocusEvent>
#include <QFrame>
#include <QGuiApplication>
#include <QLabel>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QScreen>

namespace {

const QColor kDarkGreen(0, 64, 0);
const QColor kBorder(48, 56, 24);

// 138 x 176: a kestrel hovering over the moor at dusk.
QPixmap moorPicture()
{
    QPixmap pixmap(138, 176);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);

    QLinearGradient sky(0, 0, 0, 120);
    sky.setColorAt(0.0, QColor(28, 58, 36));
    sky.setColorAt(0.55, QColor(104, 122, 70));
    sky.setColorAt(1.0, QColor(222, 206, 132));
    p.fillRect(pixmap.rect(), sky);

    p.setPen(Qt::NoPen);
    p.setBrush(QColor(246, 232, 170));
    p.drawEllipse(QPointF(98, 112), 17, 17);

    QPainterPath farHills;
    farHills.moveTo(0, 118);
    farHills.cubicTo(30, 100, 58, 104, 80, 114);
    farHills.cubicTo(100, 122, 120, 106, 138, 110);
    farHills.lineTo(138, 176);
    farHills.lineTo(0, 176);
    farHills.closeSubpath();
    p.setBrush(QColor(78, 98, 52));
    p.drawPath(farHills);

    QPainterPath nearHills;
    nearHills.moveTo(0, 140);
    nearHills.cubicTo(36, 126, 70, 136, 96, 132);
    nearHills.cubicTo(114, 129, 128, 134, 138, 138);
    nearHills.lineTo(138, 176);
    nearHills.lineTo(0, 176);
    nearHills.closeSubpath();
    QLinearGradient moor(0, 126, 0, 176);
    moor.setColorAt(0.0, QColor(52, 74, 34));
    moor.setColorAt(1.0, QColor(22, 38, 18));
    p.setBrush(moor);
    p.drawPath(nearHills);

    // Heather tufts along the near ridge.
    p.setBrush(QColor(112, 72, 96));
    for (const QPointF &at : {QPointF(14, 140), QPointF(31, 136), QPointF(57, 137), QPointF(84, 135),
                              QPointF(108, 134), QPointF(126, 137)})
        p.drawEllipse(at, 4.5, 2.2);

    // The kestrel, wings spread and tail fanned, as it hangs in the wind.
    QPainterPath bird;
    bird.moveTo(69, 44);
    bird.cubicTo(73, 44, 75, 50, 74, 55);
    bird.cubicTo(88, 49, 104, 42, 120, 41);
    bird.cubicTo(108, 50, 92, 59, 75, 65);
    bird.lineTo(74, 76);
    bird.lineTo(80, 94);
    bird.cubicTo(74, 97, 64, 97, 58, 94);
    bird.lineTo(64, 76);
    bird.lineTo(63, 65);
    bird.cubicTo(46, 59, 30, 50, 18, 41);
    bird.cubicTo(34, 42, 50, 49, 64, 55);
    bird.cubicTo(63, 50, 65, 44, 69, 44);
    bird.closeSubpath();
    p.setBrush(QColor(24, 34, 18));
    p.drawPath(bird);

    p.setRenderHint(QPainter::Antialiasing, false);
    p.setBrush(Qt::NoBrush);
    p.setPen(kBorder);
    p.drawRect(pixmap.rect().adjusted(0, 0, -1, -1));
    return pixmap;
}

// 103 x 28: the word "Return" in dark green on the window's colour, framed.
QPixmap returnPicture()
{
    QPixmap pixmap(103, 28);
    pixmap.fill(AboutDialog::backgroundColour());
    QPainter p(&pixmap);
    p.setPen(kBorder);
    p.drawRect(0, 0, 102, 27);
    p.setPen(AboutDialog::backgroundColour().lighter(125));
    p.drawLine(1, 1, 101, 1);
    p.drawLine(1, 1, 1, 26);
    p.setPen(AboutDialog::backgroundColour().darker(130));
    p.drawLine(2, 26, 101, 26);
    p.drawLine(101, 2, 101, 26);

    QFont font(QStringLiteral("Verdana"));
    font.setPixelSize(15);
    font.setBold(true);
    p.setFont(font);
    p.setRenderHint(QPainter::TextAntialiasing);
    p.setPen(kDarkGreen);
    p.drawText(QRect(0, 0, 103, 28), Qt::AlignCenter, QStringLiteral("Return"));
    return pixmap;
}

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
    setWindowModality(Qt::ApplicationModal);

    QPalette pal = palette();
    pal.setColor(QPalette::Window, backgroundColour());
    pal.setColor(QPalette::WindowText, Qt::black);
    setPalette(pal);
    setAutoFillBackground(true);

    auto px = [this](double twips) { return fromTwips(twips, this); };

    auto *picture = new QLabel(this);
    picture->setObjectName(QStringLiteral("picture"));
    picture->setPixmap(moorPicture());
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
    returnButton->setIcon(QIcon(returnPicture()));
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
