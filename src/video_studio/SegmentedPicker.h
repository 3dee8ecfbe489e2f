#pragma once

#include <QList>
#include <QPair>
#include <QString>
#include <QWidget>

class QHBoxLayout;
class GlassButton;
class RadioGroup;

// A row of segments, at most one selected. The selection may be none: a stored value outside the
// offered segments shows no selected segment. The segments are a radio group: each a radio button to
// assistive tools, checked while it is the selected one; Tab stops on the selected segment and the arrow
// keys move the choice.
class SegmentedPicker : public QWidget {
    Q_OBJECT
public:
    // `name` prefixes each segment's objectName; segments are (key, visible text).
    SegmentedPicker(const QString& name, const QString& accessibleName, QWidget* parent = nullptr);

    void setSegments(const QList<QPair<QString, QString>>& segments);
    // Shows the owner's value; reported by no `activated`.
    void setSelectedKey(const QString& key);
    QStringList keys() const;
    GlassButton* segment(const QString& key) const;
    QList<GlassButton*> segments() const;

signals:
    // The user chose `key`: by a click, Space, an arrow key or the accessible toggle.
    void activated(const QString& key);

private:
    QString name_;
    QHBoxLayout* layout_;
    RadioGroup* group_;
    QList<QPair<QString, GlassButton*>> buttons_;
    QString selected_;
};
