#include "favouritesdialog.h"

#include "designunits.h"
#include "pictures.h"

#include <QFrame>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSignalBlocker>

namespace {

const QString kNewUrl = QStringLiteral("http://");

void setTextKeepingCaret(QLineEdit *box, const QString &text)
{
    if (box->text() != text)
        box->setText(text);
}

} // namespace

FavouritesDialog::FavouritesDialog(Favourites &favourites, QWidget *parent)
    : QDialog(parent, Qt::Tool | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint),
      m_favs(favourites)
{
    setObjectName(QStringLiteral("favouritesDialog"));
    setWindowTitle(tr("Configure favourites"));
    setWindowModality(Qt::WindowModal);
    buildControls();
    load();
}

FavouritesDialog::~FavouritesDialog() = default;

void FavouritesDialog::buildControls()
{
    setFixedSize(fromTwips(QSizeF(3960, 5130), this));

    m_list = new QListWidget(this);
    m_list->setObjectName(QStringLiteral("favouritesList"));
    m_list->setGeometry(fromTwips(QRectF(105, 75, 3270, 2790), this));
    m_list->setSelectionMode(QAbstractItemView::SingleSelection);
    m_list->setAccessibleName(tr("Favourites"));
    connect(m_list, &QListWidget::itemSelectionChanged, this, &FavouritesDialog::showSelectedEntry);
    connect(m_list, &QListWidget::itemSelectionChanged, this, &FavouritesDialog::updateButtons);

    auto makeButton = [this](const char *name, const QString &caption, const QString &tip, const QRect &at) {
        auto *button = new QPushButton(caption, this);
        button->setObjectName(QString::fromLatin1(name));
        if (!tip.isEmpty())
            button->setToolTip(tip);
        // Captions longer than the design's room in the font at hand grow to the right.
        button->setGeometry(at.left(), at.top(), std::max(at.width(), button->sizeHint().width()), at.height());
        return button;
    };
    m_moveUpButton = makeButton("moveUpButton", QString(), tr("Move up"), fromTwips(QRectF(3435, 75, 420, 420), this));
    m_moveDownButton =
        makeButton("moveDownButton", QString(), tr("Move down"), fromTwips(QRectF(3450, 540, 420, 420), this));
    m_addButton = makeButton("addButton", tr("&Add new entry"), tr("Add a new empty url to the favourites list"),
                             fromTwips(QRectF(105, 2925, 1230, 315), this));
    m_deleteButton = makeButton("deleteButton", tr("&Delete current entry"), tr("Delete current entry"),
                                fromTwips(QRectF(1380, 2925, 1695, 315), this));
    // The two buttons share a row: the second starts after the first.
    if (m_deleteButton->x() <= m_addButton->geometry().right())
        m_deleteButton->move(m_addButton->geometry().right() + 4, m_deleteButton->y());
    for (auto [button, up] : {std::pair{m_moveUpButton, true}, std::pair{m_moveDownButton, false}}) {
        const QString arrow = up ? QStringLiteral("favourites/up") : QStringLiteral("favourites/down");
        button->setIcon(pictureIcon(arrow, QSize(24, 24)));
        button->setIconSize(QSize(24, 24));
        button->setAccessibleName(button->toolTip());
        button->setFixedSize(28, 28);
    }

    auto *nameLabel = new QLabel(tr("Name:"), this);
    nameLabel->setObjectName(QStringLiteral("nameLabel"));
    nameLabel->setGeometry(fromTwips(QRectF(135, 3315, 1095, 210), this));
    m_nameField = new QLineEdit(this);
    m_nameField->setObjectName(QStringLiteral("nameField"));
    m_nameField->setGeometry(fromTwips(QRectF(120, 3570, 3765, 285), this));
    m_nameField->setAccessibleName(tr("Name"));
    auto *urlLabel = new QLabel(tr("Url:"), this);
    urlLabel->setObjectName(QStringLiteral("urlLabel"));
    urlLabel->setGeometry(fromTwips(QRectF(135, 3930, 1095, 210), this));
    m_urlField = new QLineEdit(this);
    m_urlField->setObjectName(QStringLiteral("urlField"));
    m_urlField->setGeometry(fromTwips(QRectF(120, 4185, 3765, 285), this));
    m_urlField->setAccessibleName(tr("Url"));
    nameLabel->setBuddy(m_nameField);
    urlLabel->setBuddy(m_urlField);
    for (QLabel *label : {nameLabel, urlLabel})
        label->resize(std::max(label->width(), label->sizeHint().width()),
                      std::max(label->height(), label->sizeHint().height()));
    connect(m_nameField, &QLineEdit::textChanged, this, &FavouritesDialog::renameSelected);
    connect(m_urlField, &QLineEdit::textChanged, this, &FavouritesDialog::repointSelected);

    auto *separator = new QFrame(this);
    separator->setObjectName(QStringLiteral("separator"));
    separator->setFrameShape(QFrame::HLine);
    separator->setFrameShadow(QFrame::Sunken);
    separator->setGeometry(fromTwips(QRectF(90, 4545, 3825, 75), this));

    m_cancelButton =
        makeButton("cancelButton", tr("&Cancel"), QString(), fromTwips(QRectF(2160, 4710, 795, 345), this));
    m_okButton = makeButton("okButton", tr("&Ok"), QString(), fromTwips(QRectF(3075, 4710, 795, 345), this));
    // Keep the pair inside the dialog when the captions needed more room.
    const int right = width() - 6;
    if (m_okButton->geometry().right() > right) {
        m_okButton->move(right - m_okButton->width(), m_okButton->y());
        m_cancelButton->move(m_okButton->x() - 6 - m_cancelButton->width(), m_cancelButton->y());
    }
    m_okButton->setDefault(true);

    connect(m_moveUpButton, &QPushButton::clicked, this, &FavouritesDialog::moveUp);
    connect(m_moveDownButton, &QPushButton::clicked, this, &FavouritesDialog::moveDown);
    connect(m_addButton, &QPushButton::clicked, this, &FavouritesDialog::addEntry);
    connect(m_deleteButton, &QPushButton::clicked, this, &FavouritesDialog::deleteSelected);
    connect(m_okButton, &QPushButton::clicked, this, &FavouritesDialog::acceptEdits);
    connect(m_cancelButton, &QPushButton::clicked, this, &FavouritesDialog::reject);

    setTabOrder(m_list, m_moveUpButton);
    setTabOrder(m_moveUpButton, m_moveDownButton);
    setTabOrder(m_moveDownButton, m_addButton);
    setTabOrder(m_addButton, m_nameField);
    setTabOrder(m_nameField, m_urlField);
    setTabOrder(m_urlField, m_okButton);
    setTabOrder(m_okButton, m_cancelButton);
    setTabOrder(m_cancelButton, m_deleteButton);
}

