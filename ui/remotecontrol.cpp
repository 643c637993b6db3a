#include "remotecontrol.h"

#include "core/favourites.h"
#include "core/options.h"
#include "core/settingsstore.h"
#include "platform/messages.h"
#include "platform/shell.h"
#include "staysontop.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QGuiApplication>
#include <QHash>
#include <QKeyEvent>
#include <QListWidget>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QScreen>
#include <QStyledItemDelegate>
#include <QWindow>

#include <functional>

namespace {

const QString kTitle = QStringLiteral("DorOdor - remote control");

// The window's design is in twips at 15 twips per pixel.
QRect fromTwips(int left, int top, int width, int height)
{
    return QRect(left / 15, top / 15, width / 15, height / 15);
}

const QColor kSilver(0xC0, 0xC0, 0xC0);
const QColor kListBack(0x2B, 0x2B, 0x2B);
const QColor kGreen(0x00, 0xFF, 0x00);

// A picture that acts as a button: no frame, a hand pointer. The mouse leaves
// the focus where it is; Tab reaches it, and Space or Enter presses it. The
// window draws the focus mark around it, since the smallest picture has no room.
class PictureButton final : public QAbstractButton
{
public:
    PictureButton(const QPixmap &picture, QWidget *parent) : QAbstractButton(parent), m_picture(picture)
    {
        setFocusPolicy(Qt::TabFocus);
        setCursor(Qt::PointingHandCursor);
        setFixedSize(picture.size() / picture.devicePixelRatio());
    }

protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter p(this);
        // Pressed pictures sink by a pixel, as a button does.
        p.drawPixmap(isDown() ? QPoint(1, 1) : QPoint(0, 0), m_picture);
    }

    void keyPressEvent(QKeyEvent *event) override
    {
        const bool enter = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
        if (enter && (event->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier) {
            animateClick();
            return;
        }
        QAbstractButton::keyPressEvent(event);
    }

    void focusInEvent(QFocusEvent *event) override
    {
        QAbstractButton::focusInEvent(event);
        parentWidget()->update();
    }

    void focusOutEvent(QFocusEvent *event) override
    {
        QAbstractButton::focusOutEvent(event);
        parentWidget()->update();
    }

private:
    QPixmap m_picture;
};

// The favourites list. A click picks an entry by selecting it. The keys only
// move the current entry, and Enter or Space picks it, so that walking through
// the list with the arrow keys or by typing opens nothing on the way.
class FavouriteList final : public QListWidget
{
public:
    using QListWidget::QListWidget;

