#pragma once

#include <QPointer>
#include <QWidget>

// A small floating panel attached to a control: it opens beside its anchor with an arrow pointing at it,
// and closes on Escape or a click outside it.
class Popover final : public QWidget {
    Q_OBJECT
public:
    // Where the popover opens relative to its anchor.
    enum class Edge { below, above };

    explicit Popover(QWidget* anchor);

    // The popover takes ownership of `content`.
    void setContent(QWidget* content);
    QWidget* content() const { return content_; }
    void setPreferredEdge(Edge edge) { edge_ = edge; }
    Edge edge() const { return shownEdge_; }
    QWidget* anchor() const { return anchor_; }

    // Shows it placed at the anchor, kept on the anchor's screen.
    void popup();

    static constexpr double cornerRadius = 12;
    static constexpr int arrowHeight = 8;

signals:
    void closed();

protected:
    void paintEvent(QPaintEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    void place();

    QPointer<QWidget> anchor_;
    QWidget* content_ = nullptr;
    Edge edge_ = Edge::below;
    Edge shownEdge_ = Edge::below;
    int arrowX_ = 0;
};
