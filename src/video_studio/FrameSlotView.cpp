#include "FrameSlotView.h"

#include "Controls.h"
#include "Dialogs.h"
#include "FrameImageIntake.h"
#include "Glass.h"
#include "GlassButtons.h"
#include "ImageTiles.h"
#include "VideoWorkspaceModel.h"
#include "WrappedText.h"

#include <QDragEnterEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QMimeData>
#include <QPainter>
#include <QPainterPath>
#include <QToolButton>
#include <QVBoxLayout>

namespace {

// Tiles show at most this many pixels on their long side; bigger pictures are scaled on a worker.
constexpr int previewSide = 1024;

struct ZoneTexts {
    QString title;
    QString caption;
};

ZoneTexts textsFor(FrameSlotView::Kind kind) {
    switch (kind) {
    case FrameSlotView::Kind::reference:
        return {"Add reference image", "PNG, JPG, JPEG (max 10MB) - first frame of your video"};
    case FrameSlotView::Kind::start:
        return {"Add start image", "PNG, JPG, JPEG (max 10MB)"};
    case FrameSlotView::Kind::end:
        return {"Add end image", "PNG, JPG, JPEG (max 10MB)"};
    }
    return {};
}

QString nameOf(FrameSlotView::Kind kind) {
    switch (kind) {
    case FrameSlotView::Kind::reference:
        return "referenceFrame";
    case FrameSlotView::Kind::start:
        return "startFrame";
    case FrameSlotView::Kind::end:
        return "endFrame";
    }
    return {};
}

QImage previewOf(const QImage& image) {
    if (image.width() <= previewSide && image.height() <= previewSide)
        return image;
    return image.scaled(previewSide, previewSide, Qt::KeepAspectRatio, Qt::SmoothTransformation);
}

} // namespace

FrameSlotView::FrameSlotView(Kind kind, VideoWorkspaceModel* model, QWidget* parent)
    : QWidget(parent), kind_(kind), model_(model) {
    setObjectName(nameOf(kind) + "Slot");
    setAcceptDrops(true);
    // One page shows at a time, and the slot is as tall as that page: a filled slot is as tall as its picture.
    auto* pages = new QVBoxLayout(this);
    pages->setContentsMargins(0, 0, 0, 0);

    const ZoneTexts texts = textsFor(kind);
    zone_ = new QWidget(this);
    zone_->setObjectName(nameOf(kind) + "DropZone");
    zone_->setAccessibleName(texts.title);
    zone_->setMinimumHeight(120);
    zone_->setCursor(Qt::PointingHandCursor);
    auto* column = new QVBoxLayout(zone_);
    column->setSpacing(4);
    // The texts wrap, so two zones side by side fit a narrow pane; the circle sets how narrow.
    const QMargins margins = column->contentsMargins();
    column->setContentsMargins(0, margins.top(), 0, margins.bottom());
    auto* title = new WrappedText(texts.title, Qt::AlignCenter, zone_);
    title->setObjectName(nameOf(kind) + "DropTitle");
    title->setFont(Theme::font(13, QFont::DemiBold));
    auto* iconButton = new GlassIconButton("arrow.down.circle", texts.title, 64, 40, zone_);
    dropIcon_ = iconButton;
    iconButton->setObjectName(nameOf(kind) + "DropIcon");
    iconButton->setSymbolColor(Theme::instance().color(ColorRole::blue));
    connect(iconButton, &GlassButton::clicked, this, &FrameSlotView::chooseFrameImage);
    auto* caption = new WrappedText(texts.caption, Qt::AlignCenter, zone_);
    caption->setObjectName(nameOf(kind) + "DropCaption");
    caption->setFont(Theme::font(11));
    Controls::setTextColor(caption, ColorRole::secondary);
    column->addStretch(1);
    column->addWidget(title);
    column->addSpacing(4);
    column->addWidget(iconButton, 0, Qt::AlignHCenter);
    column->addSpacing(4);
    column->addWidget(caption);
    column->addStretch(1);
    pages->addWidget(zone_);

    tileHolder_ = new QWidget(this);
    auto* holderLayout = new QVBoxLayout(tileHolder_);
    holderLayout->setContentsMargins(0, 0, 0, 0);
    pages->addWidget(tileHolder_);
    tileHolder_->hide();

    connect(model_, &VideoWorkspaceModel::framesChanged, this, &FrameSlotView::refresh);
    refresh();
}

std::optional<QImage> FrameSlotView::currentImage() const {
    return slot() == ImageType::first ? model_->firstFrameImage() : model_->lastFrameImage();
}

void FrameSlotView::refresh() {
    const std::optional<QImage> image = currentImage();
    if (!image) {
        preview_.forget();
        shownKey_ = pendingKey_ = 0;
        shown_ = QImage();
        showPage(zone_);
        dropTile();
        setAcceptDrops(true);
        return;
    }
    const qint64 key = image->cacheKey();
    if (key == shownKey_ || key == pendingKey_)
        return;
    if (image->width() <= previewSide && image->height() <= previewSide) {
        preview_.forget();
        pendingKey_ = 0;
        shownKey_ = key;
        showImage(*image);
        return;
    }
    // Scaling a large photograph takes longer than a frame: do it on a worker, show the latest only.
    pendingKey_ = key;
    preview_.run(
        this, [full = *image] { return previewOf(full); },
        [this, key](const QImage& preview) {
            pendingKey_ = 0;
            shownKey_ = key;
            showImage(preview);
        });
}

void FrameSlotView::showImage(const QImage& preview) {
    shown_ = preview;
    dropTile();
    tileWidget_ = makeTile(preview);
    tileHolder_->layout()->addWidget(tileWidget_);
    showPage(tileHolder_);
    // A filled slot takes no drops and no clicks; its tile's own buttons act.
    setAcceptDrops(false);
    setDragOver(false);
}

