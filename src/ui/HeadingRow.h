#pragma once

#include <QLayout>

class QLabel;

// A heading row of a leading group (symbol and title) and a trailing group (a counter and a clear button, say). On
// one line while every word of the title fits beside the trailing group (the title wraps as it must); narrower, the
// trailing group goes under the title, at the end.
class HeadingRow final : public QLayout {
public:
    HeadingRow(QLayout* leading, QLabel* title, QLayout* trailing);
    ~HeadingRow() override;

    void addItem(QLayoutItem*) override {}
    int count() const override { return int(items_.size()); }
    QLayoutItem* itemAt(int index) const override { return index >= 0 && index < count() ? items_[index] : nullptr; }
    QLayoutItem* takeAt(int index) override { return index >= 0 && index < count() ? items_.takeAt(index) : nullptr; }
    Qt::Orientations expandingDirections() const override { return Qt::Horizontal; }
    bool hasHeightForWidth() const override { return true; }

    QSize sizeHint() const override;
    QSize minimumSize() const override;
    int heightForWidth(int width) const override;
    void setGeometry(const QRect& area) override;

private:
    static constexpr int lineGap = 4;
    QLayoutItem* leading() const { return items_[0]; }
    QLayoutItem* trailing() const { return items_[1]; }
    bool oneLine(int width) const;
    int leadHeight(int width) const;

    QLabel* title_;
    QList<QLayoutItem*> items_;
};
