// libFuzzer target: the mod list parser and the tree model over what it built.
#include "core/modlistloader.h"
#include "core/modtreemodel.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    ModTree tree;
    parseModList(QByteArray(reinterpret_cast<const char *>(data), qsizetype(size)), tree);
    int links = 0;
    for (int node = 0; node < tree.count(); ++node) {
        const int parent = tree.parent(node);
        const bool isLink = parent != ModTree::kNoNode;
        if (tree.isLink(node) != isLink || (isLink && tree.child(parent, tree.row(node)) != node))
            std::abort();
        (void)tree.text(node);
        (void)tree.key(node);
        (void)tree.url(node);
        links += isLink;
    }
    if (links != tree.linkCount())
        std::abort();

    ModTreeModel model;
    model.setTree(std::move(tree));
    for (int node = 0; node < model.tree().count(); ++node) {
        const QModelIndex index = model.indexOfNode(node);
        if (model.nodeOf(index) != node || model.nodeOf(model.parent(index)) != model.tree().parent(node))
            std::abort();
        (void)model.data(index);
    }
    return 0;
}
