// The kit's controls in their states, for reviewing the look.
#include "FormButtons.h"
#include "Glass.h"
#include "GlassButtons.h"
#include "ImageTiles.h"
#include "Popover.h"
#include "Screenshots.h"
#include "SymbolIcon.h"
#include "Theme.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace {
QLabel* caption(const QString& text) {
    auto* label = new QLabel(text);
    label->setFont(Theme::font(11, QFont::Medium));
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, Theme::instance().color(ColorRole::secondary));
    label->setPalette(palette);
    return label;
}

// Rows of controls, columns of window states: not key, key, key and highlighted.
QWidget* glassStates(ScreenshotContext& context) {
    auto* board = new ScreenshotBackdrop(ScreenshotBackdrop::Glow::corner);
    board->resize(760, 300);
    auto* grid = new QGridLayout(board);
    grid->setContentsMargins(24, 20, 24, 20);
    grid->setHorizontalSpacing(20);
    grid->setVerticalSpacing(14);
    const QStringList columns{"window not key", "key window", "key, hovered"};
    for (int c = 0; c < columns.size(); ++c)
        grid->addWidget(caption(columns[c]), 0, c + 1);

    struct Row {
        QString title;
        std::function<GlassButton*()> make;
    };
    const QList<Row> rows{
        {"tab", [] { return new GlassTabButton("photo", "Angles"); }},
        {"selected tab",
         [] {
             auto* tab = new GlassTabButton("person.crop.circle", "My Presets");
             tab->setSelected(true);
             return tab;
         }},
        {"add tile",
         [] {
             auto* tile = new AddPresetTile;
             tile->setPresetsCount(12);
             return tile;
         }},
        {"icon button",
         [] {
             auto* button = new GlassIconButton("gearshape", "Image Settings", 28, 14);
             button->setSymbolColor(Theme::instance().color(ColorRole::orange));
             return button;
         }},
    };
    for (int r = 0; r < rows.size(); ++r) {
        grid->addWidget(caption(rows[r].title), r + 1, 0);
        for (int c = 0; c < 3; ++c) {
            GlassButton* button = rows[r].make();
            button->setObjectName(QStringLiteral("shot_%1_%2").arg(r).arg(c));
            button->setControlActiveState(c == 0 ? ControlActiveState::inactive : ControlActiveState::key);
            grid->addWidget(button, r + 1, c + 1, Qt::AlignLeft | Qt::AlignVCenter);
            if (c == 2)
                context.afterShow.push_back([button] { screenshotHover(button); });
        }
    }
    grid->setColumnStretch(1, 1);
    grid->setColumnStretch(2, 1);
    grid->setColumnStretch(3, 1);
    return board;
}
ORVANE_SCREENSHOT("kit-glass-states", glassStates);

QWidget* symbols(ScreenshotContext&) {
    auto* board = new ScreenshotBackdrop(ScreenshotBackdrop::Glow::corner);
    auto* grid = new QGridLayout(board);
    grid->setContentsMargins(20, 16, 20, 16);
    grid->setHorizontalSpacing(18);
    const QStringList names = knownSymbols();
    const int perColumn = (int(names.size()) + 3) / 4;
    for (int i = 0; i < names.size(); ++i) {
        auto* icon = new QLabel;
        icon->setPixmap(symbolPixmap(names[i], 18, Theme::instance().color(ColorRole::primary), 2.0));
        auto* name = caption(names[i]);
        grid->addWidget(icon, i % perColumn, (i / perColumn) * 2);
        grid->addWidget(name, i % perColumn, (i / perColumn) * 2 + 1);
    }
    return board;
}
ORVANE_SCREENSHOT("kit-symbols", symbols);

QWidget* form(ScreenshotContext& context) {
    auto* board = new ScreenshotBackdrop(ScreenshotBackdrop::Glow::corner);
    board->resize(520, 330);
    auto* outer = new QVBoxLayout(board);
    outer->setContentsMargins(24, 24, 24, 24);
    auto* panel = new GlassPanel;
    panel->setCornerRadius(Theme::panelRadius);
    auto* layout = new QVBoxLayout(panel);
    layout->setContentsMargins(20, 18, 20, 18);
    auto* title = new QLabel("New Preset");
    title->setFont(Theme::font(17, QFont::DemiBold));
    layout->addWidget(title);
    auto* name = new QLineEdit;
    name->setObjectName("titleField");
    name->setPlaceholderText("Title");
    name->setText("Golden hour");
    layout->addWidget(name);
    auto* prompt = new QPlainTextEdit;
    prompt->setObjectName("promptField");
    prompt->setPlaceholderText("Prompt");
    prompt->setPlainText("Warm low sun from the left, long soft shadows");
    layout->addWidget(prompt);
    auto* buttons = new FormButtons("Create");
    buttons->addRequired(name);
    buttons->addRequired(prompt);
    layout->addWidget(buttons);
    outer->addWidget(panel);

    auto* anchorRow = new QHBoxLayout;
    auto* gear = new GlassIconButton("gearshape", "Image Settings", 28, 14);
    gear->setObjectName("settingsButton");
    anchorRow->addWidget(gear);
    anchorRow->addStretch(1);
    outer->addLayout(anchorRow);
    Q_UNUSED(context);
    return board;
}
ORVANE_SCREENSHOT("kit-form", form);