void FavouritesDialog::load()
{
    m_editsEnabled = false;
    m_entries = m_favs.rows();
    for (const Favourite &favourite : std::as_const(m_entries))
        m_list->addItem(favourite.name);
    m_editsEnabled = true;
    if (m_list->count() > 0)
        m_list->setCurrentRow(0);
    updateButtons();
}

int FavouritesDialog::selectedRow() const
{
    const QList<QListWidgetItem *> selected = m_list->selectedItems();
    return selected.isEmpty() ? -1 : m_list->row(selected.first());
}

void FavouritesDialog::showSelectedEntry()
{
    const bool was = m_editsEnabled;
    m_editsEnabled = false;
    const int i = selectedRow();
    if (i >= 0 && i < m_entries.size()) {
        setTextKeepingCaret(m_urlField, m_entries.at(i).url);
        setTextKeepingCaret(m_nameField, m_entries.at(i).name);
    }
    m_editsEnabled = was;
}

void FavouritesDialog::renameSelected(const QString &text)
{
    const int i = selectedRow();
    if (i < 0 || !m_editsEnabled)
        return;
    m_entries[i].name = text;
    // The list shows the new name at once, at the same place, still selected.
    m_list->item(i)->setText(text);
}

void FavouritesDialog::repointSelected(const QString &text)
{
    const int i = selectedRow();
    if (i < 0 || !m_editsEnabled)
        return;
    m_entries[i].url = text;
}

void FavouritesDialog::swapRows(int a, int b)
{
    m_entries.swapItemsAt(a, b);
    m_list->item(a)->setText(m_entries.at(a).name);
    m_list->item(b)->setText(m_entries.at(b).name);
}

void FavouritesDialog::moveUp()
{
    const int i = selectedRow();
    if (i <= 0)
        return;
    swapRows(i, i - 1);
    m_list->setCurrentRow(i - 1);
}

void FavouritesDialog::moveDown()
{
    const int i = selectedRow();
    if (i < 0 || i >= m_list->count() - 1)
        return;
    swapRows(i, i + 1);
    m_list->setCurrentRow(i + 1);
}

void FavouritesDialog::addEntry()
{
    if (m_entries.size() >= Favourites::kCapacity)
        return;
    m_entries.append(Favourite{tr("New shortcut"), kNewUrl, {}, {}});
    m_list->addItem(m_entries.last().name);
    m_list->setCurrentRow(m_list->count() - 1);
    updateButtons();
    // The new entry is named next.
    m_nameField->setFocus(Qt::OtherFocusReason);
    m_nameField->selectAll();
}

void FavouritesDialog::deleteSelected()
{
    const int i = selectedRow();
    if (i < 0)
        return;
    m_entries.removeAt(i);
    {
        // Taking the item moves the selection to a neighbour, which would show
        // it in the boxes: nothing is selected afterwards, and the boxes keep
        // the deleted entry's texts.
        const QSignalBlocker blocker(m_list);
        delete m_list->takeItem(i);
        m_list->setCurrentRow(-1);
        m_list->clearSelection();
    }
    updateButtons();
}

void FavouritesDialog::acceptEdits()
{
    m_favs.replaceAll(m_entries);
    accept();
}

void FavouritesDialog::updateButtons()
{
    // The copy holds at most as many entries as the table.
    m_addButton->setEnabled(m_entries.size() < Favourites::kCapacity);
    // An entry moves only where there is room that way.
    const int row = selectedRow();
    m_moveUpButton->setEnabled(row > 0);
    m_moveDownButton->setEnabled(row >= 0 && row < m_list->count() - 1);
}

void FavouritesDialog::keyPressEvent(QKeyEvent *event)
{
    // Escape is bound to no button: a stray key press must not drop the edits.
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}