    std::function<void(int row)> picked;

protected:
    void keyPressEvent(QKeyEvent *event) override
    {
        const int key = event->key();
        const bool pickKey = key == Qt::Key_Return || key == Qt::Key_Enter || key == Qt::Key_Space;
        if (pickKey && (event->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier && currentRow() >= 0) {
            if (picked)
                picked(currentRow());
            event->accept();
            return;
        }
        // Without selection for the key's length: the view then moves only its
        // current entry, for the arrows and for typed letters alike.
        setSelectionMode(QAbstractItemView::NoSelection);
        QListWidget::keyPressEvent(event);
        setSelectionMode(QAbstractItemView::SingleSelection);
    }
};

// Marks the list's current entry plainly, green on the dark list and black on
// the green selection: the keys move it, and it is what Enter opens.
class FavouriteDelegate final : public QStyledItemDelegate
{
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const override
    {
        QStyleOptionViewItem plain = option;
        plain.state &= ~QStyle::State_HasFocus;
        QStyledItemDelegate::paint(painter, plain, index);
        if (!(option.state & QStyle::State_HasFocus))
            return;
        painter->save();
        const bool selected = option.state & QStyle::State_Selected;
        painter->setPen(QPen(selected ? QColor(Qt::black) : kGreen, 1, Qt::DotLine));
        painter->drawRect(option.rect.adjusted(0, 0, -1, -1));
        painter->restore();
    }
};

QPixmap blank(int width, int height)
{
    QPixmap pm(width, height);
    pm.fill(Qt::transparent);
    return pm;
}

// 148 x 272: a dark panel with a title strip, a well for the list and a black
// strip for the controls at the bottom.
QPixmap backgroundPicture()
{
    QPixmap pm(148, 272);
    QPainter p(&pm);
    QLinearGradient body(0, 0, 148, 272);
    body.setColorAt(0.0, QColor(0x44, 0x48, 0x4E));
    body.setColorAt(1.0, QColor(0x18, 0x19, 0x1C));
    p.fillRect(pm.rect(), body);

    // Raised outer edge.
    p.setPen(QColor(0x8A, 0x90, 0x98));
    p.drawLine(0, 0, 146, 0);
    p.drawLine(0, 0, 0, 270);
    p.setPen(QColor(0x05, 0x05, 0x05));
    p.drawLine(147, 0, 147, 271);
    p.drawLine(0, 271, 147, 271);

    // Title strip with the window's name; the minimize picture sits at its right.
    QLinearGradient strip(0, 3, 0, 18);
    strip.setColorAt(0.0, QColor(0x2A, 0x2C, 0x30));
    strip.setColorAt(1.0, QColor(0x10, 0x10, 0x12));
    p.fillRect(QRect(3, 3, 142, 15), strip);
    p.setPen(QColor(0x00, 0x90, 0x00));
    p.drawLine(3, 18, 144, 18);
    QFont font = QGuiApplication::font();
    font.setPixelSize(9);
    font.setBold(true);
    p.setFont(font);
    p.setPen(kSilver);
    p.drawText(QRect(7, 3, 118, 15), Qt::AlignVCenter | Qt::AlignLeft, QStringLiteral("remote control"));

    // Sunken well around the list.
    const QRect well = fromTwips(90, 315, 2055, 3180).adjusted(-2, -2, 1, 1);
    p.setPen(QColor(0x08, 0x08, 0x08));
    p.drawLine(well.topLeft(), well.topRight());
    p.drawLine(well.topLeft(), well.bottomLeft());
    p.setPen(QColor(0x70, 0x74, 0x7A));
    p.drawLine(well.bottomLeft(), well.bottomRight());
    p.drawLine(well.topRight(), well.bottomRight());

    // Black strip behind "Always on top" and the two lower pictures.
    p.setRenderHint(QPainter::Antialiasing);
    QPainterPath panel;
    panel.addRoundedRect(QRectF(4.5, 236.5, 139, 31), 4, 4);
    p.fillPath(panel, Qt::black);
    p.setPen(QColor(0x5A, 0x5E, 0x64));
    p.drawPath(panel);
    return pm;
}

// 21 x 21: a red knob with a white cross.
QPixmap closePicture()
{
    QPixmap pm = blank(21, 21);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    QRadialGradient knob(8, 7, 12);
    knob.setColorAt(0.0, QColor(0xF0, 0x60, 0x50));
    knob.setColorAt(1.0, QColor(0x80, 0x14, 0x10));
    p.setBrush(knob);
    p.setPen(QPen(QColor(0x30, 0x00, 0x00), 1));
    p.drawEllipse(QRectF(1, 1, 19, 19));
    p.setPen(QPen(Qt::white, 2, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(7, 7), QPointF(14, 14));
    p.drawLine(QPointF(14, 7), QPointF(7, 14));
    return pm;
}

// 8 x 7: a bar at the bottom, the usual sign for minimising.
QPixmap minimizePicture()
{
    QPixmap pm = blank(8, 7);
    QPainter p(&pm);
    p.fillRect(QRect(0, 4, 8, 3), kSilver);
    p.fillRect(QRect(0, 6, 8, 1), QColor(0x60, 0x60, 0x60));
    return pm;
}

// 24 x 24: a small window holding a tree of folders and links.
QPixmap showModListPicture()
{
    QPixmap pm = blank(24, 24);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(kSilver, 1));
    p.setBrush(QColor(0x20, 0x20, 0x20));
    p.drawRoundedRect(QRectF(1.5, 2.5, 21, 19), 2, 2);
    p.fillRect(QRectF(2, 3, 20, 4), QColor(0x00, 0xB0, 0x00));
    p.setRenderHint(QPainter::Antialiasing, false);
    p.setPen(kSilver);
    p.drawLine(6, 10, 6, 18);
    p.drawLine(6, 14, 9, 14);
    p.drawLine(6, 18, 9, 18);
    p.fillRect(QRect(4, 9, 4, 3), QColor(0xE0, 0xC0, 0x40));
    p.fillRect(QRect(10, 13, 9, 2), kGreen);
    p.fillRect(QRect(10, 17, 7, 2), kGreen);
    return pm;
}

// 16 x 16 window icon: a remote with a green list.
QIcon remoteIcon()
{
    QPixmap pm = blank(16, 16);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(QColor(0x90, 0x90, 0x90), 1));
    p.setBrush(QColor(0x2B, 0x2B, 0x2B));
    p.drawRoundedRect(QRectF(2.5, 0.5, 11, 15), 2, 2);
    p.setRenderHint(QPainter::Antialiasing, false);
    for (int y : {3, 6, 9})
        p.fillRect(QRect(5, y, 6, 2), kGreen);
    p.fillRect(QRect(10, 12, 2, 2), QColor(0xE0, 0x40, 0x30));
    return QIcon(pm);
}

} // namespace

