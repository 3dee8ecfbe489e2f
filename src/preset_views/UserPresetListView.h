#pragma once

#include "CardListView.h"

#include <QElapsedTimer>
#include <QPointer>

class PresetPictureCache;
class Spinner;
class UserPresetCard;

// The scrolling column of a user's own presets (image presets or prompt presets), painted as cards; a card's
// "ellipsis" (or the menu key, or Shift+F10, on the current card) opens a small menu with "Edit" and "Delete".
class UserPresetListView final : public CardListView {
    Q_OBJECT
public:
    UserPresetListView(QAbstractItemModel* model, int spacing, bool wholeCardSelects, QWidget* parent = nullptr);

    UserPresetCard* cardDelegate() const { return delegate_; }
    PresetPictureCache* pictures() const { return pictures_; }
    // The open card menu, if any.
    QWidget* openMenu() const;
    // The turning rings shown over the pictures of visible cards that have none to show yet (still decoding, or
    // data that does not decode).
    QList<Spinner*> loadingRings() const;

signals:
    void selectRequested(int row);
    void editRequested(int row);
    void deleteRequested(int row);

protected:
    void resizeEvent(QResizeEvent* event) override;
    void updateGeometries() override;
    void scrollContentsBy(int dx, int dy) override;
    void keyPressEvent(QKeyEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    void showMenu(int row, const QRect& anchor);
    // The current card's menu, from the keyboard; never closes an open one.
    void showCurrentMenu();
    void placeLoadingRings();

    PresetPictureCache* pictures_;
    UserPresetCard* delegate_;
    QPointer<QWidget> menu_;
    QPointer<QWidget> anchor_;
    QList<Spinner*> rings_;
    int closedRow_ = -1;
    QElapsedTimer closedAt_;
};
