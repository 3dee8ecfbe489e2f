#include "VideoItemLogicView.h"

#include "DragOutCopies.h"
#include "FileNames.h"
#include "FocusRing.h"
#include "Glass.h"
#include "HoverDelay.h"
#include "ImageTiles.h"
#include "MovementPlayer.h"
#include "PlainText.h"
#include "Spinner.h"
#include "SymbolIcon.h"
#include "Theme.h"
#include "WrappedText.h"

#include <QApplication>
#include <QDrag>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QPixmapCache>
#include <QUrl>

namespace {

QFont fontOf(double size, QFont::Weight weight) {
    return Theme::font(std::max(1.0, size), weight);
}

// A job card's spinner: its spokes reach this far across, 1.2 × scale of a standard indicator.
double spinnerSpan(double scale) {
    return Spinner::standardDiameter * 1.2 * scale;
}

double spinnerLineWidth(double scale) {
    return 2.2 * scale;
}

} // namespace

CardActionButton::CardActionButton(const CardAction& action, QWidget* parent)
    : QAbstractButton(parent), action_(action) {
    setCursor(Qt::PointingHandCursor);
    setToolTip(action.toolTip);
    // Reached with Tab from the grid while this is the current card.
    setFocusPolicy(Qt::NoFocus);
}

void CardActionButton::setMetrics(const CardMetrics& metrics, double scale) {
    metrics_ = metrics;
    scale_ = scale;
    updateName();
    updateGeometry();
    update();
}

void CardActionButton::setFit(double paddingShare, bool labels) {
    if (qFuzzyCompare(paddingShare_, paddingShare) && labels_ == labels)
        return;
    paddingShare_ = paddingShare;
    labels_ = labels;
    updateName();
    updateGeometry();
    update();
}

void CardActionButton::updateName() {
    // The visible label names the button; without one, its help text does.
    setAccessibleName(showsLabel() ? action_.label : action_.toolTip);
}

QSize CardActionButton::sizeHint() const {
    const QFont font = fontOf(metrics_.detailFontSize * scale_, QFont::Medium);
    const QFontMetrics fm(font);
    const double symbol = metrics_.detailFontSize * scale_;
    double width = symbol;
    if (showsLabel())
        width += metrics_.buttonContentSpacing * scale_ + fm.horizontalAdvance(action_.label);
    width += 2 * paddingAcross();
    const double height = std::max<double>(fm.height(), symbol) + 2 * metrics_.buttonPaddingVertical * scale_;
    return QSize(int(std::ceil(width)), int(std::ceil(height)));
}

void CardActionButton::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    QColor color = Theme::instance().color(hovered_ || hasFocus() ? ColorRole::primary : ColorRole::secondary);
    if (FocusRing::shows(this))
        FocusRing::paint(painter, QRectF(rect()), 4, this);
    const double symbol = metrics_.detailFontSize * scale_;
    double x = paddingAcross();
    const QPixmap pixmap = symbolPixmap(action_.symbol, symbol, color, devicePixelRatioF());
    painter.drawPixmap(QPointF(x, (height() - symbol) / 2), pixmap);
    if (showsLabel()) {
        x += symbol + metrics_.buttonContentSpacing * scale_;
        painter.setFont(fontOf(metrics_.detailFontSize * scale_, QFont::Medium));
        painter.setPen(color);
        painter.drawText(QRectF(x, 0, width() - x, height()), Qt::AlignVCenter | Qt::AlignLeft, action_.label);
    }
}

void CardActionButton::enterEvent(QEnterEvent* event) {
    hovered_ = true;
    update();
    QAbstractButton::enterEvent(event);
}

void CardActionButton::leaveEvent(QEvent* event) {
    hovered_ = false;
    update();
    QAbstractButton::leaveEvent(event);
}

ClipDragMimeData::ClipDragMimeData(const QString& clipPath) : clip_(clipPath) {}

QStringList ClipDragMimeData::formats() const {
    return {QStringLiteral("text/uri-list")};
}

bool ClipDragMimeData::hasFormat(const QString& mimeType) const {
    return mimeType == QLatin1String("text/uri-list");
}

