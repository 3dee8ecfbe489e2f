#include "VideoStudioTestSupport.h"

#include "FrameSlotView.h"
#include "GlassButtons.h"
#include "GuiTestSupport.h"
#include "ImageTiles.h"
#include "ScenesView.h"
#include "SymbolIcon.h"
#include "Theme.h"
#include "VideoWorkspaceModel.h"

#include <QAbstractButton>
#include <QLabel>
#include <QPushButton>
#include <QSplitter>
#include <QTest>

// The video studio as it is designed: each named control with its text, word for word, and its size or place, at
// scale 1.0 (a studio 1000 wide), 1.2 (1200 wide) and 1.6 (1600 wide). The numbers are the design's points; those
// marked scaled are multiplied by the studio's scale, the others stay as they are.

namespace {

enum class Rule {
    textOnly,
    helpText,   // the tooltip, not the shown text
    spokenName, // what a screen reader calls it
    fontPixels, // the text's size in pixels (and its weight, when given)
    side,       // a square of this side
    iconSide,   // a button's symbol of this side
    width,
    height,          // the picture of a tile (a tall one: its height is its limit)
    leftIn,          // from the left edge of `ref` (an enclosing control) to the control's
    rightIn,         // from the control's right edge to that of `ref`
    topIn,           // from the top edge of `ref` to the control's
    bottomIn,        // from the control's bottom edge to that of `ref`
    gapAfter,        // from the right edge of `ref` to the control's left edge
    gapBelow,        // from the bottom edge of `ref` to the control's top edge
    paddingAround,   // above and below the control's line of text, each
    heightWhenShort, // its height once the window is too short for more
    widestDrag,      // its width once its splitter handle is dragged as far right as it goes
    shownOnce,       // visible texts equal to `text` inside the control: exactly one
};

enum class Frames { none, tall };

struct Row {
    QString mode;
    bool prompt;
    Frames frames;
    QString control;
    QString text;
    Rule rule;
    double points;
    bool scaled;
    QString ref;
    int weight;
};

constexpr bool scaled = true;
constexpr bool fixed = false;
const QString i2v = QStringLiteral("image_to_video");
const QString s2e = QStringLiteral("start_end_video");

QList<Row> table() {
    const int bold = QFont::Bold;
    const int semibold = QFont::DemiBold;
    const QString header = "videoStudioHeader";
    const QString pane = "videoControlPane";
    const QString box = "promptBox";
    // clang-format off
    return {
        // Header: padded 40 across and 6 × scale down; back button, 20 × scale, title; the folder button.
        {i2v, false, Frames::none, "backToImages", "Back to Images", Rule::side, 32, scaled, {}, -1},
        {i2v, false, Frames::none, "backToImages", {}, Rule::leftIn, 40, fixed, header, -1},
        {i2v, false, Frames::none, "videoStudioTitle", "Qel Ruriro", Rule::fontPixels, 28, scaled, {}, bold},
        {i2v, false, Frames::none, "videoStudioTitle", {}, Rule::gapAfter, 20, scaled, "backToImages", -1},
        {i2v, false, Frames::none, "videoStudioTitle", {}, Rule::topIn, 6, scaled, header, -1},
        {i2v, false, Frames::none, "videoStudioTitle", {}, Rule::bottomIn, 6, scaled, header, -1},
        {i2v, false, Frames::none, "videoFolderButton", "Choose Folder", Rule::width, 158, scaled, {}, -1},
        {i2v, false, Frames::none, "videoFolderButton", "Choose folder to save videos", Rule::helpText, 0, fixed, {}, -1},
        {i2v, false, Frames::none, "videoFolderButton", {}, Rule::rightIn, 40, fixed, header, -1},

        // Control pane: 370 wide at first and 500 at most, padded 24, sections 20 apart.
        {i2v, false, Frames::none, "videoControlScroll", {}, Rule::width, 370, fixed, {}, -1},
        {i2v, false, Frames::none, "videoControlScroll", {}, Rule::widestDrag, 500, fixed, {}, -1},
        {i2v, false, Frames::none, "modePicker_image_to_video", "Image → Video", Rule::textOnly, 0, fixed, {}, -1},
        {i2v, false, Frames::none, "modePicker_start_end_video", "Start → End", Rule::textOnly, 0, fixed, {}, -1},
        {i2v, false, Frames::none, "modePicker", {}, Rule::leftIn, 24, fixed, pane, -1},
        {i2v, false, Frames::none, "modePicker", {}, Rule::topIn, 24, fixed, pane, -1},

        // Frame slots: the head 12 above the slots; an empty zone's texts and 64-point circle.
        {i2v, false, Frames::none, "referenceSectionTitle", "Reference Image", Rule::fontPixels, 15, scaled, {}, semibold},
        {i2v, false, Frames::none, "referenceSectionTitle", {}, Rule::gapBelow, 20, fixed, "modePicker", -1},
        {i2v, false, Frames::none, "referenceFrameSlot", {}, Rule::gapBelow, 12, fixed, "referenceSectionTitle", -1},
        {i2v, false, Frames::none, "referenceFrameDropTitle", "Add reference image", Rule::textOnly, 0, fixed, {}, -1},
        {i2v, false, Frames::none, "referenceFrameDropCaption", "PNG, JPG, JPEG (max 10MB) - first frame of your video", Rule::textOnly, 0, fixed, {}, -1},
        {i2v, false, Frames::none, "referenceFrameDropIcon", {}, Rule::side, 64, fixed, {}, -1},
        {s2e, false, Frames::none, "referenceSectionTitle", "Reference Images", Rule::fontPixels, 15, scaled, {}, semibold},
        {s2e, false, Frames::none, "startFrameDropTitle", "Add start image", Rule::textOnly, 0, fixed, {}, -1},
        {s2e, false, Frames::none, "startFrameDropCaption", "PNG, JPG, JPEG (max 10MB)", Rule::textOnly, 0, fixed, {}, -1},
        {s2e, false, Frames::none, "endFrameDropTitle", "Add end image", Rule::textOnly, 0, fixed, {}, -1},
        {s2e, false, Frames::none, "endFrameDropCaption", "PNG, JPG, JPEG (max 10MB)", Rule::textOnly, 0, fixed, {}, -1},
        {s2e, false, Frames::none, "endFrameSlot", {}, Rule::gapAfter, 8, fixed, "startFrameSlot", -1},

        // Filled slots: the reference picture at most 200 high and titled once; start and end at most 120 high,
        // as wide as their column, and their slot no taller than they are.
        {i2v, false, Frames::tall, pane, "Reference Image", Rule::shownOnce, 0, fixed, {}, -1},
        {i2v, false, Frames::tall, "referenceFrameTile", {}, Rule::height, 200, fixed, {}, -1},
        {s2e, false, Frames::tall, "startFrameTile", {}, Rule::height, 120, fixed, {}, -1},
        {s2e, false, Frames::tall, "startFrameTile", "Start Image", Rule::spokenName, 0, fixed, {}, -1},
        {s2e, false, Frames::tall, "endFrameTile", "End Image", Rule::spokenName, 0, fixed, {}, -1},
        {s2e, false, Frames::tall, "endFrameTile", {}, Rule::leftIn, 0, fixed, "endFrameSlot", -1},
        {s2e, false, Frames::tall, "endFrameTile", {}, Rule::rightIn, 0, fixed, "endFrameSlot", -1},
        {s2e, false, Frames::tall, "endFrameTile", {}, Rule::bottomIn, 0, fixed, "endFrameSlot", -1},

        // Prompt header and box.
        {i2v, false, Frames::none, "promptTitle", "Prompt (Optional)", Rule::fontPixels, 15, scaled, {}, semibold},
        {i2v, false, Frames::none, "promptTitle", {}, Rule::gapBelow, 20, fixed, "referenceFrameSlot", -1},
        {i2v, false, Frames::none, "promptCounter", "0/2000", Rule::fontPixels, 11, scaled, {}, -1},
        {i2v, true, Frames::none, "clearPrompt", "Clear text", Rule::iconSide, 12, scaled, {}, -1},
        {i2v, false, Frames::none, box, {}, Rule::gapBelow, 12, fixed, "promptTitle", -1},
        {i2v, false, Frames::none, box, {}, Rule::heightWhenShort, 140, fixed, {}, -1},
        {i2v, false, Frames::none, "promptEditor", {}, Rule::leftIn, 12, scaled, box, -1},
        {i2v, false, Frames::none, "promptEditor", {}, Rule::topIn, 12, scaled, box, -1},
        {i2v, false, Frames::none, "promptEditor", {}, Rule::rightIn, 12 + 40, scaled, box, -1},
        {i2v, false, Frames::none, "promptEditor", {}, Rule::bottomIn, 12 + 40, scaled, box, -1},
        {i2v, false, Frames::none, "promptPlaceholder", "Enter optional motion description...", Rule::leftIn, 16, scaled, box, -1},
        {i2v, false, Frames::none, "promptPlaceholder", {}, Rule::topIn, 12, scaled, box, -1},
        {i2v, true, Frames::none, "createPresetFromPrompt", "Create preset from current prompt", Rule::iconSide, 14, fixed, {}, -1},
        {i2v, true, Frames::none, "createPresetFromPrompt", {}, Rule::topIn, 10, fixed, box, -1},
        {i2v, true, Frames::none, "createPresetFromPrompt", {}, Rule::rightIn, 10, fixed, box, -1},
        {i2v, false, Frames::none, "videoSettingsButton", "Video Settings", Rule::side, 28, fixed, {}, -1},
        {i2v, false, Frames::none, "videoSettingsButton", {}, Rule::leftIn, 10, fixed, box, -1},
        {i2v, false, Frames::none, "videoSettingsButton", {}, Rule::bottomIn, 10, fixed, box, -1},
        {i2v, false, Frames::none, "promptPresetsButton", "Prompt Presets", Rule::side, 28, fixed, {}, -1},
        {i2v, false, Frames::none, "cinematicPresetsButton", "Cinematic Presets", Rule::side, 28, fixed, {}, -1},
        {i2v, false, Frames::none, "cinematicPresetsButton", {}, Rule::gapAfter, 8, fixed, "promptPresetsButton", -1},
        {i2v, false, Frames::none, "cinematicPresetsButton", {}, Rule::rightIn, 10, fixed, box, -1},
        {i2v, false, Frames::none, "cinematicPresetsButton", {}, Rule::bottomIn, 10, fixed, box, -1},

        // The generate button fills the pane's width inside its padding.
        {i2v, false, Frames::none, "generateButton", "Generate Video", Rule::fontPixels, 15, scaled, {}, semibold},
        {i2v, false, Frames::none, "generateButton", {}, Rule::paddingAround, 14, scaled, {}, -1},
        {i2v, false, Frames::none, "generateButton", {}, Rule::leftIn, 24, fixed, pane, -1},
        {i2v, false, Frames::none, "generateButton", {}, Rule::rightIn, 24, fixed, pane, -1},
    };
    // clang-format on
}

QString ruleName(Rule rule) {
    switch (rule) {
    case Rule::textOnly:
        return "text";
    case Rule::helpText:
        return "help text";
    case Rule::spokenName:
        return "spoken name";
    case Rule::fontPixels:
        return "font";
    case Rule::side:
        return "side";
    case Rule::iconSide:
        return "symbol";
    case Rule::width:
        return "width";
    case Rule::height:
        return "height";
    case Rule::leftIn:
        return "left in";
    case Rule::rightIn:
        return "right in";
    case Rule::topIn:
        return "top in";
    case Rule::bottomIn:
        return "bottom in";
    case Rule::gapAfter:
        return "gap after";
    case Rule::gapBelow:
        return "gap below";
    case Rule::paddingAround:
        return "padding";
    case Rule::heightWhenShort:
        return "height when short";
    case Rule::widestDrag:
        return "widest drag";
    case Rule::shownOnce:
        return "shown once";
    }
    return {};
}

// Where the control draws: a label's text where its alignment puts it, any other control its whole frame.
QRect drawnRect(QWidget* widget, QWidget* within) {
    QRect own = widget->rect();
    if (auto* label = qobject_cast<QLabel*>(widget); label && !label->text().isEmpty()) {
        const int flags = int(label->alignment()) | (label->wordWrap() ? int(Qt::TextWordWrap) : 0);
        own = label->fontMetrics().boundingRect(label->contentsRect(), flags, label->text());
    }
    return QRect(widget->mapTo(within, own.topLeft()), own.size());
}

} // namespace

