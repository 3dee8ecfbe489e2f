#include "GradientButton.h"

#include "FocusRing.h"
#include "Spinner.h"
#include "SymbolIcon.h"
#include "WrappedText.h"

#include <QFontMetricsF>
#include <QPaintEvent>
#include <QPainter>

#include <algorithm>
#include <cmath>

GradientButton::GradientButton(QWidget* parent)
    : QPushButton(parent), spinner_(new Spinner({SpinnerLook::Style::spokes, Qt::white}, 0, this)) {
    QSizePolicy policy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    policy.setHeightForWidth(true);
    setSizePolicy(policy);
    setCursor(Qt::PointingHandCursor);
    spinner_->hide();
    FocusRing::track();
    setScale(1.0);
}

void GradientButton::setScale(double scale) {
    setFont(Theme::font(15 * scale, QFont::DemiBold));
    // The padding above and below the taller of the symbol's room and the title's line.
    setMinimumHeight(int(std::ceil(28 * scale + std::max(16 * scale, QFontMetricsF(font()).height()))));
    padding_ = int(std::lround(14 * scale));
    const int side = int(std::lround(16 * scale));
    setIconSize(QSize(side, side));
    spinner_->setDiameter(Spinner::smallDiameter * 0.8 * scale);
    updateGeometry();
    placeSpinner();
}

void GradientButton::setTitle(const QString& title) {
    setText(title);
    setAccessibleName(title);
    updateGeometry();
    placeSpinner();
}

void GradientButton::setGradient(ColorRole start, ColorRole end, double endOpacity) {
    start_ = start;
    end_ = end;
    endOpacity_ = endOpacity;
    update();
}

void GradientButton::setSymbol(const QString& name) {
    if (name == symbol_)
        return;
    symbol_ = name;
    setIcon(name.isEmpty() ? QIcon() : symbolIcon(name, Qt::white));
}

void GradientButton::setSymbolSlot(QSize slot) {
    slot_ = slot;
    updateGeometry();
    placeSpinner();
}

void GradientButton::setSymbolGap(int gap) {
    gap_ = gap;
    updateGeometry();
    placeSpinner();
}

void GradientButton::setTitleWraps(bool wraps) {
    wraps_ = wraps;
    updateGeometry();
}

void GradientButton::setBusy(bool busy) {
    busy_ = busy;
    spinner_->setVisible(busy);
    placeSpinner();
}

void GradientButton::setFaded(bool faded) {
    // The spinner stands on the button: it fades with it.
    spinner_->setColor(withOpacity(Qt::white, faded ? fadedOpacity : 1.0));
    if (faded_ == faded)
        return;
    faded_ = faded;
    update();
}

QSize GradientButton::slot() const {
    return slot_.expandedTo(iconSize());
}

QSize GradientButton::sizeHint() const {
    const QSize title = fontMetrics().size(Qt::TextShowMnemonic, text());
    const QSize room = slot();
    return {room.width() + gap_ + title.width(), std::max(room.height(), title.height())};
}

QSize GradientButton::minimumSizeHint() const {
    const QString start = wraps_ ? text().left(1) + QChar(0x2026) : text();
    return {slot().width() + gap_ + fontMetrics().horizontalAdvance(start) + 2 * sideRoom, heightForWidth(0)};
}

int GradientButton::heightForWidth(int width) const {
    const int lines = int(shownTextFor(width).count(QLatin1Char('\n'))) + 1;
    const int content = std::max(slot().height(), lines * fontMetrics().lineSpacing());
    return std::max(minimumHeight(), content + 2 * padding_);
}

QString GradientButton::shownTextFor(int width) const {
    const int room = std::max(1, width - slot().width() - gap_ - 2 * sideRoom);
    if (!wraps_ || width <= 0 || fontMetrics().horizontalAdvance(text()) <= room)
        return text();
    return fitLines(text(), fontMetrics(), room).join(QLatin1Char('\n'));
}

QRect GradientButton::slotRect() const {
    // The symbol's room, the gap and the title's widest line are centred together.
    const QString text = shownText();
    const QSize room = slot();
    int group = room.width();
    if (!text.isEmpty())
        group += fontMetrics().boundingRect(rect(), Qt::AlignLeft | Qt::AlignVCenter, text).width() + gap_;
    return {(width() - group) / 2, (height() - room.height()) / 2, room.width(), room.height()};
}

void GradientButton::placeSpinner() {
    // Centred where the symbol stands.
    const QRect room = slotRect();
    const QSize size = spinner_->sizeHint();
    const QPoint centre(room.left() + room.width() / 2, room.top() + room.height() / 2);
    spinner_->setGeometry(QRect(centre - QPoint(size.width() / 2, size.height() / 2), size));
}

void GradientButton::resizeEvent(QResizeEvent* event) {
    QPushButton::resizeEvent(event);
    placeSpinner();
}

void GradientButton::paintEvent(QPaintEvent* event) {
    QPainter painter(this);
    if (!faded_) {
        paintLook(painter);
    } else {
        // Faded as one layer, so that the title and symbol keep their white over the faded body. The layer covers
        // only what is painted again: a spinner's step repaints its square, not the whole button.
        const QRect dirty = event->rect().intersected(rect());
        const qreal ratio = devicePixelRatioF();
        QImage layer(dirty.size() * ratio, QImage::Format_ARGB32_Premultiplied);
        layer.setDevicePixelRatio(ratio);
        layer.fill(Qt::transparent);
        QPainter layerPainter(&layer);
        layerPainter.translate(-dirty.topLeft());
        paintLook(layerPainter);
        layerPainter.end();
        painter.setOpacity(fadedOpacity);
        painter.drawImage(dirty.topLeft(), layer);
        painter.setOpacity(1);
    }
    if (FocusRing::shows(this))
        FocusRing::paint(painter, QRectF(rect()), 10, this);
}

void GradientButton::paintLook(QPainter& painter) const {
    painter.setFont(font());
    QLinearGradient body(0, 0, width(), 0);
    body.setColorAt(0, Theme::color(start_, this));
    body.setColorAt(1, withOpacity(Theme::color(end_, this), endOpacity_));
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(body);
    painter.drawRoundedRect(QRectF(rect()), 10, 10);
    painter.setRenderHint(QPainter::Antialiasing, false);

    // The title starts half the gap after the symbol's room, as the style draws a push button's label.
    const QRect room = slotRect();
    const QIcon::Mode mode = isEnabled() ? (hasFocus() ? QIcon::Active : QIcon::Normal) : QIcon::Disabled;
    const QPixmap symbol = icon().pixmap(iconSize(), devicePixelRatio(), mode, isChecked() ? QIcon::On : QIcon::Off);
    if (!symbol.isNull()) {
        const QSize shown = symbol.deviceIndependentSize().toSize();
        painter.drawPixmap(QRect(room.left() + (room.width() - shown.width()) / 2,
                                 room.top() + (room.height() - shown.height()) / 2, shown.width(), shown.height()),
                           symbol);
    }
    painter.setPen(Qt::white);
    painter.drawText(QRect(room.right() + 1 + gap_ / 2, 0, width(), height()), Qt::AlignLeft | Qt::AlignVCenter,
                     shownText());
}