QVariant ClipDragMimeData::retrieveData(const QString& mimeType, QMetaType type) const {
    if (mimeType != QLatin1String("text/uri-list"))
        return QMimeData::retrieveData(mimeType, type);
    // Made when the receiver asks, once per drag.
    if (copy_.isEmpty())
        copy_ = DragOutCopies::makeCopy(clip_);
    return QVariantList{FileNames::url(copy_)};
}

VideoItemLogicView::VideoItemLogicView(const QModelIndex& index, MovementPlayer* player, QWidget* parent)
    : QWidget(parent), index_(index), player_(player) {
    setObjectName(QStringLiteral("galleryCard"));
    setMouseTracking(true);
    hover_ = HoverDelay::track(this);
    connect(hover_, &HoverDelay::enterElapsed, this, [this] {
        if (!cell_.isPlaceholder && cell_.clip)
            emit previewRequested();
    });
    connect(hover_, &HoverDelay::leaveElapsed, this, [this] {
        // Stops any gallery preview, not only this card's; a camera-movement preview is left alone.
        if (player_ && player_->currentMode() == MovementPlayer::PlaybackMode::video)
            player_->stop();
    });
    for (const CardAction& action : cardActions()) {
        auto* button = new CardActionButton(action, this);
        switch (action.kind) {
        case CardAction::Kind::recreate:
            button->setObjectName(QStringLiteral("recreateButton"));
            connect(button, &QAbstractButton::clicked, this, &VideoItemLogicView::recreateClicked);
            break;
        case CardAction::Kind::showInFileManager:
            button->setObjectName(QStringLiteral("revealButton"));
            connect(button, &QAbstractButton::clicked, this, &VideoItemLogicView::revealClicked);
            break;
        case CardAction::Kind::moveToTrash:
            button->setObjectName(QStringLiteral("trashButton"));
            connect(button, &QAbstractButton::clicked, this, &VideoItemLogicView::deleteClicked);
            break;
        case CardAction::Kind::removeFailedJob:
            break;
        }
        buttons_.append(button);
    }
    auto* remove = new CardActionButton(removeFailedJobAction(), this);
    remove->setObjectName(QStringLiteral("failedJobRemoveButton"));
    connect(remove, &QAbstractButton::clicked, this, &VideoItemLogicView::removeClicked);
    buttons_.append(remove);
    error_ = new QLabel(this);
    error_->setObjectName(QStringLiteral("failedJobError"));
    // The service's own words: shown as they came, never read as markup.
    error_->setTextFormat(Qt::PlainText);
    error_->setWordWrap(true);
    error_->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    error_->setAttribute(Qt::WA_TransparentForMouseEvents);
    // White on the veil in either scheme: inside the grid's viewport a label would take the text colour of
    // the viewport's base.
    error_->setForegroundRole(QPalette::WindowText);
    QPalette errorPalette = error_->palette();
    errorPalette.setColor(QPalette::WindowText, Qt::white);
    errorPalette.setColor(QPalette::Text, Qt::white);
    error_->setPalette(errorPalette);
    error_->hide();
    if (player_) {
        connect(player_, &MovementPlayer::currentVideoChanged, this, qOverload<>(&QWidget::update));
        connect(player_, &PreviewPlayer::isPlayingChanged, this, qOverload<>(&QWidget::update));
    }
    connect(&Theme::instance(), &Theme::changed, this, [this] {
        updateSpinnerBackdrop();
        update();
    });
    refresh();
}

void VideoItemLogicView::setIndex(const QModelIndex& index) {
    if (index_ == index)
        return;
    index_ = index;
    refresh();
}

