#include "UserPresetListView.h"

#include "Controls.h"
#include "FocusRing.h"
#include "Glass.h"
#include "Popover.h"
#include "PresetListModels.h"
#include "PresetPictureCache.h"
#include "Spinner.h"
#include "Theme.h"
#include "UserPresetCard.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QFrame>
#include <QKeyEvent>
#include <QPainter>
#include <QPointer>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

// The card menu's body: the control background over the popover's own, inside its rounded outline.
class MenuBody final : public QWidget {
public:
    using QWidget::QWidget;

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        const QRectF inside = QRectF(rect()).adjusted(1, 1, -1, -1);
        painter.fillPath(continuousRoundedRect(inside, Popover::cornerRadius - 1),
                         Theme::color(ColorRole::controlBackground, this));
    }
};

// An entry of the card menu: Return and the keypad's Enter choose it as Space does. A menu is no dialog, where a
// push button would take them as its default button.
class MenuEntry final : public QPushButton {
public:
    using QPushButton::QPushButton;

protected:
    void keyPressEvent(QKeyEvent* event) override {
        if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) &&
            (event->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier) {
            click();
            return;
        }
        QPushButton::keyPressEvent(event);
    }
};

} // namespace

UserPresetListView::UserPresetListView(QAbstractItemModel* model, int spacing, bool wholeCardSelects, QWidget* parent)
    : CardListView(parent) {
    pictures_ = new PresetPictureCache(QSize(400, UserPresetCard::kPictureHeight), this);
    delegate_ = new UserPresetCard(pictures_, spacing, wholeCardSelects, this);
    setModel(model);
    setItemDelegate(delegate_);
    connect(pictures_, &PresetPictureCache::pictureReady, viewport(), qOverload<>(&QWidget::update));
    connect(pictures_, &PresetPictureCache::pictureReady, this, &UserPresetListView::placeLoadingRings);
    connect(delegate_, &UserPresetCard::selectRequested, this,
            [this](const QModelIndex& index) { emit selectRequested(index.row()); });
    connect(this, &CardListView::cardChosen, this,
            [this](const QModelIndex& index) { emit selectRequested(index.row()); });
    connect(delegate_, &UserPresetCard::menuRequested, this,
            [this](const QModelIndex& index, const QRect& anchor) { showMenu(index.row(), anchor); });
}

QWidget* UserPresetListView::openMenu() const {
    return menu_ && menu_->isVisible() ? menu_ : nullptr;
}

void UserPresetListView::resizeEvent(QResizeEvent* event) {
    CardListView::resizeEvent(event);
    // Card heights do not change with the width, but their width does.
    doItemsLayout();
}

void UserPresetListView::updateGeometries() {
    CardListView::updateGeometries();
    placeLoadingRings();
}

void UserPresetListView::scrollContentsBy(int dx, int dy) {
    CardListView::scrollContentsBy(dx, dy);
    placeLoadingRings();
}

QList<Spinner*> UserPresetListView::loadingRings() const {
    QList<Spinner*> shown;
    for (Spinner* ring : rings_) {
        if (!ring->isHidden())
            shown.append(ring);
    }
    return shown;
}

void UserPresetListView::placeLoadingRings() {
    // Rings are widgets of the kit over the painted cards, one per visible card without its picture: they turn
    // while shown and stand still (no timer) once hidden, with the list or on their own.
    QAbstractItemModel* rows = model();
    const QRect visible = viewport()->rect();
    int used = 0;
    const QModelIndex first = indexAt(QPoint(visible.center().x(), visible.top()));
    for (int row = first.isValid() ? first.row() : 0; rows && row < rows->rowCount(); ++row) {
        const QModelIndex index = rows->index(row, 0);
        const QRect item = visualRect(index);
        if (item.top() > visible.bottom())
            break;
        if (!item.intersects(visible) || !index.data(PresetRoles::HasPicture).toBool())
            continue;
        const auto state =
            pictures_->peek(index.data(PresetRoles::Id).toUuid(), index.data(PresetRoles::PictureData).toByteArray());
        if (state == PresetPictureCache::State::ready)
            continue;
        if (used == rings_.size()) {
            auto* ring = new Spinner({SpinnerLook::Style::arc, Qt::white, 3, 0.25}, 35.4, viewport());
            ring->setObjectName(QStringLiteral("presetCardLoadingRing"));
            ring->setAccessibleName(QStringLiteral("Loading"));
            rings_.append(ring);
        }
        Spinner* ring = rings_[used++];
        const QRect picture = UserPresetCard::geometry(item, index).picture;
        ring->move(picture.center() - QPoint(ring->width() / 2, ring->height() / 2) + QPoint(1, 1));
        ring->show();
    }
    for (int i = used; i < rings_.size(); ++i)
        rings_[i]->hide();
}

