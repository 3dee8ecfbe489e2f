#include "Popover.h"

#include "WindowSystem.h"

#include "Glass.h"
#include "Theme.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QApplication>
#include <QBoxLayout>
#include <QFormLayout>
#include <QGridLayout>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QScreen>
#include <QSet>
#include <QWindow>

#include <algorithm>

namespace {

// Read as a dialog named after the popover.
class PopoverAccessible final : public QAccessibleWidget {
public:
    explicit PopoverAccessible(Popover* popover) : QAccessibleWidget(popover, QAccessible::Dialog) {}
    QString text(QAccessible::Text t) const override {
        if (t == QAccessible::Name)
            return static_cast<const Popover*>(object())->spokenName();
        return QAccessibleWidget::text(t);
    }
};

QAccessibleInterface* popoverAccessible(const QString& className, QObject* object) {
    if (className == QLatin1String("Popover") && object && object->isWidgetType())
        return new PopoverAccessible(static_cast<Popover*>(object));
    return nullptr;
}

bool takesTab(const QWidget* widget) {
    return (widget->focusPolicy() & Qt::TabFocus) == Qt::TabFocus && !widget->focusProxy();
}

void collectWidget(QWidget* widget, QList<QWidget*>& order, QSet<QWidget*>& seen);

void collectLayout(QLayout* layout, QList<QWidget*>& order, QSet<QWidget*>& seen) {
    struct Placed {
        int row;
        int column;
        QLayoutItem* item;
    };
    QList<Placed> items;
    const auto* box = qobject_cast<QBoxLayout*>(layout);
    const bool reversed =
        box && (box->direction() == QBoxLayout::RightToLeft || box->direction() == QBoxLayout::BottomToTop);
    for (int i = 0; i < layout->count(); ++i) {
        Placed placed{0, reversed ? -i : i, layout->itemAt(i)};
        if (auto* grid = qobject_cast<QGridLayout*>(layout)) {
            int rowSpan = 0;
            int columnSpan = 0;
            grid->getItemPosition(i, &placed.row, &placed.column, &rowSpan, &columnSpan);
        } else if (auto* form = qobject_cast<QFormLayout*>(layout)) {
            QFormLayout::ItemRole role = QFormLayout::LabelRole;
            form->getItemPosition(i, &placed.row, &role);
            placed.column = int(role);
        }
        items.append(placed);
    }
    std::stable_sort(items.begin(), items.end(), [](const Placed& a, const Placed& b) {
        return a.row != b.row ? a.row < b.row : a.column < b.column;
    });
    for (const Placed& placed : items) {
        if (!placed.item)
            continue;
        if (QWidget* widget = placed.item->widget())
            collectWidget(widget, order, seen);
        else if (QLayout* inner = placed.item->layout())
            collectLayout(inner, order, seen);
    }
}

void collectWidget(QWidget* widget, QList<QWidget*>& order, QSet<QWidget*>& seen) {
    if (seen.contains(widget))
        return;
    seen.insert(widget);
    if (takesTab(widget))
        order.append(widget);
    if (QLayout* layout = widget->layout())
        collectLayout(layout, order, seen);
    // Children that no layout places, as created.
    for (QObject* child : widget->children()) {
        auto* childWidget = qobject_cast<QWidget*>(child);
        if (childWidget && !childWidget->isWindow())
            collectWidget(childWidget, order, seen);
    }
}

} // namespace

QList<QWidget*> layoutFocusOrder(QWidget* root) {
    QList<QWidget*> order;
    if (!root)
        return order;
    QSet<QWidget*> seen;
    collectWidget(root, order, seen);
    order.removeAll(root);
    return order;
}

QList<QWidget*> setTabOrderFromLayout(QWidget* root) {
    const QList<QWidget*> order = layoutFocusOrder(root);
    for (qsizetype i = 1; i < order.size(); ++i)
        QWidget::setTabOrder(order[i - 1], order[i]);
    return order;
}