void VideoItemLogicView::refresh(const QList<int>& roles) {
    // A row that has gone keeps showing what it showed until the grid lets go of the card.
    if (!index_.isValid())
        return;
    using Role = VideoGalleryItem::Role;
    // Pictures are read when painted: a new one needs only a paint.
    const auto picture = [](int role) {
        return role == Qt::DecorationRole || role == Role::SoloThumbnailRole || role == Role::MetadataLoadedRole;
    };
    if (!roles.isEmpty() && std::all_of(roles.begin(), roles.end(), picture)) {
        cell_.isLoaded = role(Role::MetadataLoadedRole).toBool();
        updateSpinnerBackdrop();
        update();
        return;
    }
    cell_.title = role(Qt::DisplayRole).toString();
    cell_.statusText = role(Role::StatusTextRole).toString();
    cell_.errorText = role(Role::ErrorTextRole).toString();
    cell_.fileName = role(Role::FileNameRole).toString();
    cell_.path = role(Role::PathRole).toString();
    const QVariant overlay = role(Role::OverlayRole);
    cell_.overlay = overlay.isValid() ? std::optional(overlay.value<VideoOverlayMetadata>()) : std::nullopt;
    cell_.clip = qobject_cast<GalleryClip*>(role(Role::ClipRole).value<QObject*>());
    cell_.isPlaceholder = role(Role::IsPlaceholderRole).toBool();
    cell_.isFailedJob = role(Role::IsFailedJobRole).toBool();
    cell_.isLoaded = role(Role::MetadataLoadedRole).toBool();

    // Job cards: no preview, no buttons, a spinner while the job waits or runs.
    if (cell_.isPlaceholder && !cell_.isFailedJob) {
        hover_->cancel();
        if (!spinner_) {
            spinner_ = new Spinner({SpinnerLook::Style::spokes, Qt::white, spinnerLineWidth(scale_)},
                                   spinnerSpan(scale_) + spinnerLineWidth(scale_), this);
            spinner_->setObjectName(QStringLiteral("jobSpinner"));
            spinner_->show();
            backdropSource_ = 0;
        }
    } else if (spinner_) {
        delete spinner_;
        spinner_ = nullptr;
    }
    setAccessibleName(cell_.title.isEmpty() ? cell_.statusText : cell_.title);
    for (CardActionButton* button : std::as_const(buttons_)) {
        const bool removes = button->objectName() == QLatin1String("failedJobRemoveButton");
        button->setVisible(removes ? cell_.isFailedJob : !cell_.isPlaceholder);
    }
    if (error_->text() != cell_.errorText)
        error_->setText(cell_.errorText);
    error_->setVisible(cell_.isFailedJob);
    setAccessibleDescription(cell_.errorText);
    // The whole error, when the card is too small for it.
    setToolTip(plainToolTip(cell_.errorText));
    layoutButtons();
    update();
}

void VideoItemLogicView::setLayoutValues(int columns, double scale) {
    if (columns_ == columns && qFuzzyCompare(scale_, scale))
        return;
    columns_ = columns;
    scale_ = scale;
    layoutButtons();
    update();
}

int VideoItemLogicView::heightFor(int width, int columns, double scale) {
    const CardMetrics m = CardMetrics::forColumns(columns);
    double media = width * 9.0 / 16.0;
    if (columns == 1)
        media = std::min(media, 500 * scale);
    const QFontMetricsF title(fontOf(m.titleFontSize * scale, QFont::Normal));
    const QFontMetricsF detail(fontOf(m.detailFontSize * scale, QFont::Medium));
    const double row =
        std::max(detail.height(), double(m.detailFontSize * scale)) + 2 * m.buttonPaddingVertical * scale;
    return int(std::ceil(media + 8 * scale + title.height() + 6 * scale + row));
}

QRect VideoItemLogicView::mediaRect() const {
    return mediaRectFor(width(), columns_, scale_);
}

QRect VideoItemLogicView::mediaRectFor(int cardWidth, int columns, double scale) {
    double height = cardWidth * 9.0 / 16.0;
    if (columns == 1)
        height = std::min(height, 500 * scale);
    const double width = std::min<double>(cardWidth, height * 16.0 / 9.0);
    return QRectF((cardWidth - width) / 2, 0, width, height).toRect();
}

void VideoItemLogicView::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    layoutButtons();
}