RemoteControl::RemoteControl(Favourites &favourites, SettingsStore &settings, Shell &shell, Messages &messages,
                             QWidget *parent)
    : QWidget(parent, Qt::Window | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint),
      m_favs(favourites), m_settings(settings), m_shell(shell), m_messages(messages)
{
    setObjectName(QStringLiteral("remoteControl"));
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(kTitle);
    setWindowIcon(remoteIcon());
    buildControls();

    // Near the top right corner of the screen, out of the main window's way.
    if (const QScreen *screen = QGuiApplication::primaryScreen()) {
        const QRect area = screen->availableGeometry();
        move(area.right() - width() - 24, area.top() + 48);
    }

    connect(&m_favs, &Favourites::added, this, &RemoteControl::appendFavourite);
    connect(&m_favs, &Favourites::replaced, this, &RemoteControl::fillList);
    setStaysOnTop(this, true);
    fillList();
}

RemoteControl::~RemoteControl() = default;

void RemoteControl::buildControls()
{
    m_background = backgroundPicture();
    setFixedSize(m_background.size());

    auto *list = new FavouriteList(this);
    list->picked = [this](int row) { pickEntry(row); };
    m_list = list;
    m_list->setObjectName(QStringLiteral("favouritesList"));
    m_list->setAccessibleName(tr("Favourites"));
    m_list->setItemDelegate(new FavouriteDelegate(m_list));
    m_list->setGeometry(fromTwips(90, 315, 2055, 3180));
    m_list->setFrameShape(QFrame::NoFrame);
    m_list->setSelectionMode(QAbstractItemView::SingleSelection);
    m_list->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_list->setTextElideMode(Qt::ElideRight);
    QPalette listColours = m_list->palette();
    listColours.setColor(QPalette::Base, kListBack);
    listColours.setColor(QPalette::Text, kGreen);
    listColours.setColor(QPalette::Highlight, kGreen);
    listColours.setColor(QPalette::HighlightedText, Qt::black);
    m_list->setPalette(listColours);
    m_list->viewport()->installEventFilter(this);
    connect(m_list, &QListWidget::itemSelectionChanged, this, &RemoteControl::openSelected);
    connect(m_list, &QListWidget::clicked, this, [this](const QModelIndex &index) { openClickedAgain(index.row()); });

    m_alwaysOnTopBox = new QCheckBox(tr("Always on top"), this);
    m_alwaysOnTopBox->setObjectName(QStringLiteral("alwaysOnTopBox"));
    const QRect checkArea = fromTwips(135, 3660, 1170, 195);
    QFont small = font();
    small.setFamilies({QStringLiteral("Small Fonts"), small.family()});
    small.setPointSizeF(6.75);
    small.setWeight(QFont::Normal);
    m_alwaysOnTopBox->setFont(small);
    QPalette checkColours = m_alwaysOnTopBox->palette();
    checkColours.setColor(QPalette::Window, Qt::black);
    checkColours.setColor(QPalette::Button, Qt::black);
    checkColours.setColor(QPalette::WindowText, kSilver);
    checkColours.setColor(QPalette::ButtonText, kSilver);
    checkColours.setColor(QPalette::Base, kListBack);
    checkColours.setColor(QPalette::Text, kGreen);
    m_alwaysOnTopBox->setPalette(checkColours);
    m_alwaysOnTopBox->setAutoFillBackground(true);
    m_alwaysOnTopBox->setCursor(Qt::PointingHandCursor);
    // Wide enough for its text, but clear of the picture beside it: where the
    // small font is missing, a smaller size of the stand-in font has to fit.
    const QRect showMainArea = fromTwips(1365, 3585, 360, 360);
    const int room = showMainArea.left() - checkArea.left() - 1;
    while (m_alwaysOnTopBox->sizeHint().width() > room && small.pointSizeF() > 5.0) {
        small.setPointSizeF(small.pointSizeF() - 0.25);
        m_alwaysOnTopBox->setFont(small);
    }
    const int checkWidth = std::clamp(m_alwaysOnTopBox->sizeHint().width(), checkArea.width(), room);
    const int checkHeight = std::max(checkArea.height(), m_alwaysOnTopBox->sizeHint().height());
    m_alwaysOnTopBox->setGeometry(checkArea.left(), checkArea.center().y() - checkHeight / 2, checkWidth, checkHeight);
    m_alwaysOnTopBox->setChecked(true);
    connect(m_alwaysOnTopBox, &QCheckBox::toggled, this, &RemoteControl::setAlwaysOnTop);

    struct Picture
    {
        const char *name;
        QString tip;
        QPixmap picture;
        QRect at;
        std::function<void()> click;
    };
    // The window has no minimised state of its own: Minimize closes it, as Close does.
    const Picture pictures[] = {
        {"closeButton", tr("Close"), closePicture(), fromTwips(1770, 3600, 315, 315), [this] { close(); }},
        {"minimizeButton", tr("Minimize"), minimizePicture(), fromTwips(1995, 135, 120, 105), [this] { close(); }},
        {"showMainWindowButton", tr("Show Mod List"), showModListPicture(), showMainArea,
         [this] { Q_EMIT showMainWindowRequested(); }},
    };
    QHash<QString, QWidget *> buttons;
    for (const Picture &picture : pictures) {
        auto *button = new PictureButton(picture.picture, this);
        button->setObjectName(QString::fromLatin1(picture.name));
        button->setToolTip(picture.tip);
        button->setAccessibleName(picture.tip);
        button->move(picture.at.topLeft());
        connect(button, &QAbstractButton::clicked, this, picture.click);
        buttons.insert(button->objectName(), button);
    }

    // The list first and the check box second; the pictures after them in
    // reading order: Minimize at the top, then Show Mod List and Close.
    setTabOrder(m_list, m_alwaysOnTopBox);
    setTabOrder(m_alwaysOnTopBox, buttons.value(QStringLiteral("minimizeButton")));
    setTabOrder(buttons.value(QStringLiteral("minimizeButton")), buttons.value(QStringLiteral("showMainWindowButton")));
    setTabOrder(buttons.value(QStringLiteral("showMainWindowButton")), buttons.value(QStringLiteral("closeButton")));
    m_list->setFocus();
}

