#include "frm_configfav.h"

#include <QFrame>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>

namespace {

const QString kNewName = QStringLiteral("New shortcut");
const QString kNewUrl = QStringLiteral("http://");

// The dialog's design is in twips at 15 twips per pixel.
QRect fromTwips(int left, int top, int width, int height)
{
    return QRect(left / 15, top / 15, width / 15, height / 15);
}

// 24 x 24: a blue arrow pointing up, or down when flipped.
QPixmap arrowPicture(bool up)
{
    QPixmap pm(24, 24);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    QPainterPath arrow;
    arrow.moveTo(12, 2);
    arrow.lineTo(22, 12);
    arrow.lineTo(16, 12);
    arrow.lineTo(16, 22);
    arrow.lineTo(8, 22);
    arrow.lineTo(8, 12);
    arrow.lineTo(2, 12);
    arrow.closeSubpath();
    if (!up)
        arrow = QTransform(1, 0, 0, -1, 0, 24).map(arrow);
    QLinearGradient fill(0, 0, 24, 24);
    fill.setColorAt(0.0, QColor(0x6A, 0xA8, 0xF0));
    fill.setColorAt(1.0, QColor(0x1A, 0x4C, 0xA0));
    p.setPen(QPen(QColor(0x10, 0x2A, 0x60), 1));
    p.setBrush(fill);
    p.drawPath(arrow);
    return pm;
}

void setTextKeepingCaret(QLineEdit *box, const QString &text)
{
    if (box->text() != text)
        box->setText(text);
}

} // namespace

frm_configfav::frm_configfav(Favourites &favourites, QWidget *parent)
    : QDialog(parent, Qt::Tool | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint),
      m_favs(favourites)
{
    setObjectName(QStringLiteral("frm_configfav"));
    setWindowTitle(tr("Configure favourites"));
    setModal(true);
    buildControls();
    Form_Load();
}

frm_configfav::~frm_configfav() = default;

void frm_configfav::buildControls()
{
    setFixedSize(3960 / 15, 5130 / 15);

    m_list1 = new QListWidget(this);
    m_list1->setObjectName(QStringLiteral("List1"));
    m_list1->setGeometry(fromTwips(105, 75, 3270, 2790));
    m_list1->setSelectionMode(QAbstractItemView::SingleSelection);
    m_list1->setAccessibleName(tr("Favourites"));
    connect(m_list1, &QListWidget::itemSelectionChanged, this, &frm_configfav::List1_Click);

    auto makeButton = [this](const char *name, const QString &caption, const QString &tip, const QRect &at) {
        auto *button = new QPushButton(caption, this);
        button->setObjectName(QString::fromLatin1(name));
        if (!tip.isEmpty())
            button->setToolTip(tip);
        // Captions longer than the design's room in the font at hand grow to the right.
        button->setGeometry(at.left(), at.top(), std::max(at.width(), button->sizeHint().width()), at.height());
        return button;
    };
    m_command1 = makeButton("Command1", QString(), tr("Move up"), fromTwips(3435, 75, 420, 420));
    m_command2 = makeButton("Command2", QString(), tr("Move down"), fromTwips(3450, 540, 420, 420));
    m_command3 = makeButton("Command3", tr("&Add new entry"), tr("Add a new empty url to the favourites list"),
                            fromTwips(105, 2925, 1230, 315));
    m_command6 = makeButton("Command6", tr("&Delete current entry"), tr("Delete current entry"),
                            fromTwips(1380, 2925, 1695, 315));
    // The two buttons share a row: the second starts after the first.
    if (m_command6->x() <= m_command3->geometry().right())
        m_command6->move(m_command3->geometry().right() + 4, m_command6->y());
    for (auto [button, up] : {std::pair{m_command1, true}, std::pair{m_command2, false}}) {
        button->setIcon(QIcon(arrowPicture(up)));
        button->setIconSize(QSize(24, 24));
        button->setAccessibleName(button->toolTip());
        button->setFixedSize(28, 28);
    }

    auto *label1 = new QLabel(tr("Name:"), this);
    label1->setObjectName(QStringLiteral("Label1"));
    label1->setGeometry(fromTwips(135, 3315, 1095, 210));
    m_friendlyname = new QLineEdit(this);
    m_friendlyname->setObjectName(QStringLiteral("friendlyname"));
    m_friendlyname->setGeometry(fromTwips(120, 3570, 3765, 285));
    m_friendlyname->setAccessibleName(tr("Name"));
    auto *label2 = new QLabel(tr("Url:"), this);
    label2->setObjectName(QStringLiteral("Label2"));
    label2->setGeometry(fromTwips(135, 3930, 1095, 210));
    m_url = new QLineEdit(this);
    m_url->setObjectName(QStringLiteral("url"));
    m_url->setGeometry(fromTwips(120, 4185, 3765, 285));
    m_url->setAccessibleName(tr("Url"));
    label1->setBuddy(m_friendlyname);
    label2->setBuddy(m_url);
    for (QLabel *label : {label1, label2})
        label->resize(std::max(label->width(), label->sizeHint().width()), std::max(label->height(), label->sizeHint().height()));
    connect(m_friendlyname, &QLineEdit::textChanged, this, &frm_configfav::friendlyname_Change);
    connect(m_url, &QLineEdit::textChanged, this, &frm_configfav::url_Change);

    auto *frame1 = new QFrame(this);
    frame1->setObjectName(QStringLiteral("Frame1"));
    frame1->setFrameShape(QFrame::HLine);
    frame1->setFrameShadow(QFrame::Sunken);
    frame1->setGeometry(fromTwips(90, 4545, 3825, 75));

    m_command5 = makeButton("Command5", tr("&Cancel"), QString(), fromTwips(2160, 4710, 795, 345));
    m_command4 = makeButton("Command4", tr("&Ok"), QString(), fromTwips(3075, 4710, 795, 345));
    // Keep the pair inside the dialog when the captions needed more room.
    const int right = width() - 6;
    if (m_command4->geometry().right() > right) {
        m_command4->move(right - m_command4->width(), m_command4->y());
        m_command5->move(m_command4->x() - 6 - m_command5->width(), m_command5->y());
    }
    m_command4->setDefault(true);

    connect(m_command1, &QPushButton::clicked, this, &frm_configfav::Command1_Click);
    connect(m_command2, &QPushButton::clicked, this, &frm_configfav::Command2_Click);
    connect(m_command3, &QPushButton::clicked, this, &frm_configfav::Command3_Click);
    connect(m_command6, &QPushButton::clicked, this, &frm_configfav::Command6_Click);
    connect(m_command4, &QPushButton::clicked, this, &frm_configfav::Command4_Click);
    connect(m_command5, &QPushButton::clicked, this, &frm_configfav::Command5_Click);

    setTabOrder(m_list1, m_command1);
    setTabOrder(m_command1, m_command2);
    setTabOrder(m_command2, m_command3);
    setTabOrder(m_command3, m_friendlyname);
    setTabOrder(m_friendlyname, m_url);
    setTabOrder(m_url, m_command4);
    setTabOrder(m_command4, m_command5);
    setTabOrder(m_command5, m_command6);
}