void VideoItemLogicView::layoutButtons() {
    const CardMetrics m = CardMetrics::forColumns(columns_);
    const int rowTop = mediaRect().bottom() + 1 + int(8 * scale_) +
                       int(std::ceil(QFontMetricsF(fontOf(m.titleFontSize * scale_, QFont::Normal)).height())) +
                       int(6 * scale_);
    QList<CardActionButton*> shown;
    for (CardActionButton* button : std::as_const(buttons_)) {
        button->setMetrics(m, scale_);
        if (!button->isHidden())
            shown << button;
    }
    // In a card narrower than its buttons, their side padding gives way first, then a one-column card's labels:
    // every button stays whole inside the card.
    const double room = width() - 2 * 4 * scale_;
    const auto widthAt = [&](double share, bool labels) {
        double sum = std::max<qsizetype>(0, shown.size() - 1) * m.buttonSpacing * scale_;
        for (CardActionButton* button : std::as_const(shown)) {
            button->setFit(share, labels);
            sum += button->sizeHint().width();
        }
        return sum;
    };
    bool labels = true;
    double share = 1;
    if (widthAt(1, true) > room) {
        if (m.showsButtonLabels && widthAt(0, true) > room)
            labels = false;
        const double full = widthAt(1, labels);
        const double bare = widthAt(0, labels);
        share = full > room && full > bare ? std::clamp((room - bare) / (full - bare), 0.0, 1.0) : 1.0;
    }
    int x = width() - int(4 * scale_);
    for (auto it = shown.rbegin(); it != shown.rend(); ++it) {
        CardActionButton* button = *it;
        button->setFit(share, labels);
        const QSize size = button->sizeHint();
        x -= size.width();
        button->setGeometry(x, rowTop, size.width(), size.height());
        x -= int(m.buttonSpacing * scale_);
    }
    layoutError();
    layoutSpinner();
}

void VideoItemLogicView::layoutError() {
    if (error_->isHidden())
        return;
    const QRect media = mediaRect();
    const double symbol = spinnerSpan(scale_);
    const QFont font = fontOf(12 * scale_, QFont::Medium);
    error_->setFont(font);
    const int margin = int(12 * scale_);
    const int width = std::max(1, media.width() - 2 * margin);
    const int room = std::max(0, media.height() - int(symbol + 8 * scale_) - 2 * margin);
    // The lines that fit, the last cut at the tail; the whole error is the card's tooltip.
    if (error_->text() != cell_.errorText)
        error_->setText(cell_.errorText);
    if (error_->heightForWidth(width) > room) {
        const int lines = room / std::max(1, QFontMetrics(font).lineSpacing());
        error_->setText(
            fitLines(cell_.errorText, QFontMetrics(font), width, lines, LongWords::broken).join(QLatin1Char('\n')));
    }
    const int height = std::min(error_->text().isEmpty() ? 0 : error_->heightForWidth(width), room);
    // Symbol and text centred together in the picture.
    const int above = int(symbol + 8 * scale_);
    error_->setGeometry(media.left() + margin, media.top() + (media.height() - above - height) / 2 + above, width,
                        height);
}

double VideoItemLogicView::placeholderTop(const QRect& media) const {
    const double textHeight = QFontMetricsF(fontOf(14 * scale_, QFont::DemiBold)).height();
    return media.center().y() - (spinnerSpan(scale_) + 8 * scale_ + textHeight) / 2;
}

void VideoItemLogicView::layoutSpinner() {
    if (!spinner_)
        return;
    spinner_->setLineWidth(spinnerLineWidth(scale_));
    spinner_->setDiameter(spinnerSpan(scale_) + spinnerLineWidth(scale_));
    const QRect media = mediaRect();
    const QPointF centre(media.center().x(), placeholderTop(media) + spinnerSpan(scale_) / 2);
    const QRect before = spinner_->geometry();
    spinner_->move(QPointF(centre.x() - spinner_->width() / 2.0, centre.y() - spinner_->height() / 2.0).toPoint());
    // The backdrop is cut at the next paint, for the size the card ends up with: a card is laid out several
    // times on its way to the screen, and each cut would scale the job's picture again.
    if (spinner_->geometry() != before)
        update();
}