class VideoStudioTableTest : public QObject {
    Q_OBJECT

    std::unique_ptr<StudioWorld> world;
    std::unique_ptr<ScenesView> view;

    // Tall enough that the prompt box has grown past its smallest height.
    static constexpr int tall = 1100;

    // The studio in the row's state at the row's width.
    bool arrange(int width, const Row& row) {
        VideoWorkspaceModel* model = view->model();
        model->selectVideoMode(row.mode == s2e ? VideoGenerationMode::startEndVideo
                                               : VideoGenerationMode::imageToVideo);
        model->setPrompt(row.prompt ? QStringLiteral("A slow pan over the hills") : QString());
        if (row.frames == Frames::tall) {
            model->storeImage(ImageType::first, solidFrame(Qt::red, QSize(600, 800)));
            if (row.mode == s2e)
                model->storeImage(ImageType::last, solidFrame(Qt::blue, QSize(600, 800)));
        } else {
            model->removeFirstFrameImage();
            model->removeLastFrameImage();
        }
        view->resize(width, tall);
        settleLayouts();
        for (const char* slot : {"referenceFrameSlot", "startFrameSlot", "endFrameSlot"}) {
            auto* frame = view->findChild<FrameSlotView*>(slot);
            if (frame && frame->isVisible() && (row.frames == Frames::tall) != bool(frame->tile()))
                return false;
        }
        return true;
    }

private slots:
    void initTestCase() {
        world = std::make_unique<StudioWorld>();
        view = std::make_unique<ScenesView>(world->env());
        view->resize(1000, 900);
        QVERIFY(gui::showActive(view.get()));
    }
    void cleanupTestCase() {
        view.reset();
        world.reset();
    }

