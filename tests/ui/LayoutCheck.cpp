#include "LayoutCheck.h"

#include <QAbstractButton>
#include <QAbstractScrollArea>
#include <QAbstractSlider>
#include <QAbstractSpinBox>
#include <QComboBox>
#include <QGridLayout>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QScrollBar>
#include <QSplitterHandle>
#include <QStackedLayout>
#include <QWidget>

#include <algorithm>

namespace gui {
namespace {
// A pixel of slack: layouts round, fonts hint.
constexpr int slack = 1;

bool showsSomething(const QWidget* widget) {
    if (auto* label = qobject_cast<const QLabel*>(widget))
        return !label->text().isEmpty() || !label->pixmap().isNull();
    return qobject_cast<const QAbstractButton*>(widget) || qobject_cast<const QLineEdit*>(widget) ||
           qobject_cast<const QComboBox*>(widget) || qobject_cast<const QAbstractSlider*>(widget) ||
           qobject_cast<const QAbstractSpinBox*>(widget) || qobject_cast<const QAbstractScrollArea*>(widget) ||
           widget->focusPolicy() != Qt::NoFocus;
}

QString describe(const QWidget* widget) {
    QString name = widget->objectName();
    if (name.isEmpty())
        name = widget->accessibleName();
    if (name.isEmpty()) {
        if (auto* label = qobject_cast<const QLabel*>(widget))
            name = QStringLiteral("label \"%1\"").arg(label->text().left(40));
        else if (auto* button = qobject_cast<const QAbstractButton*>(widget))
            name = QStringLiteral("button \"%1\"").arg(button->text());
    }
    if (name.isEmpty())
        name = QString::fromLatin1(widget->metaObject()->className());
    if (const QWidget* parent = widget->parentWidget(); parent && !parent->objectName().isEmpty())
        name += QStringLiteral(" (in %1)").arg(parent->objectName());
    return name;
}

QString sizeText(QSize size) {
    return QStringLiteral("%1×%2").arg(size.width()).arg(size.height());
}

// What the control needs to show its text whole, or an empty size when it has no such need.
QSize needed(const QWidget* widget) {
    if (auto* label = qobject_cast<const QLabel*>(widget)) {
        if (label->text().isEmpty())
            return {};
        if (label->wordWrap()) {
            const int height = label->heightForWidth(label->width());
            return QSize(0, height > 0 ? height : label->minimumSizeHint().height());
        }
        return label->minimumSizeHint();
    }
    if (qobject_cast<const QAbstractButton*>(widget) || qobject_cast<const QComboBox*>(widget))
        return widget->minimumSizeHint();
    return {};
}

void checkSize(const QWidget* widget, QStringList& faults) {
    const QSize need = needed(widget);
    if (!need.isValid())
        return;
    const QSize have = widget->size();
    if (have.width() + slack < need.width() || have.height() + slack < need.height())
        faults
            << QStringLiteral("%1 is cut: %2 shown, %3 needed").arg(describe(widget), sizeText(have), sizeText(need));
}

void checkShown(const QWidget* widget, const QWidget* root, QStringList& faults) {
    const QRect whole(widget->mapTo(root, QPoint(0, 0)), widget->size());
    QRect shown = whole;
    // Once inside a scroll area's content, the directions it scrolls in no longer cut: they can be scrolled to.
    bool scrollsAcross = false;
    bool scrollsDown = false;
    for (const QWidget* up = widget->parentWidget(); up; up = up->parentWidget()) {
        if (auto* scroller = qobject_cast<const QAbstractScrollArea*>(up->parentWidget());
            scroller && scroller->viewport() == up) {
            scrollsAcross = scrollsAcross || scroller->horizontalScrollBarPolicy() != Qt::ScrollBarAlwaysOff;
            scrollsDown = scrollsDown || scroller->verticalScrollBarPolicy() != Qt::ScrollBarAlwaysOff;
        }
        const QRect area(up->mapTo(root, QPoint(0, 0)), up->size());
        if (!scrollsAcross) {
            shown.setLeft(std::max(shown.left(), area.left()));
            shown.setRight(std::min(shown.right(), area.right()));
        }
        if (!scrollsDown) {
            shown.setTop(std::max(shown.top(), area.top()));
            shown.setBottom(std::min(shown.bottom(), area.bottom()));
        }
        if (up == root)
            break;
    }
    const int shownWidth = std::max(0, shown.width());
    const int shownHeight = std::max(0, shown.height());
    if (shownWidth + slack < whole.width() || shownHeight + slack < whole.height())
        faults << QStringLiteral("%1 is cut by its parents: %2 of %3 shown")
                      .arg(describe(widget), sizeText(QSize(shownWidth, shownHeight)), sizeText(whole.size()));
}

// Where a layout of the parent places a widget: for each grid on the way down, the cells it takes (cells that
// share space are layers drawn over each other on purpose), and each stacked layout on the way.
struct Placement {
    bool placed = false;
    QList<QPair<const QLayout*, QRect>> cells;
};

bool place(QLayout* layout, const QWidget* widget, Placement& placement) {
    if (!layout)
        return false;
    auto* grid = qobject_cast<QGridLayout*>(layout);
    for (int i = 0; i < layout->count(); ++i) {
        QLayoutItem* item = layout->itemAt(i);
        const qsizetype depth = placement.cells.size();
        if (grid) {
            int row = 0, column = 0, rows = 1, columns = 1;
            grid->getItemPosition(i, &row, &column, &rows, &columns);
            placement.cells.append({layout, QRect(column, row, columns, rows)});
        } else if (qobject_cast<QStackedLayout*>(layout)) {
            placement.cells.append({layout, QRect(0, 0, 1, 1)});
        }
        if (item->widget() == widget || place(item->layout(), widget, placement))
            return placement.placed = true;
        placement.cells.resize(depth);
    }
    return false;
}

bool layered(const Placement& first, const Placement& second) {
    for (const auto& [layout, cell] : first.cells) {
        for (const auto& [otherLayout, otherCell] : second.cells) {
            if (layout == otherLayout && cell.intersects(otherCell))
                return true;
        }
    }
    return false;
}

void checkOverlaps(const QWidget* parent, QStringList& faults) {
    QList<QPair<const QWidget*, Placement>> placed;
    for (const QObject* child : parent->children()) {
        auto* widget = qobject_cast<const QWidget*>(child);
        if (!widget || !widget->isVisible() || widget->isWindow() || widget->size().isEmpty())
            continue;
        Placement placement;
        if (place(parent->layout(), widget, placement))
            placed.append({widget, placement});
    }
    for (qsizetype i = 0; i < placed.size(); ++i) {
        for (qsizetype j = i + 1; j < placed.size(); ++j) {
            if (layered(placed[i].second, placed[j].second))
                continue;
            const QRect common = placed[i].first->geometry() & placed[j].first->geometry();
            if (common.width() > slack && common.height() > slack)
                faults << QStringLiteral("%1 and %2 overlap by %3")
                              .arg(describe(placed[i].first), describe(placed[j].first), sizeText(common.size()));
        }
    }
}
} // namespace

QStringList layoutFaults(QWidget* root) {
    QStringList faults;
    if (!root || !root->isVisible())
        return {QStringLiteral("the root is not shown")};
    QList<QWidget*> all{root};
    all << root->findChildren<QWidget*>();
    for (const QWidget* widget : std::as_const(all)) {
        if (!widget->isVisible() || (widget->isWindow() && widget != root))
            continue;
        if (widget->window() != root->window())
            continue;
        if (qobject_cast<const QSplitterHandle*>(widget) || qobject_cast<const QScrollBar*>(widget))
            continue;
        checkOverlaps(widget, faults);
        if (widget == root || !showsSomething(widget))
            continue;
        checkSize(widget, faults);
        checkShown(widget, root, faults);
    }
    return faults;
}

} // namespace gui