void VideoItemLogicView::updateSpinnerBackdrop() {
    if (!spinner_)
        return;
    const QRect media = mediaRect();
    const QRect square = spinner_->geometry();
    // Only where the picture lies flat under the whole square, clear of the rounded corners.
    constexpr int corner = 12;
    if (media.isEmpty() || !media.adjusted(corner, corner, -corner, -corner).contains(square)) {
        backdropSource_ = 0;
        spinner_->setBackdrop({});
        return;
    }
    const QPixmap& picture = placeholderPicture(media);
    if (picture.cacheKey() == backdropSource_ && square == backdropSquare_)
        return;
    const qreal ratio = picture.devicePixelRatio();
    const QRect piece =
        QRectF(QPointF(square.topLeft() - media.topLeft()) * ratio, QSizeF(square.size()) * ratio).toRect();
    QPixmap backdrop = picture.copy(piece);
    backdrop.setDevicePixelRatio(ratio);
    backdropSource_ = picture.cacheKey();
    backdropSquare_ = square;
    spinner_->setBackdrop(backdrop);
}

QStringList VideoItemLogicView::badgeTexts() const {
    QStringList texts;
    for (const CardBadge& badge : cardBadges(cell_.overlay, columns_))
        texts << (badge.text.isEmpty() ? badge.symbol : badge.text);
    return texts;
}

void VideoItemLogicView::paintEvent(QPaintEvent*) {
    // A new pixel ratio reaches the card as a paint: the spinner's backdrop follows before the spinner paints.
    updateSpinnerBackdrop();
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    const QRect media = mediaRect();
    const QPainterPath shape = continuousRoundedRect(QRectF(media).adjusted(0.5, 0.5, -0.5, -0.5), 12);
    painter.fillPath(shape, Theme::instance().color(ColorRole::controlBackground));
    painter.save();
    painter.setClipPath(shape);
    if (cell_.isPlaceholder)
        paintPlaceholder(painter, media);
    else
        paintMedia(painter, media);
    painter.restore();
    painter.setPen(QPen(withOpacity(Theme::instance().color(ColorRole::secondary), 0.2), 1));
    painter.drawPath(shape);
    if (showsFocusRing())
        FocusRing::paint(painter, QRectF(media), 12, this);
    paintInfo(painter);
}

void VideoItemLogicView::paintMedia(QPainter& painter, const QRect& rect) {
    // One column shows the sharper picture once it is there.
    const QImage solo = columns_ == 1 ? role(VideoGalleryItem::SoloThumbnailRole).value<QImage>() : QImage();
    const QImage picture = solo.isNull() ? role(Qt::DecorationRole).value<QImage>() : solo;
    if (!picture.isNull()) {
        // Scaled once per size, not on every paint.
        const qreal ratio = devicePixelRatioF();
        const QSize pixels = (QSizeF(rect.size()) * ratio).toSize();
        const ScaledPicture::Key key{picture.cacheKey(), pixels, ratio};
        if (scaled_.key != key) {
            QPixmap pixmap = QPixmap::fromImage(GalleryClip::coverPicture(picture, pixels));
            pixmap.setDevicePixelRatio(ratio);
            scaled_ = {key, pixmap};
        }
        painter.drawPixmap(rect.topLeft(), scaled_.pixmap);
        return;
    }
    painter.fillRect(rect, Qt::black);
    const QColor faint = withOpacity(Qt::white, 0.7);
    const double symbol = 20 * scale_;
    const QFont font = fontOf(10 * scale_, QFont::Normal);
    const QFontMetricsF fm(font);
    const double textWidth = rect.width() - 16 * scale_;
    const QStringList lines = fallbackNameLines(cell_.fileName, font, textWidth);
    const double textHeight = lines.size() * fm.height();
    const double top = rect.center().y() - (symbol + 8 * scale_ + textHeight) / 2;
    painter.drawPixmap(QPointF(rect.center().x() - symbol / 2, top),
                       symbolPixmap(QStringLiteral("video"), symbol, faint, devicePixelRatioF()));
    painter.setFont(font);
    painter.setPen(faint);
    double y = top + symbol + 8 * scale_;
    for (const QString& line : lines) {
        painter.drawText(QRectF(rect.left() + 8 * scale_, y, textWidth, fm.height()), Qt::AlignHCenter | Qt::AlignTop,
                         line);
        y += fm.height();
    }
}

