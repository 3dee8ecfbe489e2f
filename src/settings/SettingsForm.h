#pragma once

#include <QWidget>

class GlassPanel;
class QFormLayout;
class QLabel;
class QVBoxLayout;

// The heading at the top of each settings tab: a title and, when given, a caption under it.
class SettingsTabHeader final : public QWidget {
    Q_OBJECT
public:
    SettingsTabHeader(const QString& title, const QString& subtitle, QWidget* parent = nullptr);
};

// One section of a grouped form: a heading above a rounded panel that holds labelled rows. `name` names the
// section ("<name>Section") and its heading ("<name>SectionTitle").
class SettingsSection final : public QWidget {
    Q_OBJECT
public:
    SettingsSection(const QString& name, const QString& title, QWidget* parent = nullptr);

    // A row "label: content"; returns the label (named after the content, "<content>Label") so the row can be
    // hidden with its content.
    QLabel* addRow(const QString& label, QWidget* content);
    // Content that spans the panel (stacks, captions).
    void addWide(QWidget* content);

private:
    GlassPanel* panel_;
    QFormLayout* rows_;
};

// A form's scrolling page: clicking anywhere outside a field takes the focus out of the fields.
class SettingsPage final : public QWidget {
    Q_OBJECT
public:
    explicit SettingsPage(QWidget* parent = nullptr);
    QVBoxLayout* column() const { return column_; }

protected:
    void mousePressEvent(QMouseEvent* event) override;

private:
    QVBoxLayout* column_;
};

// Lays out a settings tab: its heading above a scroll area named `scrollName`; returns the page to fill.
SettingsPage* addScrollingPage(QWidget* tab, const QString& title, const QString& subtitle, const QString& scrollName);

// Text in the caption font and a colour role of the theme, following the theme's changes.
QLabel* settingsCaption(const QString& text, QWidget* parent = nullptr);
void styleAsCaption(QLabel* label);
