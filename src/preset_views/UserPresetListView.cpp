#include "UserPresetListView.h"

#include "PresetCardDelegates.h"
#include "PresetPictureCache.h"

#include <QMenu>
#include <QPointer>

UserPresetListView::UserPresetListView(QAbstractItemModel* model, int spacing, bool wholeCardSelects, QWidget* parent)
    : QListView(parent) {
    pictures_ = new PresetPictureCache(QSize(400, UserPresetCardDelegate::kPictureHeight), this);
    delegate_ = new UserPresetCardDelegate(pictures_, spacing, wholeCardSelects, this);
    setModel(model);
    setItemDelegate(delegate_);
    setSelectionMode(QAbstractItemView::NoSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setFrameShape(QFrame::NoFrame);
    viewport()->setAutoFillBackground(false);
    connect(pictures_, &PresetPictureCache::pictureReady, viewport(), qOverload<>(&QWidget::update));
    connect(delegate_, &UserPresetCardDelegate::selectRequested, this,
            [this](const QModelIndex& index) { emit selectRequested(index.row()); });
    connect(delegate_, &UserPresetCardDelegate::menuRequested, this,
            [this](const QModelIndex& index, const QRect& anchor) { showMenu(index.row(), anchor); });
}

QWidget* UserPresetListView::openMenu() const {
    return menu_ && menu_->isVisible() ? menu_ : nullptr;
}

void UserPresetListView::resizeEvent(QResizeEvent* event) {
    QListView::resizeEvent(event);
    // Card heights do not change with the width, but their width does.
    doItemsLayout();
}

void UserPresetListView::showMenu(int row, const QRect& anchor) {
    // A second click on "ellipsis" while the menu is open closes it.
    if (openMenu()) {
        menu_->close();
        return;
    }
    auto* menu = new QMenu(this);
    menu->setObjectName(QStringLiteral("presetCardMenu"));
    menu->setAttribute(Qt::WA_DeleteOnClose);
    menu->setFixedWidth(120);
    QAction* edit = menu->addAction(QStringLiteral("Edit"));
    edit->setObjectName(QStringLiteral("editPresetAction"));
    menu->addSeparator();
    QAction* remove = menu->addAction(QStringLiteral("Delete"));
    remove->setObjectName(QStringLiteral("deletePresetAction"));
    QPointer<UserPresetListView> self(this);
    // The menu closes first, then the panel acts (it may show the form or a confirmation).
    connect(edit, &QAction::triggered, this, [self, row] {
        if (self)
            QMetaObject::invokeMethod(
                self, [self, row] { emit self->editRequested(row); }, Qt::QueuedConnection);
    });
    connect(remove, &QAction::triggered, this, [self, row] {
        if (self)
            QMetaObject::invokeMethod(
                self, [self, row] { emit self->deleteRequested(row); }, Qt::QueuedConnection);
    });
    menu_ = menu;
    const QPoint bottomCentre(anchor.center().x() - 60, anchor.bottom());
    menu->popup(viewport()->mapToGlobal(bottomCentre));
}
