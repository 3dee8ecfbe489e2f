#pragma once

#include <QStringList>

class QWidget;

namespace gui {

// What a person would see wrong in `root` as it is laid out now, one line per fault naming the control:
// - a visible control or text smaller than it needs (a label narrower than its text and not wrapped, a wrapped
//   label shorter than its lines, a button narrower than its label): its text is cut rather than elided;
// - a visible control that reaches outside what its ancestors show of it (content of a scroll area is exempt:
//   it can be scrolled into view);
// - two visible controls placed by their parent's layouts that overlap each other.
// Empty when nothing is cut or overlaps. `root` must be shown (geometries are read as they are).
QStringList layoutFaults(QWidget* root);

} // namespace gui
