#pragma once

#include <QWidget>

#include "AppEnvironment.h"

class AppViewModel;
class QLineEdit;

// The video studio's root view.
class ScenesView : public QWidget {
    Q_OBJECT
public:
    explicit ScenesView(const AppEnvironment& environment, QWidget* parent = nullptr);

private:
    AppEnvironment environment_;
};