QStringList VideoItemLogicView::fallbackNameLines(const QString& name, const QFont& font, double width) {
    return fitLines(name, QFontMetrics(font), int(width), 2, LongWords::broken);
}

QStringList VideoItemLogicView::fallbackNameLines() const {
    return fallbackNameLines(cell_.fileName, fontOf(10 * scale_, QFont::Normal), mediaRect().width() - 16 * scale_);
}

const QPixmap& VideoItemLogicView::placeholderPicture(const QRect& media) {
    const QImage reference = role(Qt::DecorationRole).value<QImage>();
    const QColor background = Theme::instance().color(ColorRole::controlBackground);
    const qreal ratio = devicePixelRatioF();
    const ScaledPicture::Key key{reference.cacheKey(), (QSizeF(media.size()) * ratio).toSize(), ratio,
                                 background.rgba(), cell_.isFailedJob ? 166 : 128};
    if (placeholder_.key == key)
        return placeholder_.pixmap;
    // The reference is often a full-size photograph: scaled once, not on every frame of the spinner, and kept
    // in the application's pixmap cache for the cards that show the same job again (another pane, the same size
    // once more).
    const QString cacheName = QStringLiteral("orvane-job-placeholder-%1-%2x%3-%4-%5-%6")
                                  .arg(key.source)
                                  .arg(key.pixels.width())
                                  .arg(key.pixels.height())
                                  .arg(key.ratio)
                                  .arg(key.background)
                                  .arg(key.veil);
    QPixmap cached;
    if (QPixmapCache::find(cacheName, &cached)) {
        placeholder_ = {key, cached};
        return placeholder_.pixmap;
    }
    QImage canvas(key.pixels, QImage::Format_ARGB32_Premultiplied);
    canvas.setDevicePixelRatio(ratio);
    {
        QPainter painter(&canvas);
        const QRectF area(QPointF(0, 0), canvas.deviceIndependentSize());
        painter.fillRect(area, background);
        if (!reference.isNull())
            paintFilled(painter, area, reference);
        else
            painter.fillRect(area, Qt::black);
        painter.fillRect(area, QColor(0, 0, 0, key.veil));
    }
    placeholder_ = {key, QPixmap::fromImage(std::move(canvas))};
    QPixmapCache::insert(cacheName, placeholder_.pixmap);
    return placeholder_.pixmap;
}

void VideoItemLogicView::paintPlaceholder(QPainter& painter, const QRect& rect) {
    painter.drawPixmap(rect.topLeft(), placeholderPicture(rect));

    const double spinner = spinnerSpan(scale_);
    if (cell_.isFailedJob) {
        // The error itself is the label laid out below the symbol.
        const double top = error_->y() - 8 * scale_ - spinner;
        painter.drawPixmap(QPointF(rect.center().x() - spinner / 2, top),
                           symbolPixmap(QStringLiteral("exclamationmark.triangle"), spinner,
                                        Theme::instance().color(ColorRole::red), devicePixelRatioF()));
        return;
    }
    // The spinner is its own widget, laid out above the text.
    const QFont font = fontOf(14 * scale_, QFont::DemiBold);
    const double textHeight = QFontMetricsF(font).height();
    const double top = placeholderTop(rect);
    painter.setFont(font);
    painter.setPen(Qt::white);
    painter.drawText(QRectF(rect.left(), top + spinner + 8 * scale_, rect.width(), textHeight), Qt::AlignCenter,
                     cell_.statusText);
}

