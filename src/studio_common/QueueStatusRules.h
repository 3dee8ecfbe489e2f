#pragma once

#include <QObject>
#include <QPointer>
#include <QString>

class QueueManager;

// What a studio's queue status capsule shows, read from the queue: the other studio's work.
namespace StudioRules {

enum class IndicatorTab { photo, video };
// The queue's parallel video generations, one dot each.
constexpr int videoSlots = 4;
struct IndicatorState {
    bool visible = false;
    QString text;
    int activeSlots = 0; // video capsule: how many of the four dots are lit
    bool spinner = false;
};
IndicatorState indicatorState(const QueueManager& queue, IndicatorTab tab);

} // namespace StudioRules

// A queue status capsule's view model: what it shows for its tab, and when that changes.
class QueueStatusModel final : public QObject {
    Q_OBJECT
public:
    // Without a queue it shows nothing.
    QueueStatusModel(QueueManager* queue, StudioRules::IndicatorTab tab, QObject* parent = nullptr);
    StudioRules::IndicatorState state() const;

signals:
    void stateChanged();

private:
    QPointer<QueueManager> queue_;
    StudioRules::IndicatorTab tab_;
};
