#include "FocusRing.h"

#include "Glass.h"
#include "Theme.h"
#include "UiScale.h"

#include <QAbstractItemView>
#include <QAbstractScrollArea>
#include <QApplication>
#include <QFocusEvent>
#include <QKeyEvent>
#include <QPainter>
#include <QPointer>
#include <QStyleOptionViewItem>
#include <QTabBar>

namespace {

// The widget the last ring was painted for (see `Tracker::paintOver`).
const QWidget* lastRingFor = nullptr;

constexpr char onItemsProperty[] = "focusRingOnItems";
constexpr char frameProperty[] = "focusRingFrame";
constexpr char frameRadiusProperty[] = "focusRingFrameRadius";

// Where the ring of a control that draws none of its own goes; a negative radius is the standard one.
struct Placement {
    QWidget* canvas = nullptr;
    QRectF rect;
    double radius = -1;
};

Placement placementFor(QWidget* focus) {
    // A window as a whole has no ring; a list's current card carries it.
    if (!focus || focus->isWindow() || qobject_cast<QAbstractItemView*>(focus) ||
        focus->property(onItemsProperty).toBool())
        return {};
    if (auto* bar = qobject_cast<QTabBar*>(focus)) {
        const int current = bar->currentIndex();
        return current < 0 ? Placement{} : Placement{bar, QRectF(bar->tabRect(current))};
    }
    const double e = FocusRing::extent(focus);
    if (QWidget* frame = FocusRing::surrounded(focus); frame != focus) {
        const QRectF around = QRectF(frame->geometry()).adjusted(-e, -e, e, e);
        QWidget* parent = frame->parentWidget();
        if (parent && QRectF(parent->rect()).contains(around))
            return {parent, around, frame->property(frameRadiusProperty).toDouble() + e};
    }
    if (qobject_cast<QAbstractScrollArea*>(focus)) {
        // A text area's text runs to its edges: the ring goes around it where its parent has room.
        const QRectF around = QRectF(focus->geometry()).adjusted(-e, -e, e, e);
        QWidget* parent = focus->parentWidget();
        if (parent && QRectF(parent->rect()).contains(around))
            return {parent, around};
    }
    return {focus, QRectF(focus->rect())};
}

// Follows which of the keyboard and the pointer was used last, application-wide.
class Tracker final : public QObject {
public:
    bool keyboard = false;

    bool eventFilter(QObject* watched, QEvent* event) override {
        switch (event->type()) {
        case QEvent::KeyPress:
            if (!isModifier(static_cast<QKeyEvent*>(event)->key()))
                setKeyboard(true);
            break;
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonDblClick:
        case QEvent::TouchBegin:
        case QEvent::TabletPress:
            setKeyboard(false);
            break;
        case QEvent::Paint:
            if (keyboard && watched->isWidgetType() && watched != resending_)
                return paintOver(static_cast<QWidget*>(watched), event);
            break;
        case QEvent::FocusOut:
            if (watched->isWidgetType())
                refresh(static_cast<QWidget*>(watched));
            break;
        case QEvent::FocusIn:
            if (!watched->isWidgetType())
                break;
            refresh(static_cast<QWidget*>(watched));
            switch (static_cast<QFocusEvent*>(event)->reason()) {
            case Qt::TabFocusReason:
            case Qt::BacktabFocusReason:
            case Qt::ShortcutFocusReason:
                setKeyboard(true);
                break;
            case Qt::MouseFocusReason:
                setKeyboard(false);
                break;
            default:
                break; // as it was
            }
            break;
        default:
            break;
        }
        return false;
    }

private:
    static bool isModifier(int key) {
        return key == Qt::Key_Shift || key == Qt::Key_Control || key == Qt::Key_Alt || key == Qt::Key_Meta ||
               key == Qt::Key_AltGr || key == Qt::Key_Super_L || key == Qt::Key_Super_R;
    }

    void setKeyboard(bool inUse) {
        if (keyboard == inUse)
            return;
        keyboard = inUse;
        // The control that has the focus gains or loses its ring without the focus moving.
        refresh(QApplication::focusWidget());
    }

    static void refresh(QWidget* widget) {
        if (!widget)
            return;
        widget->update();
        if (auto* area = qobject_cast<QAbstractScrollArea*>(widget))
            area->viewport()->update();
        const Placement placement = placementFor(widget);
        if (placement.canvas && placement.canvas != widget)
            placement.canvas->update(placement.rect.toAlignedRect());
    }

