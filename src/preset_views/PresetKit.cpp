#include "PresetKit.h"

#include "Glass.h"

#include <QEvent>
#include <QPainterPath>
#include <QRegion>

namespace PresetKit {

namespace {

// Keeps the mask of a widget inside a panel in step with the panel's rounded shape.
class PanelClip final : public QObject {
public:
    PanelClip(QWidget* content, GlassPanel* panel) : QObject(content), content_(content), panel_(panel) {
        content->installEventFilter(this);
        panel->installEventFilter(this);
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
        const QRegion inside = QRegion(shape.toFillPolygon().toPolygon()) & QRegion(content_->rect());
        if (inside == QRegion(content_->rect()))
            content_->clearMask();
        else
            content_->setMask(inside);
    }

    QPointer<QWidget> content_;
    QPointer<GlassPanel> panel_;
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
