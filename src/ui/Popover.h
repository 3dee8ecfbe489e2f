#pragma once

#include <QList>
#include <QPointer>
#include <QWidget>

class QPainterPath;
class QWindow;

// A small floating panel attached to a control: it opens beside its anchor with an arrow pointing at it,
// and closes on Escape or a click outside it. When its content changes size it takes the new size at once, on
// the side it opened on, with its arrow still on the anchor.
//
// It is a tool window of its own (not a Qt::Popup, which assistive tools never see among the application's
// windows): a screen reader finds it as a dialog named after the popover (or, without a name of its own, after
// its anchor), and the keyboard starts on its first named control and tabs in the order of its layout.
class Popover final : public QWidget {
    Q_OBJECT
public:
    // Where the popover opens relative to its anchor.
    enum class Edge { below, above };

    explicit Popover(QWidget* anchor);
    ~Popover() override;

    // The popover takes ownership of `content`.
    void setContent(QWidget* content);
    QWidget* content() const { return content_; }
    void setPreferredEdge(Edge edge) { edge_ = edge; }
    Edge edge() const { return shownEdge_; }
    QWidget* anchor() const { return anchor_; }

    // Shows it placed at the anchor, kept on the anchor's screen, with the keyboard on its first named control.
    void popup();
    // What assistive tools call it: its accessible name, else its anchor's, else its window title.
    QString spokenName() const;

    static constexpr double cornerRadius = 12;
    static constexpr int arrowHeight = 8;

signals:
    void closed();

protected:
    bool event(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    // Sizes it to its content at the anchor; `mayTurn` lets it open on the other side when this one has no room.
    void place(bool mayTurn);
    // True for the popover and anything opened from inside it (a combo box's list, a nested menu).
    bool holds(const QWidget* widget) const;
    void focusWindowChanged(QWindow* window);
    // The body with its arrow, as painted.
    QPainterPath outline() const;
    void cutToOutline();

    QPointer<QWidget> anchor_;
    QWidget* content_ = nullptr;
    Edge edge_ = Edge::below;
    Edge shownEdge_ = Edge::below;
    int arrowX_ = 0;
    bool watching_ = false;
    bool hadKeyboard_ = false;
};

// The widgets below `root` that Tab can reach, in the order its layouts place them: box layouts in item order
// (reversed for right-to-left and bottom-to-top directions), grids and forms row by row, then widgets that no
// layout places in the order they were created. Hidden and disabled ones keep their place (Tab skips them until
// they show); widgets that hand their focus to a proxy are left out.
QList<QWidget*> layoutFocusOrder(QWidget* root);
// Makes Tab visit `layoutFocusOrder(root)` in that order; returns the order.
QList<QWidget*> setTabOrderFromLayout(QWidget* root);
// The widget's name as assistive tools read it (its accessible name, else what its accessible interface says).
QString accessibleNameOf(QWidget* widget);