QString accessibleNameOf(QWidget* widget) {
    if (!widget)
        return {};
    if (!widget->accessibleName().isEmpty())
        return widget->accessibleName();
    if (QAccessibleInterface* face = QAccessible::queryAccessibleInterface(widget))
        return face->text(QAccessible::Name);
    return {};
}

Popover::Popover(QWidget* anchor) : QWidget(anchor, Qt::Tool | Qt::FramelessWindowHint), anchor_(anchor) {
    static const bool factoryInstalled = [] {
        QAccessible::installFactory(popoverAccessible);
        return true;
    }();
    Q_UNUSED(factoryInstalled);
    setAttribute(Qt::WA_TranslucentBackground);
    setObjectName(QStringLiteral("popover"));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, arrowHeight, 0, 0);
    connect(&Theme::instance(), &Theme::changed, this, qOverload<>(&QWidget::update));
}

Popover::~Popover() {
    if (watching_)
        qApp->removeEventFilter(this);
}

void Popover::setContent(QWidget* content) {
    if (content_)
        content_->deleteLater();
    content_ = content;
    layout()->addWidget(content);
}

QString Popover::spokenName() const {
    if (!accessibleName().isEmpty())
        return accessibleName();
    const QString anchorName = accessibleNameOf(anchor_);
    return anchorName.isEmpty() ? windowTitle() : anchorName;
}

void Popover::popup() {
    adjustSize();
    place(true);
    show();
    raise();
    activateWindow();
    const QList<QWidget*> order = setTabOrderFromLayout(this);
    const auto first = std::find_if(order.begin(), order.end(), [this](QWidget* widget) {
        return widget->isVisibleTo(this) && widget->isEnabled() && !accessibleNameOf(widget).isEmpty();
    });
    if (first != order.end())
        (*first)->setFocus(Qt::OtherFocusReason);
    else if (content_)
        content_->setFocus(Qt::OtherFocusReason);
}

void Popover::place(bool mayTurn) {
    if (!anchor_)
        return;
    const QSize size = sizeHint().expandedTo(minimumSize());
    const QPoint below = anchor_->mapToGlobal(QPoint(anchor_->width() / 2, anchor_->height()));
    const QPoint above = anchor_->mapToGlobal(QPoint(anchor_->width() / 2, 0));
    const QScreen* screen = anchor_->screen();
    const QRect available = screen ? screen->availableGeometry() : QRect(QPoint(0, 0), QSize(4096, 4096));
    if (mayTurn) {
        shownEdge_ = edge_;
        if (shownEdge_ == Edge::below && below.y() + size.height() > available.bottom() &&
            above.y() - size.height() >= available.top())
            shownEdge_ = Edge::above;
        else if (shownEdge_ == Edge::above && above.y() - size.height() < available.top())
            shownEdge_ = Edge::below;
    }
    const QPoint tip = shownEdge_ == Edge::below ? below : above;
    int x = tip.x() - size.width() / 2;
    x = std::clamp(x, available.left(), std::max(available.left(), available.right() - size.width()));
    const int y = shownEdge_ == Edge::below ? tip.y() : tip.y() - size.height();
    arrowX_ = std::clamp(tip.x() - x, int(cornerRadius) + arrowHeight, size.width() - int(cornerRadius) - arrowHeight);
    auto* box = static_cast<QVBoxLayout*>(layout());
    box->setContentsMargins(0, shownEdge_ == Edge::below ? arrowHeight : 0, 0,
                            shownEdge_ == Edge::above ? arrowHeight : 0);
    setGeometry(QRect(QPoint(x, y), size));
    cutToOutline();
}

bool Popover::event(QEvent* event) {
    const bool handled = QWidget::event(event);
    // The content changed its size (a row shown or hidden): the layout has only grown the window from its top
    // left corner, and never shrinks it.
    if (event->type() == QEvent::LayoutRequest && isVisible())
        place(false);
    return handled;
}

