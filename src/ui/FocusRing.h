#pragma once

#include "BorderColor.h"

#include <QColor>
#include <QRectF>

class QPainter;
class QStyleOptionViewItem;
class QWidget;

// The one focus ring of the kit. A focusable control draws it while it has the focus and the keyboard, not
// the pointer, was last used to move around: Tab shows where the keyboard is, a click leaves no ring behind.
namespace FocusRing {

// Starts following the keyboard and the pointer (once per process). The kit's controls call it when built.
// From then on a focused control that paints no ring of its own (a standard button, field, tab or switch) gets
// one over what it painted; a text area gets it around itself where its parent has room, a tab bar on its
// current tab, and a list leaves it to its current card.
void track();
// True after a key press or a focus change by Tab, Backtab or a shortcut; false after a pointer press or a
// focus change by a click. Other focus changes (a window activated again, a sheet opened) leave it as it was.
bool keyboardInUse();
// `widget` has the focus and the keyboard is in use.
bool shows(const QWidget* widget);

QColor color(ColorScheme scheme);
// The ring's accent line width at `widget`'s scale, and how far the whole ring reaches in from the edge.
double width(const QWidget* widget);
double extent(const QWidget* widget);

// Draws the ring along the inside of `rect`, so that the control's own bounds never clip it, with corners of
// `radius` (< 0: a capsule or a circle), in `widget`'s colour scheme and at its scale: an accent line with a
// thin line of the control background inside it, so that it shows on tinted and coloured controls too.
void paint(QPainter& painter, const QRectF& rect, double radius, const QWidget* widget);
// For a card a list paints: the ring when it is the view's current item, the view has the focus and the
// keyboard is in use.
void paintItem(QPainter& painter, const QStyleOptionViewItem& option, const QRectF& rect, double radius);
// For a control that shows the focus on its current item, as a list does (a grid of cards): no ring around it.
void showOnItems(QWidget* control);
// For a control the style paints (a push button with a style sheet): the ring is drawn over what the style
// drew, along the widget's edges.
void attach(QWidget* widget, double radius);
// For a control that fills a framed box other controls sit in (a text area with buttons in its corners): the
// ring goes around the box, which has corners of `radius`, where the box's parent has room; around the control
// it would pass under those controls. `frame` holds `control`.
void surround(QWidget* control, QWidget* frame, double radius);
// The widget the ring of `control` goes around: its frame, or the control itself.
QWidget* surrounded(QWidget* control);

} // namespace FocusRing
