#pragma once

#include <QColor>
#include <QList>
#include <QPixmap>
#include <QWidget>

#include <array>

class OnScreenWatcher;
class QPainter;

// How the one busy indicator of the look is drawn. Two drawings: the arc, three quarters of a ring (over a faint
// full ring when `trackOpacity` > 0) turning once a period; and the spokes, eight of them, the leading one solid
// and the ones behind it fading, the lead stepping on by one an eighth of a period.
struct SpinnerLook {
    enum class Style { arc, spokes };
    Style style = Style::spokes;
    QColor color;            // invalid: the theme's secondary colour
    double lineWidth = 0;    // 0: a quarter of the radius, at least 1
    double trackOpacity = 0; // arc only
    int periodMs = 1000;
    bool eased = false; // arc only: every turn eases in and out
};

// Draws `look` in the largest square centred in `box`, nothing outside it, `elapsedMs` into its animation.
void paintSpinner(QPainter& painter, const QRectF& box, const SpinnerLook& look, qint64 elapsedMs = 0);

// The busy indicator as a widget: a square of `diameter`, turning while it is on screen and standing still (no
// timer) while it is not: hidden, minimised, or in a window the windowing system does not show. Indicators that step at
// the same rate step together, so those on screen at once repaint in one pass. Clicks go through it to whatever lies
// below. By default it is see-through, so each frame repaints whatever lies beneath it too; a view that knows what it
// draws under the square hands that over as a backdrop, and the frames then repaint the square alone.
class Spinner final : public QWidget {
    Q_OBJECT
public:
    // The sizes of a standard and a small indicator; views scale these.
    static constexpr double standardDiameter = 20;
    static constexpr double smallDiameter = 16;

    explicit Spinner(const SpinnerLook& look, double diameter, QWidget* parent = nullptr);
    ~Spinner() override;

    const SpinnerLook& look() const { return look_; }
    void setColor(const QColor& color);
    void setLineWidth(double width);
    double diameter() const { return diameter_; }
    void setDiameter(double diameter);
    // What lies under the square, drawn before the look. While it covers the whole square the indicator is
    // opaque; a null pixmap makes it see-through again.
    void setBackdrop(const QPixmap& backdrop);
    bool isOpaque() const;

    bool isSpinning() const { return spinning_; }
    // How far the animation has run, in milliseconds.
    qint64 elapsed() const { return elapsedMs_; }
    // How often the drawing changes: every step of the spokes, about 30 times a second for the arc.
    int frameInterval() const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return sizeHint(); }

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    QRectF box() const;
    QPixmap spokeFrame(int lead) const;
    const QPixmap& shownFrame(int lead);
    void updateOpacity();
    void setSpinning(bool spinning);
    void step();

    SpinnerLook look_;
    double diameter_;
    OnScreenWatcher* onScreen_;
    QPixmap backdrop_;
    // The spokes' drawings as this spinner shows them, over its backdrop when it is opaque, so a step copies one
    // picture and blends nothing; kept while what they are made from stays the same.
    struct ShownFrames {
        struct Key {
            QRgb color = 0;
            double lineWidth = 0;
            double diameter = 0;
            QSize size;
            qreal ratio = 0;
            qint64 backdrop = 0;
            friend bool operator==(const Key&, const Key&) = default;
        };
        Key key;
        std::array<QPixmap, 8> pixmaps; // one for each lead of the eight spokes
    };
    ShownFrames shown_;
    bool spinning_ = false;
    qint64 elapsedMs_ = 0;
};