    void controlsAsSpecified_data() {
        QTest::addColumn<int>("width");
        QTest::addColumn<double>("scale");
        QTest::addColumn<int>("index");
        const QList<Row> rows = table();
        for (const auto& [width, scale] : {std::pair{1000, 1.0}, std::pair{1200, 1.2}, std::pair{1600, 1.6}}) {
            for (int i = 0; i < rows.size(); ++i) {
                const Row& row = rows[i];
                QString name = QStringLiteral("%1: %2 %3").arg(scale, 0, 'f', 1).arg(row.control, ruleName(row.rule));
                if (!row.ref.isEmpty())
                    name += " " + row.ref;
                if (row.mode == s2e)
                    name += " (start → end)";
                if (row.frames == Frames::tall)
                    name += " (frames)";
                QTest::newRow(qPrintable(name)) << width << scale << i;
            }
        }
    }
    void controlsAsSpecified() {
        QFETCH(int, width);
        QFETCH(double, scale);
        QFETCH(int, index);
        const Row row = table().at(index);
        QTRY_VERIFY(arrange(width, row));
        QCOMPARE(view->scale(), scale);

        QWidget* control = gui::require<QWidget>(view.get(), row.control, __FILE__, __LINE__);
        if (!control)
            return;
        QVERIFY2(control->isVisible(), qPrintable(row.control + " is not shown"));
        if (row.rule == Rule::helpText)
            QCOMPARE(control->toolTip(), row.text);
        else if (row.rule == Rule::spokenName)
            QCOMPARE(control->accessibleName(), row.text);
        else if (!row.text.isEmpty() && row.rule != Rule::shownOnce)
            QCOMPARE(gui::shownText(control), row.text);

        QWidget* ref = nullptr;
        if (!row.ref.isEmpty()) {
            ref = gui::require<QWidget>(view.get(), row.ref, __FILE__, __LINE__);
            if (!ref)
                return;
        }
        const double expected = row.points * (row.scaled ? scale : 1.0);
        double actual = 0;
        switch (row.rule) {
        case Rule::textOnly:
        case Rule::helpText:
        case Rule::spokenName:
            return;
        case Rule::fontPixels:
            actual = QFontInfo(control->font()).pixelSize();
            if (row.weight >= 0)
                QCOMPARE(control->font().weight(), QFont::Weight(row.weight));
            break;
        case Rule::side:
            QCOMPARE(control->width(), control->height());
            actual = control->width();
            break;
        case Rule::iconSide: {
            auto* button = qobject_cast<QAbstractButton*>(control);
            QVERIFY2(button, qPrintable(row.control + " is no button"));
            QCOMPARE(button->iconSize().width(), button->iconSize().height());
            actual = button->iconSize().width();
            break;
        }
        case Rule::width:
            actual = control->width();
            break;
        case Rule::height: {
            auto* tile = qobject_cast<ImageTile*>(control);
            QVERIFY2(tile, qPrintable(row.control + " is no picture tile"));
            actual = tile->pictureRect().height();
            break;
        }
        case Rule::leftIn:
            actual = drawnRect(control, ref).left();
            break;
        case Rule::rightIn:
            actual = ref->width() - drawnRect(control, ref).right() - 1;
            break;
        case Rule::topIn:
            actual = drawnRect(control, ref).top();
            break;
        case Rule::bottomIn:
            actual = ref->height() - drawnRect(control, ref).bottom() - 1;
            break;
        case Rule::gapAfter:
            actual = drawnRect(control, view.get()).left() - drawnRect(ref, view.get()).right() - 1;
            break;
        case Rule::gapBelow:
            actual = drawnRect(control, view.get()).top() - drawnRect(ref, view.get()).bottom() - 1;
            break;
        case Rule::paddingAround:
            actual = (control->height() - QFontMetrics(control->font()).height()) / 2.0;
            break;
        case Rule::heightWhenShort:
            view->resize(width, 450);
            settleLayouts();
            actual = control->height();
            view->resize(width, tall);
            settleLayouts();
            break;
        case Rule::widestDrag: {
            GUI_REQUIRE(split, QSplitter, view.get(), "videoStudioSplit");
            const QList<int> before = split->sizes();
            split->setSizes({split->width(), 0});
            settleLayouts();
            actual = control->width();
            split->setSizes(before);
            settleLayouts();
            break;
        }
        case Rule::shownOnce: {
            int shown = 0;
            for (QLabel* label : control->findChildren<QLabel*>()) {
                if (label->isVisible() && label->text() == row.text)
                    ++shown;
            }
            QCOMPARE(shown, 1);
            return;
        }
        }
        // Layouts round to whole pixels.
        QVERIFY2(std::abs(actual - expected) <= 1.0, qPrintable(QStringLiteral("%1 %2: %3, expected %4")
                                                                    .arg(row.control, ruleName(row.rule))
                                                                    .arg(actual)
                                                                    .arg(expected)));
    }

    // The symbols are the named ones; the prompt's text cursor is our own drawing, not the theme's insert-text icon.
    void symbolsAsSpecified() {
        QVERIFY(arrange(1000, table().constFirst()));
        GUI_REQUIRE(promptSymbol, QLabel, view.get(), "promptSymbol");
        const QColor blue = Theme::instance().color(ColorRole::blue);
        const auto drawsSymbol = [&blue](QLabel* label, const QString& name) {
            const QPixmap shown = label->pixmap();
            return shown.toImage() ==
                   symbolPixmap(name, shown.deviceIndependentSize().width(), blue, shown.devicePixelRatio()).toImage();
        };
        QVERIFY(drawsSymbol(promptSymbol, "text.cursor"));
        QVERIFY2(symbolSource("text.cursor").startsWith(":/symbols/"), qPrintable(symbolSource("text.cursor")));
        GUI_REQUIRE(referenceSymbol, QLabel, view.get(), "referenceSectionSymbol");
        QVERIFY(drawsSymbol(referenceSymbol, "photo"));
    }
};

QTEST_MAIN(VideoStudioTableTest)
#include "tst_video_studio_table.moc"
