#include "CardListView.h"

#include "Controls.h"

#include <QKeyEvent>

CardListView::CardListView(QWidget* parent) : QListView(parent) {
    Controls::setUpCardList(this);
    // A cell's accessible action selects it, and does nothing in a list without selection.
    setSelectionMode(QAbstractItemView::SingleSelection);
    connect(this, &QAbstractItemView::activated, this, &CardListView::cardChosen);
}

void CardListView::setModel(QAbstractItemModel* model) {
    QListView::setModel(model);
    if (selectionModel())
        connect(selectionModel(), &QItemSelectionModel::selectionChanged, this, &CardListView::takeSelection);
}

QItemSelectionModel::SelectionFlags CardListView::selectionCommand(const QModelIndex&, const QEvent*) const {
    // Neither the pointer nor the arrows select: the current card moves alone.
    return QItemSelectionModel::NoUpdate;
}

void CardListView::keyPressEvent(QKeyEvent* event) {
    const bool space = event->key() == Qt::Key_Space || event->key() == Qt::Key_Select;
    if (space && event->modifiers() == Qt::NoModifier && currentIndex().isValid()) {
        event->accept();
        emit cardChosen(currentIndex());
        return;
    }
    QListView::keyPressEvent(event);
}

void CardListView::takeSelection() {
    const QModelIndexList chosen = selectionModel()->selectedIndexes();
    if (chosen.isEmpty())
        return;
    const QPersistentModelIndex index = chosen.first();
    // Cleared first: the next action selects again, and a choice that closes the list finds nothing left.
    selectionModel()->clearSelection();
    if (index.isValid())
        emit cardChosen(index);
}