QWidget* FrameSlotView::makeTile(const QImage& preview) {
    auto* holder = new QWidget(tileHolder_);
    holder->setObjectName(nameOf(kind_) + "TileHolder");
    auto* layout = new QVBoxLayout(holder);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(6);
    // The section's head already says what the picture is: the tile shows only the picture.
    ImageTile* tile = nullptr;
    if (kind_ == Kind::reference)
        tile = new ReferenceImageView(preview, std::nullopt, holder);
    else
        tile = new VideoFrameImageView(preview, holder);
    tile->setObjectName(nameOf(kind_) + "Tile");
    // Named for what it holds, not for the empty zone's invitation.
    tile->setAccessibleName(kind_ == Kind::reference ? "Reference Image"
                            : kind_ == Kind::start   ? "Start Image"
                                                     : "End Image");
    tile->setKeyboardReachable(true);
    // Where the empty zone's button was in the Tab order, not after everything built before it.
    setTabOrder(dropIcon_, tile);
    layout->addWidget(tile);
    connect(tile, &ImageTile::removeRequested, this, [this] {
        if (slot() == ImageType::first)
            model_->removeFirstFrameImage();
        else
            model_->removeLastFrameImage();
    });
    connect(tile, &ImageTile::downloadRequested, this, [this] { model_->saveFrameImage(slot()); });
    tile_ = tile;
    return holder;
}

void FrameSlotView::dropTile() {
    if (!tileWidget_)
        return;
    // Gone from the slot at once; deleted later, as its own button may be what asked for it.
    tileHolder_->layout()->removeWidget(tileWidget_);
    tileWidget_->hide();
    tileWidget_->deleteLater();
    tileWidget_ = nullptr;
    tile_ = nullptr;
}

void FrameSlotView::showPage(QWidget* page) {
    QWidget* other = page == zone_ ? tileHolder_ : zone_;
    QWidget* focus = window()->focusWidget();
    const bool focusLeaves = focus && other->isAncestorOf(focus);
    page->show();
    other->hide();
    if (!focusLeaves)
        return;
    // The focus stays in the slot: on the new page's last focused control, else its first one in the Tab order.
    if (QWidget* last = page->focusWidget()) {
        last->setFocus();
        return;
    }
    for (QWidget* next = focus->nextInFocusChain(); next != focus; next = next->nextInFocusChain()) {
        if ((next->focusPolicy() & Qt::TabFocus) == Qt::TabFocus && !next->focusProxy() && next->isVisibleTo(page) &&
            next->isEnabled() && page->isAncestorOf(next)) {
            next->setFocus();
            return;
        }
    }
    page->setFocus();
}

void FrameSlotView::chooseFrameImage() {
    if (currentImage())
        return;
    Dialogs::OpenRequest request;
    if (slot() == ImageType::last)
        request.message = "Choose end frame image";
    else if (model_->startEndMode())
        request.message = "Choose start frame image";
    else
        request.message = "Choose an image to use as the first frame of your video";
    request.nameFilters = {"Images (*.png *.jpg *.jpeg *.gif *.tif *.tiff *.bmp)"};
    request.allowsMultipleSelection = false;
    // Non-modal: the answer arrives later, and is dropped if this slot is gone by then.
    Dialogs::current().openFilesAsync(request, this, [this](const QStringList& chosen) {
        if (!chosen.isEmpty())
            model_->intake()->loadFiles(slot(), {chosen.first()});
    });
}

void FrameSlotView::setDragOver(bool on) {
    if (dragOver_ == on)
        return;
    dragOver_ = on;
    update();
}

void FrameSlotView::dragEnterEvent(QDragEnterEvent* event) {
    // Only a drag that brings a picture lights the zone up.
    if (currentImage() || !FrameImageIntake::carriesPicture(*event->mimeData()))
        return;
    setDragOver(true);
    event->acceptProposedAction();
}

void FrameSlotView::dragLeaveEvent(QDragLeaveEvent*) {
    setDragOver(false);
}

void FrameSlotView::dropEvent(QDropEvent* event) {
    setDragOver(false);
    // Refused while the image studio is shown: this studio stays alive, hidden and inert.
    if (currentImage() || !model_->acceptsDrops() || !FrameImageIntake::carriesPicture(*event->mimeData())) {
        event->ignore();
        return;
    }
    const QMimeData* mime = event->mimeData();
    QStringList paths;
    for (const QUrl& url : mime->urls()) {
        if (url.isLocalFile())
            paths.append(url.toLocalFile());
    }
    model_->intake()->loadFiles(slot(), paths);
    if (paths.isEmpty())
        model_->intake()->loadDroppedData(slot(), *mime);
    event->acceptProposedAction();
}

void FrameSlotView::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton && !currentImage() && rect().contains(event->position().toPoint()))
        chooseFrameImage();
}

void FrameSlotView::paintEvent(QPaintEvent*) {
    if (currentImage())
        return;
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF box = QRectF(rect()).adjusted(1, 1, -1, -1);
    QPainterPath path;
    path.addRoundedRect(box, 12, 12);
    if (dragOver_) {
        QColor fill = Theme::instance().color(ColorRole::blue);
        fill.setAlphaF(0.1);
        painter.fillPath(path, fill);
    }
    QColor stroke =
        dragOver_ ? Theme::instance().color(ColorRole::blue) : Theme::instance().color(ColorRole::secondary);
    if (!dragOver_)
        stroke.setAlphaF(0.3);
    QPen pen(stroke, 2);
    pen.setDashPattern({4, 2});
    painter.setPen(pen);
    painter.drawPath(path);
}
