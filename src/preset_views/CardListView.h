#pragma once

#include <QListView>

// A list of painted preset cards that the keyboard and assistive tools choose from as a click does: Return and
// Enter (`activated`), Space, and a cell's accessible action. That action only selects a cell, so the list
// keeps no selection of its own: a selection is a choice, taken and cleared at once.
class CardListView : public QListView {
    Q_OBJECT
public:
    explicit CardListView(QWidget* parent = nullptr);
    void setModel(QAbstractItemModel* model) override;

signals:
    // The card at `index` was chosen from the keyboard or by an assistive tool.
    void cardChosen(const QModelIndex& index);

protected:
    void keyPressEvent(QKeyEvent* event) override;
    QItemSelectionModel::SelectionFlags selectionCommand(const QModelIndex& index,
                                                         const QEvent* event = nullptr) const override;

private:
    void takeSelection();
};
