#pragma once

#include "Theme.h"

#include <QPushButton>

class Spinner;

// The studios' wide action button: a white symbol and title, centred together, on a left-to-right gradient with
// corners of 10. While busy the kit's spinner turns where the symbol stands; faded, the whole control is drawn at
// 0.6 as one layer. Narrower than its title, the title can wrap at its spaces (a word still too wide ends in "…") and
// the button grows to hold its lines. It draws itself: a style sheet's rule matching and a fade effect's offscreen
// pass on every paint would cost more than the drawing.
class GradientButton : public QPushButton {
    Q_OBJECT
public:
    explicit GradientButton(QWidget* parent = nullptr);

    // Title, symbol and spinner at 15, 16 and 12.8 × `scale`, padded 14 × scale above and below.
    void setScale(double scale);
    // Also the accessible name.
    void setTitle(const QString& title);
    // The gradient's ends, from the theme; the trailing one at `endOpacity`.
    void setGradient(ColorRole start, ColorRole end, double endOpacity = 1.0);
    // One of the kit's symbols, drawn in white; empty for none.
    void setSymbol(const QString& name);
    QString symbol() const { return symbol_; }
    // The symbol's room, centred on the left of the title: at least the symbol's size (default).
    void setSymbolSlot(QSize slot);
    // Between the symbol's room and the title, half on each side of the title so that they centre together.
    void setSymbolGap(int gap);
    // Whether the title may wrap; if not, the button is never narrower than its title on one line.
    void setTitleWraps(bool wraps);
    // The spinner in the symbol's place.
    void setBusy(bool busy);
    bool isBusy() const { return busy_; }
    void setFaded(bool faded);
    double drawnOpacity() const { return faded_ ? fadedOpacity : 1.0; }
    Spinner* spinner() const { return spinner_; }

    // The title as drawn at the current width.
    QString shownText() const { return shownTextFor(width()); }

    // The symbol, the gap and the title on one line, with nothing around them.
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;
    bool hasHeightForWidth() const override { return true; }
    int heightForWidth(int width) const override;

    static constexpr double fadedOpacity = 0.6;

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    static constexpr int sideRoom = 8; // clear of the rounded ends
    void paintLook(QPainter& painter) const;
    QString shownTextFor(int width) const;
    QSize slot() const;
    // Where the symbol's room stands at the current size.
    QRect slotRect() const;
    void placeSpinner();
    void symbolChanged();

    Spinner* spinner_;
    QString symbol_;
    QSize slot_;
    int gap_ = 4; // the style's gap between a push button's icon and its text
    int padding_ = 14;
    ColorRole start_ = ColorRole::orange;
    ColorRole end_ = ColorRole::yellow;
    double endOpacity_ = 1.0;
    bool wraps_ = true;
    bool busy_ = false;
    bool faded_ = false;
};