QWidget* popover(ScreenshotContext& context) {
    auto* window = new ScreenshotBackdrop(ScreenshotBackdrop::Glow::corner);
    window->resize(320, 220);
    auto* anchor = new GlassIconButton("gearshape", "Image Settings", 28, 14, window);
    anchor->move(146, 12);
    auto* pop = new Popover(anchor);
    auto* content = new QWidget;
    auto* layout = new QVBoxLayout(content);
    layout->setContentsMargins(20, 16, 20, 16);
    auto* heading = new QLabel("Model");
    heading->setFont(Theme::font(13, QFont::DemiBold));
    layout->addWidget(heading);
    layout->addWidget(new QLabel("Creativity"));
    content->setFixedSize(240, 110);
    pop->setContent(content);
    context.afterShow.push_back([pop] { pop->popup(); });
    context.grabTarget = pop;
    return window;
}
ORVANE_SCREENSHOT("kit-popover", popover);

// A procedural sample picture: a sky-to-ground gradient with a sun.
QImage samplePicture(int width, int height, int hue) {
    QImage image(width, height, QImage::Format_RGB32);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    QLinearGradient sky(0, 0, 0, height);
    sky.setColorAt(0, QColor::fromHsv(hue, 120, 240));
    sky.setColorAt(0.65, QColor::fromHsv((hue + 30) % 360, 90, 200));
    sky.setColorAt(1, QColor::fromHsv((hue + 60) % 360, 140, 90));
    painter.fillRect(image.rect(), sky);
    painter.setBrush(QColor(255, 240, 200));
    painter.setPen(Qt::NoPen);
    painter.drawEllipse(QPointF(width * 0.7, height * 0.35), height * 0.12, height * 0.12);
    return image;
}

QWidget* imageTiles(ScreenshotContext& context) {
    auto* board = new ScreenshotBackdrop(ScreenshotBackdrop::Glow::corner);
    board->resize(760, 560);
    auto* column = new QVBoxLayout(board);
    column->setContentsMargins(24, 20, 24, 20);
    column->setSpacing(10);

    column->addWidget(caption("one reference (hovered), two side by side"));
    auto* top = new QHBoxLayout;
    auto* single = new SingleImageView(samplePicture(600, 400, 200));
    top->addWidget(single);
    auto* pair = new QHBoxLayout;
    pair->addWidget(new FlexibleImageView(samplePicture(400, 400, 20)));
    pair->addWidget(new FlexibleImageView(samplePicture(300, 450, 280)));
    top->addLayout(pair, 1);
    column->addLayout(top);

    column->addWidget(caption("three or more: thumbnails at scale 1 (the second hovered)"));
    auto* strip = new QHBoxLayout;
    QList<AdaptiveImageThumbnailView*> thumbs;
    for (int i = 0; i < 6; ++i) {
        auto* thumb = new AdaptiveImageThumbnailView(samplePicture(300 + 40 * i, 240, i * 50));
        strip->addWidget(thumb);
        thumbs << thumb;
    }
    strip->addStretch(1);
    column->addLayout(strip);

    column->addWidget(caption("video studio: reference slot and first / last frames (last hovered)"));
    auto* frames = new QHBoxLayout;
    frames->addWidget(new ReferenceImageView(samplePicture(400, 300, 160)));
    auto* first = new VideoFrameImageView(samplePicture(1280, 720, 40));
    auto* last = new VideoFrameImageView(samplePicture(1280, 720, 320));
    frames->addWidget(first, 1);
    frames->addWidget(last, 1);
    column->addLayout(frames);
    column->addStretch(1);

    for (QWidget* hovered :
         {static_cast<QWidget*>(single), static_cast<QWidget*>(thumbs[1]), static_cast<QWidget*>(last)})
        context.afterShow.push_back([hovered] { screenshotHover(hovered); });
    // Let the fades finish.
    context.afterShow.push_back([] {
        QElapsedTimer timer;
        timer.start();
        while (timer.elapsed() < 300)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    });
    return board;
}
ORVANE_SCREENSHOT("kit-image-tiles", imageTiles);
} // namespace
