#include "PresetKit.h"

#include "Glass.h"

#include <QAbstractScrollArea>
#include <QEvent>
#include <QPainterPath>
#include <QRegion>
#include <QScrollBar>

#include <cmath>

namespace PresetKit {

namespace {

// Keeps the mask of a widget inside a panel in step with the panel's rounded shape.
class PanelClip final : public QObject {
public:
    PanelClip(QWidget* content, GlassPanel* panel) : QObject(content), content_(content), panel_(panel) {
        content->installEventFilter(this);
        panel->installEventFilter(this);
        // Below the vertical scroll bar, room that keeps its arrows out of the panel's rounded corner.
        if (auto* area = qobject_cast<QAbstractScrollArea*>(content)) {
            cornerRoom_ = new QWidget(area);
            cornerRoom_->setObjectName(content->objectName() + QStringLiteral("CornerRoom"));
            cornerRoom_->setFixedHeight(0);
            area->addScrollBarWidget(cornerRoom_, Qt::AlignBottom);
        }
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        switch (event->type()) {
        case QEvent::Resize:
        case QEvent::Move:
        case QEvent::Show:
        case QEvent::LayoutRequest:
            if (watched == content_ || watched == panel_)
                apply();
            break;
        default:
            break;
        }
        return QObject::eventFilter(watched, event);
    }

private:
    void apply() {
        if (!panel_ || !content_ || !panel_->isAncestorOf(content_))
            return;
        const QPoint origin = content_->mapTo(panel_.data(), QPoint());
        const QPainterPath shape =
            continuousRoundedRect(panel_->panelRect(), panel_->cornerRadius()).translated(-QPointF(origin));
        keepScrollBarInside(shape);
        const QRegion inside = QRegion(shape.toFillPolygon().toPolygon()) & QRegion(content_->rect());
        if (inside == QRegion(content_->rect()))
            content_->clearMask();
        else
            content_->setMask(inside);
    }

    // Raises the bottom of the vertical scroll bar until its whole width lies inside `shape` (in the content's
    // coordinates).
    void keepScrollBarInside(const QPainterPath& shape) {
        auto* area = qobject_cast<QAbstractScrollArea*>(content_.data());
        if (!area || !cornerRoom_)
            return;
        const QScrollBar* bar = area->verticalScrollBar();
        const QRect strip(bar->mapTo(content_.data(), QPoint()), bar->size());
        const double left = strip.left() + 0.5, right = strip.right();
        const int bottom = content_->height();
        // The corner's curve never reaches higher than twice its radius.
        const int most = std::min(bottom / 2, int(std::ceil(2 * panel_->cornerRadius())));
        int room = 0;
        while (room < most && !(shape.contains(QPointF(left, bottom - room - 0.5)) &&
                                shape.contains(QPointF(right, bottom - room - 0.5))))
            ++room;
        if (cornerRoom_->height() != room)
            cornerRoom_->setFixedHeight(room);
    }

    QPointer<QWidget> content_;
    QPointer<GlassPanel> panel_;
    QPointer<QWidget> cornerRoom_;
};

} // namespace

WrappedText* addWrappedText(QBoxLayout* column, const QString& text, const QFont& font, ColorRole color,
                            int maximumWidth, QWidget* parent) {
    auto* label = new WrappedText(text, Qt::AlignCenter, parent);
    QSizePolicy policy = label->sizePolicy();
    policy.setHorizontalPolicy(QSizePolicy::Expanding);
    label->setSizePolicy(policy);
    label->setFont(font);
    if (maximumWidth > 0)
        label->setMaximumWidth(maximumWidth);
    Controls::setTextColor(label, color);
    column->addWidget(label, 0, Qt::AlignHCenter);
    return label;
}

void clipToPanel(QWidget* content, GlassPanel* panel) {
    if (content && panel)
        new PanelClip(content, panel);
}

} // namespace PresetKit
