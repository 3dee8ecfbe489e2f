#pragma once

class QAbstractScrollArea;
class QString;

// Names a scroll area's two scroll bars after the area (object names) and after `name` (accessible names), so
// that every control of a view can be found by name.
void nameScrollBars(QAbstractScrollArea* area, const QString& name);