bool Popover::holds(const QWidget* widget) const {
    for (const QWidget* w = widget; w; w = w->parentWidget())
        if (w == this)
            return true;
    return false;
}

bool Popover::eventFilter(QObject* watched, QEvent* event) {
    // Its window moved or the anchor was laid out anew: the popover goes with its anchor.
    if ((event->type() == QEvent::Move || event->type() == QEvent::Resize) && watched->isWidgetType() && anchor_ &&
        isVisible()) {
        const auto* widget = static_cast<QWidget*>(watched);
        if (widget == anchor_ || widget->isAncestorOf(anchor_))
            place(false);
    }
    const bool press = event->type() == QEvent::MouseButtonPress || event->type() == QEvent::MouseButtonDblClick;
    if (press && watched->isWidgetType() && isVisible()) {
        const auto* widget = static_cast<QWidget*>(watched);
        const QPoint at = mapFromGlobal(static_cast<QMouseEvent*>(event)->globalPosition().toPoint());
        const bool inside = holds(widget) && (widget->window() != this || rect().contains(at));
        // The press goes on to the widget under it, as it does after a menu closes.
        if (!inside)
            close();
    }
    return QWidget::eventFilter(watched, event);
}

void Popover::focusWindowChanged(QWindow* window) {
    if (!window || !isVisible())
        return;
    for (QWidget* top : QApplication::topLevelWidgets()) {
        if (top->windowHandle() != window)
            continue;
        if (holds(top))
            hadKeyboard_ = true;
        // The keyboard left it for another window of the application (not one opened from inside it). An
        // activation still on its way from before it opened does not count.
        else if (hadKeyboard_)
            close();
        return;
    }
}

QPainterPath Popover::outline() const {
    const bool below = shownEdge_ == Edge::below;
    const QRectF body = QRectF(rect()).adjusted(0.5, below ? arrowHeight : 0.5, -0.5, below ? -0.5 : -arrowHeight);
    QPainterPath path = continuousRoundedRect(body, cornerRadius);
    QPainterPath arrow;
    const double baseY = below ? body.top() + 1 : body.bottom() - 1;
    const double tipY = below ? 0.5 : height() - 0.5;
    arrow.moveTo(arrowX_ - arrowHeight, baseY);
    arrow.lineTo(arrowX_, tipY);
    arrow.lineTo(arrowX_ + arrowHeight, baseY);
    arrow.closeSubpath();
    return path.united(arrow);
}

void Popover::cutToOutline() {
    // Without a compositor the see-through corners would show black: the window takes the outline's shape instead.
    if (WindowSystem::drawsSeeThroughWindows())
        clearMask();
    else
        setMask(QRegion(outline().toFillPolygon().toPolygon()));
}

void Popover::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const ColorScheme scheme = colorSchemeOf(this);
    const QPainterPath path = outline();
    painter.fillPath(path, Theme::color(ColorRole::windowBackground, scheme));
    painter.setPen(QPen(borderColor(scheme, ControlActiveState::key, true), 1));
    painter.drawPath(path);
}

void Popover::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape) {
        close();
        return;
    }
    QWidget::keyPressEvent(event);
}

void Popover::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (watching_)
        return;
    watching_ = true;
    qApp->installEventFilter(this);
    connect(qApp, &QGuiApplication::focusWindowChanged, this, &Popover::focusWindowChanged);
}

void Popover::hideEvent(QHideEvent* event) {
    QWidget::hideEvent(event);
    hadKeyboard_ = false;
    if (watching_) {
        watching_ = false;
        qApp->removeEventFilter(this);
        disconnect(qApp, &QGuiApplication::focusWindowChanged, this, &Popover::focusWindowChanged);
    }
    // The keyboard goes back to the window the popover was opened from.
    QWidget* owner = anchor_ ? anchor_->window() : nullptr;
    const QWidget* active = QApplication::activeWindow();
    if (owner && owner->isVisible() && (!active || active == this))
        owner->activateWindow();
    emit closed();
}
