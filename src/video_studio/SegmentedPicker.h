#pragma once

#include <QList>
#include <QPair>
#include <QString>
#include <QWidget>

class QHBoxLayout;
class GlassButton;

// A row of segments, at most one selected. The selection may be none: a stored value outside the
// offered segments shows no selected segment. Each segment is a radio button to assistive tools,
// checked while it is the selected one; Tab stops on the selected segment and the arrow keys move on.
class SegmentedPicker : public QWidget {
    Q_OBJECT
public:
    // `name` prefixes each segment's objectName; segments are (key, visible text).
    SegmentedPicker(const QString& name, const QString& accessibleName, QWidget* parent = nullptr);

    void setSegments(const QList<QPair<QString, QString>>& segments);
    void setSelectedKey(const QString& key);
    QString selectedKey() const { return selected_; }
    QStringList keys() const;
    GlassButton* segment(const QString& key) const;
    QList<GlassButton*> segments() const;
    // Where Tab enters the picker: the selected segment, else the first one.
    GlassButton* tabStop() const;

signals:
    void activated(const QString& key);

private:
    void updateTabStop();

    QString name_;
    QHBoxLayout* layout_;
    QList<QPair<QString, GlassButton*>> buttons_;
    QString selected_;
};
