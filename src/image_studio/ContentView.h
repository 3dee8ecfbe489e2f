#pragma once

#include <QWidget>

#include "AppEnvironment.h"

class AppViewModel;
class ImageServiceFactory;

// The image studio's root view.
class ContentView : public QWidget {
    Q_OBJECT
public:
    explicit ContentView(const AppEnvironment& environment, QWidget* parent = nullptr);

    // The studio's image options and its image service; created with the view, lives as long as it.
    ImageServiceFactory* imageServiceFactory() const { return imageServiceFactory_; }

private:
    AppEnvironment environment_;
    ImageServiceFactory* imageServiceFactory_ = nullptr;
};
