#include "frm_find.h"

#include "core/modtreemodel.h"
#include "core/textlines.h"

#include <QAbstractProxyModel>
#include "ui/main/twips.h"

#include <QBoxLayout>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QTreeView>

#include <algorithm>
#include <utility>

namespace {

char asciiUpper(char c)
{
    return (c >= 'a' && c <= 'z') ? char(c - ('a' - 'A')) : c;
}

// Whether upper-cased ASCII `needle` occurs in `haystack` once that is upper-cased.
bool containsUpperAscii(QByteArrayView haystack, QByteArrayView needle)
{
    const qsizetype n = needle.size();
    if (n == 0)
        return true;
    const char first = needle[0];
    const char *h = haystack.data();
    for (qsizetype i = 0, last = haystack.size() - n; i <= last; ++i) {
        if (asciiUpper(h[i]) != first)
            continue;
        qsizetype j = 1;
        while (j < n && asciiUpper(h[i + j]) == needle[j])
            ++j;
        if (j == n)
            return true;
    }
    return false;
}

// The search text upper-cased once per press. Node texts stay bytes: an ASCII
// name is compared in place, and only a name with other characters is decoded.
class Needle
{
public:
    explicit Needle(const QString &text) : m_upper(text.toUpper())
    {
        m_ascii = true;
        for (QChar c : std::as_const(m_upper)) {
            if (c.unicode() >= 0x80) {
                m_ascii = false;
                break;
            }
        }
        if (m_ascii)
            m_bytes = m_upper.toLatin1();
    }

    const QString &text() const { return m_upper; }

    bool foundIn(QByteArrayView haystack) const
    {
        if (isAscii(haystack)) {
            // Upper-cased ASCII stays ASCII, so it cannot hold any other character.
            return m_ascii && containsUpperAscii(haystack, m_bytes);
        }
        return decodeText(haystack).toUpper().contains(m_upper);
    }

private:
    QString m_upper;
    QByteArray m_bytes;
    bool m_ascii = true;
};

} // namespace

frm_find::frm_find(QTreeView *tree, const ModTreeModel &model, QWidget *parent)
    : QDialog(parent), m_tree(tree), m_model(model)
{
    setObjectName(QStringLiteral("frm_find"));
    setWindowTitle(tr("Find"));
    setWindowFlags(Qt::Tool | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    setAttribute(Qt::WA_DeleteOnClose);
    setModal(false);

    auto *label1 = new QLabel(tr("Text to find:"), this);
    label1->setObjectName(QStringLiteral("Label1"));
    m_text1 = new QLineEdit(this);
    m_text1->setObjectName(QStringLiteral("Text1"));
    label1->setBuddy(m_text1);
    m_findNext = new QPushButton(tr("&Find next"), this);
    m_findNext->setObjectName(QStringLiteral("Command1"));
    m_findNext->setDefault(true);
    auto *back = new QPushButton(tr("&Return"), this);
    back->setObjectName(QStringLiteral("Command2"));

    // The design's client area is 3840 x 1215 twips; wider fonts widen it.
    const double tpp = twipsPerPixel(this);
    auto px = [tpp](double twips) { return qRound(twips / tpp); };
    m_text1->setMinimumWidth(px(3585));
    for (QPushButton *button : {m_findNext, back})
        button->setMinimumSize(px(1080), px(345));

    auto *buttons = new QHBoxLayout;
    buttons->setSpacing(px(75));
    buttons->addStretch(1);
    buttons->addWidget(back);
    buttons->addWidget(m_findNext);

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(px(105), px(90), px(135), px(120));
    layout->setSpacing(px(45));
    layout->addWidget(label1);
    layout->addWidget(m_text1);
    layout->addSpacing(px(60));
    layout->addLayout(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    setTabOrder(m_text1, m_findNext);
    setTabOrder(m_findNext, back);
    m_text1->setFocus();

    connect(m_findNext, &QPushButton::clicked, this, &frm_find::Command1_Click);
    connect(back, &QPushButton::clicked, this, &QDialog::reject);
    connect(m_text1, &QLineEdit::textChanged, this, &frm_find::Text1_Change);
}

void frm_find::Text1_Change()
{
    m_position = 1;
}

void frm_find::Command1_Click()
{
    const Needle needle(m_text1->text());
    const ModTree &tree = m_model.tree();
    const int count = tree.count();
    const quint64 generation = m_model.generation();

    if (m_missFrom >= 0 && m_position >= m_missFrom && generation == m_missGeneration
        && needle.text() == m_missNeedle)
        return;

    // Folders come first and are never matched, so the links' numbers are where to start.
    for (int node = std::max(m_position - 1, tree.folderCount()); node < count; ++node) {
        if (!tree.isLink(node))
            continue;
        if (needle.foundIn(tree.textBytes(node))) {
            selectNode(node);
            m_position = node + 2;
            return;
        }
    }
    m_missNeedle = needle.text();
    m_missFrom = m_position;
    m_missGeneration = generation;
}

void frm_find::selectNode(int node)
{
    Q_EMIT nodeFound(node);
    if (!m_tree || !m_tree->selectionModel())
        return;
    const QModelIndex index = viewIndexOf(m_model.indexOfNode(node));
    if (!index.isValid())
        return;
    // Selected, not clicked: the page stays, and the main window's last node too.
    // The view finds an item's row by searching outward from the item it looked
    // up last, so the old selection is let go while it is still that item, and
    // the search for the new one is made once instead of once per repaint.
    m_tree->selectionModel()->clear();
    if (!m_tree->isExpanded(index.parent()))
        m_tree->expand(index.parent());
    m_tree->selectionModel()->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect);
    m_tree->scrollTo(index);
}

QModelIndex frm_find::viewIndexOf(const QModelIndex &modelIndex) const
{
    QList<const QAbstractProxyModel *> proxies;
    for (const QAbstractItemModel *m = m_tree->model(); m != &m_model;) {
        const auto *proxy = qobject_cast<const QAbstractProxyModel *>(m);
        if (!proxy)
            return {};
        proxies.prepend(proxy);
        m = proxy->sourceModel();
    }
    QModelIndex index = modelIndex;
    for (const QAbstractProxyModel *proxy : std::as_const(proxies))
        index = proxy->mapFromSource(index);
    return index;
}