    // Every focusable control shows the keyboard focus, standard ones too: after the widget has painted, the
    // ring goes over it unless the widget drew one of its own.
    bool paintOver(QWidget* widget, QEvent* event) {
        QWidget* focus = QApplication::focusWidget();
        if (!focus)
            return false;
        const Placement placement = placementFor(focus);
        auto* area = qobject_cast<QAbstractScrollArea*>(focus);
        const bool onViewport = area && placement.canvas == area && widget == area->viewport();
        if (!placement.canvas || (widget != placement.canvas && !onViewport))
            return false;
        const QPointer<QWidget> guard(widget);
        lastRingFor = nullptr;
        resending_ = widget;
        QCoreApplication::sendEvent(widget, event);
        resending_ = nullptr;
        if (!guard || lastRingFor == focus)
            return true;
        QPainter painter(widget);
        const QRectF rect = onViewport ? placement.rect.translated(-QPointF(area->viewport()->pos())) : placement.rect;
        const double radius = placement.radius >= 0 ? placement.radius : standardRadius * UiScale::scaleOf(focus);
        FocusRing::paint(painter, rect, radius, focus);
        return true;
    }

private:
    static constexpr double standardRadius = 5;
    QObject* resending_ = nullptr;
};

Tracker* tracker() {
    static Tracker* instance = nullptr;
    if (!instance && qobject_cast<QApplication*>(QCoreApplication::instance())) {
        instance = new Tracker;
        instance->setParent(QCoreApplication::instance());
        QCoreApplication::instance()->installEventFilter(instance);
    }
    return instance;
}

// Paints the ring over what a style-painted widget drew.
class Attached final : public QObject {
public:
    Attached(QWidget* widget, double radius) : QObject(widget), radius_(radius) {}

    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() != QEvent::Paint || !watched->isWidgetType())
            return false;
        auto* widget = static_cast<QWidget*>(watched);
        if (!FocusRing::shows(widget))
            return false;
        static_cast<QObject*>(widget)->event(event);
        QPainter painter(widget);
        FocusRing::paint(painter, QRectF(widget->rect()), radius_, widget);
        return true;
    }

private:
    double radius_;
};

} // namespace

namespace FocusRing {

void track() {
    tracker();
}

bool keyboardInUse() {
    const Tracker* t = tracker();
    return t && t->keyboard;
}

bool shows(const QWidget* widget) {
    return widget && widget->hasFocus() && keyboardInUse();
}

QColor color(ColorScheme scheme) {
    // With the control background line inside it, one of the two lines is at least 3:1 against any colour under
    // the ring: the ring's blue is darker than the accent in light and lighter in dark.
    return scheme == ColorScheme::dark ? QColor(150, 200, 255) : QColor(0, 64, 160);
}

double width(const QWidget* widget) {
    return 2 * UiScale::scaleOf(widget);
}

double extent(const QWidget* widget) {
    return width(widget) * 1.5;
}

void paint(QPainter& painter, const QRectF& rect, double radius, const QWidget* widget) {
    lastRingFor = widget;
    const double line = width(widget);
    const double inner = extent(widget) - line;
    if (rect.width() < 2 * (line + inner) || rect.height() < 2 * (line + inner))
        return;
    const ColorScheme scheme = Theme::colorScheme(widget);
    const double half = std::min(rect.width(), rect.height()) / 2;
    const double r = radius < 0 ? half : std::min(radius, half);
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setBrush(Qt::NoBrush);
    const QRectF outer = rect.adjusted(line / 2, line / 2, -line / 2, -line / 2);
    painter.setPen(QPen(color(scheme), line));
    painter.drawPath(continuousRoundedRect(outer, std::max(0.0, r - line / 2)));
    const double innerInset = line + inner / 2;
    painter.setPen(QPen(Theme::color(ColorRole::controlBackground, scheme), inner));
    painter.drawPath(continuousRoundedRect(rect.adjusted(innerInset, innerInset, -innerInset, -innerInset),
                                           std::max(0.0, r - innerInset)));
    painter.restore();
}

void paintItem(QPainter& painter, const QStyleOptionViewItem& option, const QRectF& rect, double radius) {
    if ((option.state & QStyle::State_HasFocus) && keyboardInUse())
        paint(painter, rect, radius, option.widget);
}

void showOnItems(QWidget* control) {
    control->setProperty(onItemsProperty, true);
}

void attach(QWidget* widget, double radius) {
    track();
    widget->installEventFilter(new Attached(widget, radius));
}

void surround(QWidget* control, QWidget* frame, double radius) {
    track();
    Q_ASSERT(frame->isAncestorOf(control));
    control->setProperty(frameProperty, QVariant::fromValue(static_cast<QObject*>(frame)));
    frame->setProperty(frameRadiusProperty, radius);
}

QWidget* surrounded(QWidget* control) {
    // The frame holds the control, so it outlives it.
    auto* frame = qobject_cast<QWidget*>(control->property(frameProperty).value<QObject*>());
    return frame ? frame : control;
}

} // namespace FocusRing