void frm_configfav::Form_Load()
{
    m_editsenabled = false;
    m_workfavs = m_favs.rows();
    for (const Favourite &favourite : std::as_const(m_workfavs))
        m_list1->addItem(favourite.name);
    m_editsenabled = true;
    if (m_list1->count() > 0)
        m_list1->setCurrentRow(0);
    updateButtons();
}

int frm_configfav::selectedRow() const
{
    const QList<QListWidgetItem *> selected = m_list1->selectedItems();
    return selected.isEmpty() ? -1 : m_list1->row(selected.first());
}

void frm_configfav::List1_Click()
{
    const bool was = m_editsenabled;
    m_editsenabled = false;
    const int i = selectedRow();
    if (i >= 0 && i < m_workfavs.size()) {
        setTextKeepingCaret(m_url, m_workfavs.at(i).url);
        setTextKeepingCaret(m_friendlyname, m_workfavs.at(i).name);
    }
    m_editsenabled = was;
}

void frm_configfav::friendlyname_Change(const QString &text)
{
    const int i = selectedRow();
    if (i < 0 || !m_editsenabled)
        return;
    m_workfavs[i].name = text;
    // The list shows the new name at once, at the same place, still selected.
    m_list1->item(i)->setText(text);
}

void frm_configfav::url_Change(const QString &text)
{
    const int i = selectedRow();
    if (i < 0 || !m_editsenabled)
        return;
    m_workfavs[i].url = text;
}

void frm_configfav::swapRows(int a, int b)
{
    m_workfavs.swapItemsAt(a, b);
    m_list1->item(a)->setText(m_workfavs.at(a).name);
    m_list1->item(b)->setText(m_workfavs.at(b).name);
}

void frm_configfav::Command1_Click()
{
    const int i = selectedRow();
    if (i <= 0)
        return;
    swapRows(i, i - 1);
    m_list1->setCurrentRow(i - 1);
}

void frm_configfav::Command2_Click()
{
    const int i = selectedRow();
    if (i < 0 || i >= m_list1->count() - 1)
        return;
    swapRows(i, i + 1);
    m_list1->setCurrentRow(i + 1);
}

void frm_configfav::Command3_Click()
{
    if (m_workfavs.size() >= Favourites::kRows)
        return;
    m_workfavs.append(Favourite{kNewName, kNewUrl, {}, {}});
    m_list1->addItem(kNewName);
    m_list1->setCurrentRow(m_list1->count() - 1);
    updateButtons();
}

void frm_configfav::Command6_Click()
{
    const int i = selectedRow();
    if (i < 0)
        return;
    m_workfavs.removeAt(i);
    delete m_list1->takeItem(i);
    // Nothing is selected afterwards; the boxes keep the deleted entry's texts.
    m_list1->clearSelection();
    updateButtons();
}

void frm_configfav::Command4_Click()
{
    m_favs.replaceAll(m_workfavs);
    accept();
}

void frm_configfav::Command5_Click()
{
    reject();
}

void frm_configfav::updateButtons()
{
    // The copy holds at most as many entries as the table.
    m_command3->setEnabled(m_workfavs.size() < Favourites::kRows);
}

void frm_configfav::keyPressEvent(QKeyEvent *event)
{
    // Escape is bound to no button: a stray key press must not drop the edits.
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}