void VideoItemLogicView::paintInfo(QPainter& painter) {
    const CardMetrics m = CardMetrics::forColumns(columns_);
    const QColor primary = Theme::instance().color(ColorRole::primary);
    const QColor secondary = Theme::instance().color(ColorRole::secondary);
    const double pad = 4 * scale_;
    const QFont titleFont = fontOf(m.titleFontSize * scale_, QFont::Normal);
    const QFontMetricsF titleMetrics(titleFont);
    const double titleTop = mediaRect().bottom() + 1 + 8 * scale_;
    painter.setFont(titleFont);
    painter.setPen(primary);
    const QRectF titleBox(pad, titleTop, width() - 2 * pad, titleMetrics.height());
    painter.drawText(titleBox, Qt::AlignLeft | Qt::AlignVCenter,
                     titleMetrics.elidedText(cell_.title, Qt::ElideRight, titleBox.width()));

    const double rowTop = titleTop + std::ceil(titleMetrics.height()) + 6 * scale_;
    const double rowHeight = std::max(QFontMetricsF(fontOf(m.detailFontSize * scale_, QFont::Medium)).height(),
                                      double(m.detailFontSize * scale_)) +
                             2 * m.buttonPaddingVertical * scale_;
    double x = pad;
    double limit = width() - pad;
    for (const CardActionButton* button : buttons_) {
        if (!button->isHidden())
            limit = std::min(limit, button->x() - 4 * scale_);
    }
    for (const CardBadge& badge : cardBadges(cell_.overlay, columns_)) {
        const bool flag = !badge.symbol.isEmpty();
        const QFont font = fontOf(m.detailFontSize * scale_, flag ? QFont::DemiBold : QFont::Medium);
        const QFontMetricsF fm(font);
        double width = badge.text.isEmpty() ? 0 : fm.horizontalAdvance(badge.text);
        const double symbol = (m.detailFontSize - 1) * scale_;
        if (flag)
            width += symbol + (badge.text.isEmpty() ? 0 : 3 * scale_);
        if (x + width > limit)
            break;
        double at = x;
        if (flag) {
            painter.drawPixmap(QPointF(at, rowTop + (rowHeight - symbol) / 2),
                               symbolPixmap(badge.symbol, symbol, secondary, devicePixelRatioF()));
            at += symbol + 3 * scale_;
        }
        if (!badge.text.isEmpty()) {
            painter.setFont(font);
            painter.setPen(secondary);
            painter.drawText(QRectF(at, rowTop, width, rowHeight), Qt::AlignLeft | Qt::AlignVCenter, badge.text);
        }
        x += width + 8 * scale_;
    }
}

void VideoItemLogicView::setCurrent(bool current, bool focused) {
    if (current_ == current && focused_ == focused)
        return;
    current_ = current;
    focused_ = focused;
    for (CardActionButton* button : std::as_const(buttons_))
        button->setFocusPolicy(current ? Qt::TabFocus : Qt::NoFocus);
    update();
}

QList<QWidget*> VideoItemLogicView::focusableButtons() const {
    QList<QWidget*> list;
    for (CardActionButton* button : buttons_) {
        if (!button->isHidden())
            list.append(button);
    }
    return list;
}

std::unique_ptr<QMimeData> VideoItemLogicView::makeDragMimeData() const {
    if (cell_.isPlaceholder || cell_.path.isEmpty())
        return nullptr;
    return std::make_unique<ClipDragMimeData>(cell_.path);
}

void VideoItemLogicView::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) {
        pressed_ = true;
        pressPosition_ = event->position().toPoint();
        emit pressed();
        // Taken here, so the click focuses the grid around this card.
        event->accept();
        return;
    }
    QWidget::mousePressEvent(event);
}

void VideoItemLogicView::mouseMoveEvent(QMouseEvent* event) {
    if (!pressed_ || !(event->buttons() & Qt::LeftButton) ||
        (event->position().toPoint() - pressPosition_).manhattanLength() < QApplication::startDragDistance()) {
        QWidget::mouseMoveEvent(event);
        return;
    }
    pressed_ = false;
    auto data = makeDragMimeData();
    if (!data)
        return; // a job card offers nothing
    QPointer<VideoItemLogicView> self(this);
    auto* drag = new QDrag(this);
    drag->setMimeData(data.release());
    drag->setPixmap(grab(mediaRect()).scaledToWidth(std::min(200, mediaRect().width()), Qt::SmoothTransformation));
    drag->exec(dragActions(), Qt::CopyAction);
}
