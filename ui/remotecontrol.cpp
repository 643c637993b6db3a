#include "remotecontrol.h"

#include "core/favourites.h"
#include "core/listserver.h"
#include "core/options.h"
#include "core/settingsstore.h"
#include "designunits.h"
#include "pictures.h"
#include "platform/messages.h"
#include "platform/shell.h"
#include "staysontop.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QGuiApplication>
#include <QHash>
#include <QKeyEvent>
#include <QListWidget>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QScreen>
#include <QStyledItemDelegate>
#include <QWindow>

#include <functional>

namespace {

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
        // Return or Enter, on the keypad too.
        if (event->matches(QKeySequence::InsertParagraphSeparator)) {
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
        const bool space = event->key() == Qt::Key_Space && event->modifiers() == Qt::NoModifier;
        if ((space || event->matches(QKeySequence::InsertParagraphSeparator)) && currentRow() >= 0) {
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

} // namespace

RemoteControl::RemoteControl(Favourites &favourites, SettingsStore &settings, Shell &shell, Messages &messages,
                             QWidget *parent)
    : QWidget(parent, Qt::Window | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint),
      m_favs(favourites),
      m_settings(settings),
      m_shell(shell),
      m_messages(messages)
{
    setObjectName(QStringLiteral("remoteControl"));
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(tr("DorOdor - remote control"));
    setWindowIcon(pictureIcon(QStringLiteral("remote/icon"), QSize(16, 16)));
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
    // Every modal window of the program that opens while this one exists.
    qApp->installEventFilter(this);
}

RemoteControl::~RemoteControl() = default;

void RemoteControl::buildControls()
{
    // The design is 2220 x 4080 twips: 148 x 272 pixels at 96 DPI.
    setFixedSize(fromTwips(QSizeF(2220, 4080), this));

    auto *list = new FavouriteList(this);
    list->picked = [this](int row) { pickEntry(row); };
    m_list = list;
    m_list->setObjectName(QStringLiteral("favouritesList"));
    m_list->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(m_list, &QListWidget::customContextMenuRequested, this, &RemoteControl::showEntryMenu);
    m_list->setAccessibleName(tr("Favourites"));
    m_list->setItemDelegate(new FavouriteDelegate(m_list));
    m_list->setGeometry(fromTwips(QRectF(90, 315, 2055, 3180), this));
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
    const QRect checkArea = fromTwips(QRectF(135, 3660, 1170, 195), this);
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
    const QRect showMainArea = fromTwips(QRectF(1365, 3585, 360, 360), this);
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
        const char *picture;
        QRect at;
        std::function<void()> click;
    };
    // The window has no minimised state of its own: Minimize closes it, as Close does.
    const Picture pictures[] = {
        {"closeButton", tr("Close"), "remote/close", fromTwips(QRectF(1770, 3600, 315, 315), this),
         [this] { close(); }},
        {"minimizeButton", tr("Minimize"), "remote/minimize", fromTwips(QRectF(1995, 135, 120, 105), this),
         [this] { close(); }},
        {"showMainWindowButton", tr("Show Mod List"), "remote/showmodlist", showMainArea,
         [this] { Q_EMIT showMainWindowRequested(); }},
    };
    QHash<QString, QWidget *> buttons;
    for (const Picture &picture : pictures) {
        auto *button = new PictureButton(
            picturePixmap(QString::fromLatin1(picture.picture), picture.at.size(), devicePixelRatioF()), this);
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
    // A modal dialog or message box would open under this window and hide its
    // fields and buttons: while this one stays on top, so does the dialog (it
    // opens after it, so above it). The dialog blocks only its own window, so
    // this one can still be moved out of the way.
    if (event->type() == QEvent::Show && watched != this && watched->isWidgetType()) {
        auto *shown = static_cast<QWidget *>(watched);
        if (shown->isWindow() && shown->isModal() && isVisible() && m_alwaysOnTopBox->isChecked())
            setStaysOnTop(shown, true);
    }
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
    // The default browser cannot open the built-in list's own addresses, so
    // those open in the program whatever the option says.
    // Nor does an address that is not a web address go to the browser: the
    // program refuses it and says so.
    if (!Options::isNonZero(m_settings, Options::kUseDefaultBrowser) || ListServer::isBuiltIn(url) ||
        !ListServer::isListAddress(url)) {
        Q_EMIT openRequested(url);
        return;
    }
    if (!m_shell.openUrl(url)) {
        m_messages.show(this, QMessageBox::Warning, tr("DorOdor - remote control"),
                        tr("The default web browser could not be started for this address:\n%1").arg(url),
                        QMessageBox::Ok);
    }
}

void RemoteControl::setAlwaysOnTop(bool checked)
{
    setStaysOnTop(this, checked);
    // Back on top, but still under an open modal dialog.
    if (QWidget *modal = QApplication::activeModalWidget(); checked && modal)
        setStaysOnTop(modal, true);
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
    // The panel is drawn at the window's size, which follows the screen's DPI,
    // and again when the window moves to a screen of another pixel density.
    if (m_background.isNull() || m_background.devicePixelRatio() != devicePixelRatioF())
        m_background = picturePixmap(QStringLiteral("remote/background"), size(), devicePixelRatioF());
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

void RemoteControl::showEntryMenu(const QPoint &at)
{
    const QListWidgetItem *item = m_list->itemAt(at);
    if (!item)
        return;
    const int row = m_list->row(item);
    if (row < 0 || row >= m_favs.count())
        return;
    const QString game = m_gameByPage.value(m_favs.row(row).url);
    auto *menu = new QMenu(this);
    menu->setObjectName(QStringLiteral("favouriteMenu"));
    menu->setAttribute(Qt::WA_DeleteOnClose);
    menu->addAction(tr("&Open"), this, [this, row] { openFavourite(row); });
    if (!game.isEmpty())
        menu->addAction(tr("&Play %1").arg(game), this, [this, game] { Q_EMIT playRequested(game); });
    menu->popup(m_list->viewport()->mapToGlobal(at));
}
