#pragma once

#include <QWidget>

#include "AppEnvironment.h"

class AppViewModel;

// The image studio's root view.
class ContentView : public QWidget {
    Q_OBJECT
public:
    explicit ContentView(const AppEnvironment& environment, QWidget* parent = nullptr);

private:
    AppEnvironment environment_;
};
