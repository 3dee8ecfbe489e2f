#pragma once

#include "BorderColor.h"
#include "Glass.h"

#include <QAbstractButton>
#include <QFont>
#include <QMarginsF>

#include <optional>

// A plain button drawn on hover glass: the glass of the window state and highlight, a fill behind the label
// (the border colour by default), and a label of a symbol, a title and an optional trailing text. The whole
// rounded shape is the hit area. Hover changes at once, without animation.
class GlassButton : public QAbstractButton {
    Q_OBJECT
public:
    // `selectedSegment`: the chosen segment of a segmented control, raised above its track in both schemes.
    enum class Fill { borderColor, controlBackground, regularMaterial, ultraThinMaterial, selectedSegment, none };
    enum class Highlight { hover, hoverOrSelected };

    explicit GlassButton(QWidget* parent = nullptr);

    // Label.
    void setSymbol(const QString& name);
    QString symbol() const { return symbol_; }
    void setTitle(const QString& title);
    QString title() const { return text(); }
    void setTrailingText(const QString& text);
    QString trailingText() const { return trailing_; }
    void setSymbolSize(double points, QFont::Weight weight = QFont::Medium);
    double symbolSize() const { return symbolSize_; }
    void setTitleFont(double points, QFont::Weight weight = QFont::Medium);
    void setSpacing(double points);
    void setPadding(const QMarginsF& padding);
    // A circle (or capsule) of the given diameter instead of a padded label.
    void setCircleDiameter(double diameter);
    void setCornerRadius(double radius);
    // Fixed colours override the state rule (primary when key or selected, secondary otherwise).
    void setSymbolColor(const QColor& color);
    void setTitleColor(const QColor& color);
    // The label's colour where none is fixed: `windowState` is primary in the key window or when selected and
    // secondary otherwise; `primary` stays primary in every window state, for buttons whose look does not follow
    // the window.
    enum class Foreground { windowState, primary };
    void setForeground(Foreground foreground);
    void setFill(Fill fill);
    void setSelectedFill(Fill fill);
    void setHighlight(Highlight highlight);
    void setExpanding(bool expanding);
    // A plain button draws no glass, does not change under the pointer and takes clicks over its whole
    // rectangle: only its fill and its label.
    void setPlain(bool plain);
    bool isPlain() const { return plain_; }
    // While disabled only the label dims, unless an opacity is set here: then the whole button is drawn at it.
    void setDisabledOpacity(double opacity);
    // Whether the pointer still lights a disabled button (it does by default).
    void setHoverWhileDisabled(bool shown);

    // Selection is the owner's: clicking never changes it.
    void setSelected(bool selected);
    bool isSelected() const { return selected_; }

    // By default both come from the window; an owner can pass its own (and screenshots force them).
    void setColorScheme(std::optional<ColorScheme> scheme);
    void setControlActiveState(std::optional<ControlActiveState> state);
    ColorScheme effectiveColorScheme() const;
    ControlActiveState effectiveControlActiveState() const;

    // What the button draws in its current state.
    bool isHovered() const { return hovered_; }
    bool isHighlighted() const;
    GlassLook currentGlassLook() const;
    QColor currentFill() const;
    QColor currentForeground() const;
    QColor currentTrailingColor() const;
    QPainterPath shape() const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    bool event(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    bool hitButton(const QPoint& pos) const override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    QColor fillColor(Fill fill) const;
    void paintFocusRing(QPainter& painter) const;
    double radius() const;
    bool showsHover() const;

    QString symbol_;
    QString trailing_;
    double symbolSize_ = 14;
    QFont::Weight symbolWeight_ = QFont::Medium;
    double titleSize_ = 13;
    QFont::Weight titleWeight_ = QFont::Medium;
    // The trailing text is always drawn in this font.
    static constexpr double trailingSize = 12;
    static constexpr QFont::Weight trailingWeight = QFont::Normal;
    double spacing_ = 8;
    QMarginsF padding_{14, 10, 14, 10};
    double diameter_ = 0;
    double cornerRadius_ = 8;
    QColor symbolColor_;
    QColor titleColor_;
    Foreground foreground_ = Foreground::windowState;
    Fill fill_ = Fill::borderColor;
    std::optional<Fill> selectedFill_;
    Highlight highlight_ = Highlight::hover;
    bool expanding_ = false;
    bool plain_ = false;
    bool hoverWhileDisabled_ = true;
    std::optional<double> disabledOpacity_;
    bool selected_ = false;
    bool hovered_ = false;
    std::optional<ColorScheme> scheme_;
    std::optional<ControlActiveState> activeState_;
};

// One segment of a segmented picker, titled `title`: the chosen one is raised on a lighter fill, in both schemes.
GlassButton* makeSegmentButton(const QString& title, QWidget* parent);

// One tab of a preset panel: symbol and title; the selected tab is filled with the control background and its
// glass counts as highlighted.
class GlassTabButton final : public GlassButton {
    Q_OBJECT
public:
    GlassTabButton(const QString& symbol, const QString& title, QWidget* parent = nullptr);
};

// The tile that starts a new preset: "Add New Preset" and the count of the user's presets. Takes the width
// it is offered.
class AddPresetTile final : public GlassButton {
    Q_OBJECT
public:
    explicit AddPresetTile(QWidget* parent = nullptr);
    void setPresetsCount(qint64 count);
    qint64 presetsCount() const { return count_; }
    static QString countText(qint64 count);

private:
    qint64 count_ = 0;
};

// An icon-only round glass button; its help text is its tooltip and its accessible name.
class GlassIconButton final : public GlassButton {
    Q_OBJECT
public:
    GlassIconButton(const QString& symbol, const QString& helpText, double diameter = 32, double symbolSize = 14,
                    QWidget* parent = nullptr);
};
