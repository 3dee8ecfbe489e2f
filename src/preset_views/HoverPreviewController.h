#pragma once

#include <QHash>
#include <QObject>

#include <functional>

class HoverDelay;

// The hover reactions of a list of preview cards, one pending reaction per card: resting on a card for
// 200 ms plays its clip, leaving it stops the shared player after 150 ms, and each hover change of a card
// cancels that card's pending reaction. Reactions are parented to this object, so none runs after it is gone.
class HoverPreviewController final : public QObject {
    Q_OBJECT
public:
    HoverPreviewController(std::function<void(int row)> play, std::function<void()> stop, QObject* parent = nullptr);
    ~HoverPreviewController() override;

    // The pointer moved onto `row` (-1: off every card): the previous card gets its leave, the new one its enter.
    void setHoveredRow(int row);
    int hoveredRow() const { return hoveredRow_; }
    // The cards moved under a pointer that stayed put (a scroll); `row` is the card under it now. The pointer
    // rests on that card only once the list stops, so its 200 ms start again even when it is the same card.
    void cardsMovedUnderPointer(int row);
    void hover(int row, bool hovered);
    // Forgets the hovered card and drops every pending reaction without running it.
    void reset();

private:
    HoverDelay* delayFor(int row);

    std::function<void(int)> play_;
    std::function<void()> stop_;
    QHash<int, HoverDelay*> delays_;
    int hoveredRow_ = -1;
};