void UserPresetListView::keyPressEvent(QKeyEvent* event) {
    const bool menuKey = event->key() == Qt::Key_Menu && event->modifiers() == Qt::NoModifier;
    const bool shiftF10 = event->key() == Qt::Key_F10 && event->modifiers() == Qt::ShiftModifier;
    if (menuKey || shiftF10) {
        event->accept();
        showCurrentMenu();
        return;
    }
    CardListView::keyPressEvent(event);
}

void UserPresetListView::contextMenuEvent(QContextMenuEvent* event) {
    // The menu key also comes as a context menu request of its own, after its key press.
    if (event->reason() != QContextMenuEvent::Keyboard) {
        CardListView::contextMenuEvent(event);
        return;
    }
    event->accept();
    showCurrentMenu();
}

void UserPresetListView::showCurrentMenu() {
    const QModelIndex index = currentIndex();
    if (!index.isValid() || openMenu())
        return;
    scrollTo(index);
    closedAt_.invalidate();
    showMenu(index.row(), UserPresetCard::geometry(visualRect(index), index).card);
}

void UserPresetListView::showMenu(int row, const QRect& anchor) {
    // A second click on "ellipsis" while the menu is open closes it: the press outside the popover already
    // closed it, so the click that follows must not open it again.
    if (openMenu()) {
        menu_->close();
        return;
    }
    if (row == closedRow_ && closedAt_.isValid() && closedAt_.elapsed() < QApplication::doubleClickInterval()) {
        closedAt_.invalidate();
        return;
    }
    // The popover points at the bottom centre of the card.
    if (!anchor_) {
        anchor_ = new QWidget(viewport());
        anchor_->setObjectName(QStringLiteral("presetCardMenuAnchor"));
        anchor_->setAttribute(Qt::WA_TransparentForMouseEvents);
    }
    anchor_->setGeometry(anchor.center().x() - 1, anchor.bottom() - 1, 2, 2);
    anchor_->show();

    auto* popover = new Popover(anchor_);
    popover->setObjectName(QStringLiteral("presetCardMenu"));
    popover->setAccessibleName(QStringLiteral("Preset actions"));
    popover->setAttribute(Qt::WA_DeleteOnClose);
    auto* content = new MenuBody;
    content->setObjectName(QStringLiteral("presetCardMenuBody"));
    content->setFixedWidth(120);
    auto* layout = new QVBoxLayout(content);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    auto entry = [&](const QString& title, const QString& name, const QColor& color) {
        auto* button = new MenuEntry(title, content);
        button->setObjectName(name);
        button->setAccessibleName(title);
        button->setFlat(true);
        button->setCursor(Qt::PointingHandCursor);
        button->setStyleSheet(QStringLiteral("QPushButton { text-align: left; padding: 8px 16px; border: none;"
                                             " background: transparent; color: %1; }")
                                  .arg(color.name(QColor::HexArgb)));
        FocusRing::attach(button, 0);
        layout->addWidget(button);
        return button;
    };
    QPushButton* edit =
        entry(QStringLiteral("Edit"), QStringLiteral("editPresetButton"), Theme::color(ColorRole::primary, this));
    auto* divider = new QFrame(content);
    divider->setFixedHeight(1);
    divider->setStyleSheet(QStringLiteral("background: %1;")
                               .arg(withOpacity(Theme::color(ColorRole::secondary, this), 0.3).name(QColor::HexArgb)));
    layout->addWidget(divider);
    QPushButton* remove =
        entry(QStringLiteral("Delete"), QStringLiteral("deletePresetButton"), Theme::color(ColorRole::red, this));
    popover->setContent(content);

    QPointer<UserPresetListView> self(this);
    QPointer<Popover> menu(popover);
    // The menu closes first, then the panel acts (it may show the form or a confirmation).
    auto act = [self, menu, row](void (UserPresetListView::*signal)(int)) {
        if (menu)
            menu->close();
        if (self)
            QMetaObject::invokeMethod(
                self, [self, row, signal] { emit(self->*signal)(row); }, Qt::QueuedConnection);
    };
    connect(edit, &QPushButton::clicked, this, [act] { act(&UserPresetListView::editRequested); });
    connect(remove, &QPushButton::clicked, this, [act] { act(&UserPresetListView::deleteRequested); });
    connect(popover, &Popover::closed, this, [this, row] {
        // Only a press outside the popover (a button is down) can be the first half of a closing click.
        if (QApplication::mouseButtons() == Qt::NoButton)
            return;
        closedRow_ = row;
        closedAt_.start();
    });
    menu_ = popover;
    popover->popup();
}