void RemoteControl::showRestored()
{
    showNormal();
    raise();
    activateWindow();
}

int RemoteControl::selectedRow() const
{
    const QList<QListWidgetItem *> selected = m_list->selectedItems();
    return selected.isEmpty() ? -1 : m_list->row(selected.first());
}

void RemoteControl::openSelected()
{
    const int row = selectedRow();
    if (row >= 0)
        openFavourite(row);
}

void RemoteControl::pickEntry(int row)
{
    // Picking the selected entry opens it again, as clicking it does.
    if (row == selectedRow())
        openFavourite(row);
    else
        m_list->setCurrentRow(row);
}

void RemoteControl::openClickedAgain(int row)
{
    // A click that changed the selection has opened the entry already.
    if (row >= 0 && row == m_rowAtPress && row == selectedRow())
        openFavourite(row);
    m_rowAtPress = -1;
}

bool RemoteControl::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_list->viewport() && event->type() == QEvent::MouseButtonPress)
        m_rowAtPress = selectedRow();
    return QWidget::eventFilter(watched, event);
}

void RemoteControl::openFavourite(int row)
{
    if (row < 0 || row >= m_favs.count())
        return;
    const QString url = m_favs.row(row).url;
    // Read at every pick: a change made in the options dialog counts at once.
    if (!Options::isNonZero(m_settings, Options::kDefBrw)) {
        Q_EMIT openRequested(url);
        return;
    }
    if (!m_shell.openUrl(url)) {
        m_messages.show(this, QMessageBox::Warning, kTitle,
                        tr("The default web browser could not be started for this address:\n%1").arg(url),
                        QMessageBox::Ok);
    }
}

