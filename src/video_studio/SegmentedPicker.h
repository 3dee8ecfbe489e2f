#pragma once

#include <QList>
#include <QPair>
#include <QString>
#include <QWidget>

class QHBoxLayout;
class GlassButton;

// A row of segments, at most one selected. The selection may be none: a stored value outside the
// offered segments shows no selected segment.
class SegmentedPicker : public QWidget {
    Q_OBJECT
public:
    // `name` prefixes each segment's objectName; segments are (key, visible text).
    SegmentedPicker(const QString& name, const QString& accessibleName, QWidget* parent = nullptr);

    void setSegments(const QList<QPair<QString, QString>>& segments);
    void setSelectedKey(const QString& key);
    QStringList keys() const;
    GlassButton* segment(const QString& key) const;

signals:
    void activated(const QString& key);

private:
    QString name_;
    QHBoxLayout* layout_;
    QList<QPair<QString, GlassButton*>> buttons_;
    QString selected_;
};