void RemoteControl::setAlwaysOnTop(bool checked)
{
    setStaysOnTop(this, checked);
}

void RemoteControl::appendFavourite(int row)
{
    if (row == m_list->count()) {
        m_list->addItem(m_favs.row(row).name);
        return;
    }
    fillList();
}

void RemoteControl::fillList()
{
    m_list->clear();
    m_list->addItems(m_favs.names());
}

void RemoteControl::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    p.drawPixmap(0, 0, m_background);
    // The focus mark of a picture button, drawn around it on the background.
    QWidget *focused = focusWidget();
    if (focused && focused->hasFocus() && qobject_cast<QAbstractButton *>(focused) && focused != m_alwaysOnTopBox) {
        p.setRenderHint(QPainter::Antialiasing);
        p.setPen(QPen(kGreen, 1, Qt::DotLine));
        p.setBrush(Qt::NoBrush);
        p.drawRoundedRect(QRectF(focused->geometry()).adjusted(-2.5, -2.5, 2.5, 2.5), 2, 2);
    }
}

// Dragging the background with the left button alone moves the window: by the
// window system where it can, else by following the mouse.
void RemoteControl::mousePressEvent(QMouseEvent *event)
{
    // A press with no other button held starts afresh: a move by the window
    // system may have swallowed the last release.
    if (event->buttons() == event->button())
        m_drag = Drag::None;
    if (m_drag == Drag::None) {
        m_dragFrom = event->globalPosition().toPoint();
        m_windowFrom = pos();
    }
    event->accept();
}

void RemoteControl::mouseMoveEvent(QMouseEvent *event)
{
    if (event->buttons() != Qt::LeftButton) {
        event->ignore();
        return;
    }
    if (m_drag == Drag::None) {
        QWindow *handle = windowHandle();
        m_drag = handle && handle->startSystemMove() ? Drag::System : Drag::Manual;
    }
    if (m_drag == Drag::Manual)
        move(m_windowFrom + event->globalPosition().toPoint() - m_dragFrom);
    event->accept();
}

void RemoteControl::mouseReleaseEvent(QMouseEvent *event)
{
    if (event->buttons() == Qt::NoButton)
        m_drag = Drag::None;
    event->accept();
}
