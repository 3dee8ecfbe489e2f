#include "ContentView.h"
#include "FakeGeminiService.h"
#include "Glass.h"
#include "GuiTestSupport.h"
#include "ImageServiceFactory.h"
#include "ImageStudioModel.h"
#include "LayoutCheck.h"
#include "LeftPanel.h"
#include "RightPanel.h"
#include "Spinner.h"
#include "StudioTestBase.h"
#include "Theme.h"

#include <QAbstractButton>
#include <QApplication>
#include <QLabel>
#include <QLayout>
#include <QPlainTextEdit>
#include <QRegularExpression>
#include <QTest>
#include <QTextEdit>

#include <functional>
#include <memory>

// The image studio's controls as a person meets them, one row each: the text it shows or its help text, and the
// sizes and places it has at the scale of a 1000 and a 1600 wide window, in each state of the result. The numbers
// are the design's, written as it writes them (× scale or fixed), never read from the code.
namespace {

// A length of the design: a fixed part and a part that grows with the studio's scale.
struct Length {
    double fixed = 0;
    double scaled = 0;
    double at(double scale) const { return fixed + scaled * scale; }
};
Length xs(double points) { // "× scale"
    return {0, points};
}
Length pt(double points) { // not scaled
    return {points, 0};
}
Length operator+(Length a, Length b) {
    return {a.fixed + b.fixed, a.scaled + b.scaled};
}

// What the result panel holds when a row is checked.
enum class Shown {
    always,
    ready,
    loading,
    failed,
    completed,       // a picture with its text, the bubble open, the plain video hand-over
    completedFrames, // the same with the start and end frame buttons
};

struct Probe {
    QWidget* root;
    QWidget* control;
    double scale;
};

// A rule returns what is wrong, or nothing when it holds.
using Rule = std::function<QString(const Probe&)>;

struct Row {
    QList<Shown> shown;
    const char* control;
    const char* text = nullptr; // the visible text (a prompt editor: its placeholder)
    const char* help = nullptr; // the help text (tooltip); a leading ^ makes it a pattern
    QList<Rule> rules;
};

constexpr double slack = 1.0; // layouts round to whole pixels

QString number(double value) {
    return QString::number(value, 'f', 1);
}

using gui::rectIn;

QWidget* named(QWidget* root, const char* name) {
    const QList<QWidget*> all = root->findChildren<QWidget*>(QLatin1String(name));
    for (QWidget* widget : all) {
        if (widget->isVisible())
            return widget;
    }
    return all.isEmpty() ? nullptr : all.first();
}

using gui::near;

const char* weightName(int weight) {
    switch (weight) {
    case QFont::Normal:
        return "regular";
    case QFont::Medium:
        return "medium";
    case QFont::DemiBold:
        return "semibold";
    case QFont::Bold:
        return "bold";
    default:
        return "another weight";
    }
}

Rule font(Length size, QFont::Weight weight = QFont::Normal) {
    return [size, weight](const Probe& p) {
        const QFont font = p.control->font();
        QString fault = near("font size", font.pixelSize(), size.at(p.scale), 0.5);
        if (fault.isEmpty() && font.weight() != weight)
            fault = QStringLiteral("font %1, not %2").arg(weightName(font.weight()), weightName(weight));
        return fault;
    };
}

// A square control: a circle button, a ring, a symbol.
Rule side(Length length) {
    return [length](const Probe& p) {
        const double want = std::ceil(length.at(p.scale) - 0.01);
        QString fault = near("width", p.control->width(), want);
        return fault.isEmpty() ? near("height", p.control->height(), want) : fault;
    };
}

Rule height(Length length) {
    return [length](const Probe& p) { return near("height", p.control->height(), length.at(p.scale)); };
}

Rule minimumHeight(Length length) {
    return [length](const Probe& p) {
        QString fault = near("minimum height", p.control->minimumHeight(), length.at(p.scale));
        if (fault.isEmpty() && p.control->height() + slack < length.at(p.scale))
            fault = QStringLiteral("height %1 below its minimum").arg(p.control->height());
        return fault;
    };
}

Rule widths(int minimum, int maximum) {
    return [minimum, maximum](const Probe& p) {
        QString fault = near("minimum width", p.control->minimumWidth(), minimum, 0);
        return fault.isEmpty() ? near("maximum width", p.control->maximumWidth(), maximum, 0) : fault;
    };
}

// A button whose label is a symbol and a title side by side, padded: its size follows from those numbers.
Rule label(Length symbol, Length title, QFont::Weight weight, Length spacing, Length across, Length down) {
    return [=](const Probe& p) {
        const double s = p.scale;
        auto* button = qobject_cast<QAbstractButton*>(p.control);
        if (!button)
            return QStringLiteral("is no button");
        const QFontMetricsF metrics(Theme::font(title.at(s), weight));
        const double wide = 2 * across.at(s) + symbol.at(s) + spacing.at(s) + metrics.horizontalAdvance(button->text());
        const double high = 2 * down.at(s) + std::max(symbol.at(s), metrics.height());
        QString fault = near("width", button->width(), wide, 1.5);
        return fault.isEmpty() ? near("height", button->height(), high, 1.5) : fault;
    };
}

// A text padded above and below, beside a symbol frame of its own height.
Rule paddedLine(Length font, QFont::Weight weight, Length symbolHeight, Length down) {
    return [=](const Probe& p) {
        const double s = p.scale;
        const double line = QFontMetricsF(Theme::font(font.at(s), weight)).height();
        return near("height", p.control->height(), 2 * down.at(s) + std::max(symbolHeight.at(s), line), 1.5);
    };
}

// Horizontal gap from the end of `before` to the start of this control.
Rule after(const char* before, Length gap) {
    return [before, gap](const Probe& p) {
        QWidget* other = named(p.root, before);
        if (!other || !other->isVisible())
            return QStringLiteral("%1 is not there to measure from").arg(QLatin1String(before));
        const int distance = rectIn(p.control, p.root).left() - rectIn(other, p.root).right() - 1;
        return near(qPrintable(QStringLiteral("gap after %1").arg(QLatin1String(before))), distance, gap.at(p.scale));
    };
}

// Vertical gap from the bottom of `above` to the top of this control.
Rule below(const char* above, Length gap) {
    return [above, gap](const Probe& p) {
        QWidget* other = named(p.root, above);
        if (!other || !other->isVisible())
            return QStringLiteral("%1 is not there to measure from").arg(QLatin1String(above));
        const int distance = rectIn(p.control, p.root).top() - rectIn(other, p.root).bottom() - 1;
        return near(qPrintable(QStringLiteral("gap below %1").arg(QLatin1String(above))), distance, gap.at(p.scale));
    };
}

QString insetFaults(const QRectF& inner, const QRectF& outer, Qt::Edges edges, double want) {
    const std::pair<Qt::Edge, double> distances[] = {{Qt::LeftEdge, inner.left() - outer.left()},
                                                     {Qt::TopEdge, inner.top() - outer.top()},
                                                     {Qt::RightEdge, outer.right() - inner.right()},
                                                     {Qt::BottomEdge, outer.bottom() - inner.bottom()}};
    const char* names[] = {"left inset", "top inset", "right inset", "bottom inset"};
    for (int i = 0; i < 4; ++i) {
        if (edges & distances[i].first) {
            if (QString fault = near(names[i], distances[i].second, want); !fault.isEmpty())
                return fault;
        }
    }
    return {};
}

// Distance of this control's edges from the same edges of `outer`.
Rule inset(const char* outer, Qt::Edges edges, Length length) {
    return [=](const Probe& p) {
        QWidget* frame = named(p.root, outer);
        if (!frame)
            return QStringLiteral("%1 is not there to measure from").arg(QLatin1String(outer));
        return insetFaults(QRectF(rectIn(p.control, p.root)), QRectF(rectIn(frame, p.root)), edges, length.at(p.scale));
    };
}

// A row padded above and below: its height is its tallest control's and the padding.
Rule padded(Length length) {
    return [length](const Probe& p) {
        int tallest = 0;
        for (QWidget* child : p.control->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
            if (child->isVisible())
                tallest = std::max(tallest, child->height());
        }
        return near("height", p.control->height(), tallest + 2 * length.at(p.scale));
    };
}

// A panel drawn inside its shadow: the drawn shape's corner from the corner of `outer`, and its largest size.
Rule drawnPanel(const char* outer, Qt::Edges edges, Length length, Length widest, Length highest) {
    return [=](const Probe& p) {
        auto* panel = qobject_cast<GlassPanel*>(p.control);
        QWidget* frame = named(p.root, outer);
        if (!panel || !frame)
            return QStringLiteral("no panel in %1").arg(QLatin1String(outer));
        const double m = panel->shadowMargin();
        const QRectF drawn = QRectF(rectIn(panel, p.root)).adjusted(m, m, -m, -m);
        QString fault = insetFaults(drawn, QRectF(rectIn(frame, p.root)), edges, length.at(p.scale));
        if (fault.isEmpty() && drawn.width() > widest.at(p.scale) + slack)
            fault = QStringLiteral("%1 wide, more than %2").arg(number(drawn.width()), number(widest.at(p.scale)));
        if (fault.isEmpty() && drawn.height() > highest.at(p.scale) + slack)
            fault = QStringLiteral("%1 high, more than %2").arg(number(drawn.height()), number(highest.at(p.scale)));
        return fault;
    };
}

// The wide test picture is drawn this far in from the sides of `frame` (it fits the width).
const QColor pictureColor(30, 120, 200);
Rule pictureInset(const char* frame, Length length) {
    return [=](const Probe& p) {
        QWidget* outer = named(p.root, frame);
        if (!outer)
            return QStringLiteral("%1 is not there to measure from").arg(QLatin1String(frame));
        const QRect area = rectIn(outer, p.root);
        const QImage drawn = p.root->grab(area).toImage();
        // The row where the picture is widest (the rounded corners clip the others).
        int first = -1, last = -1;
        for (int y = 0; y < drawn.height(); ++y) {
            int from = -1, to = -1;
            for (int x = 0; x < drawn.width(); ++x) {
                const QColor c = drawn.pixelColor(x, y);
                if (std::abs(c.red() - pictureColor.red()) + std::abs(c.green() - pictureColor.green()) +
                        std::abs(c.blue() - pictureColor.blue()) <
                    30) {
                    from = from < 0 ? x : from;
                    to = x;
                }
            }
            if (from >= 0 && to - from > last - first) {
                first = from;
                last = to;
            }
        }
        if (first < 0)
            return QStringLiteral("no picture drawn in %1").arg(QLatin1String(frame));
        QString fault = near("picture's left inset", first, length.at(p.scale));
        return fault.isEmpty() ? near("picture's right inset", drawn.width() - 1 - last, length.at(p.scale)) : fault;
    };
}

// The symbol and title of the result's buttons: 12 × scale medium, 6 apart, padded 12 × scale across and
// 8 × scale down.
Rule resultButton() {
    return label(xs(12), xs(12), QFont::Medium, pt(6), xs(12), xs(8));
}

const QList<Shown> completedViews{Shown::completed, Shown::completedFrames};
const QList<Shown> everywhere{Shown::always};

QList<Row> studioTable() {
    return {
        // The header: title group, then the toolbar, 40 in from the sides, padded 6 × scale.
        {everywhere, "studioHeader", nullptr, nullptr, {padded(xs(6))}},
        {everywhere, "headerDivider", nullptr, nullptr, {height(pt(1))}},
        {everywhere,
         "studioTitle",
         "Qel Image",
         nullptr,
         {font(xs(28), QFont::Bold), inset("studioHeader", Qt::LeftEdge, pt(40) + xs(24) + xs(20))}},
        {everywhere, "switchToVideoStudio", nullptr, "Switch to Scenes", {side(xs(32)), after("studioTitle", xs(20))}},
        {{Shown::ready}, "photoQueueStatus", nullptr, nullptr, {after("switchToVideoStudio", xs(20))}},
        {{Shown::ready},
         "photoFolder",
         "Choose Folder",
         "Choose folder to save photos",
         {label(xs(14), xs(12), QFont::Medium, xs(6), xs(10), xs(6))}},
        {everywhere, "contextUsage", nullptr, nullptr, {side(xs(32)), after("photoFolder", xs(16))}},
        {{Shown::ready},
         "contextUsage",
         nullptr,
         "^Context used this chat: 0 / [0-9][0-9,.\u00a0\u202f]* tokens \\(0%\\)$",
         {}},
        {everywhere,
         "newChat",
         "New Chat",
         nullptr,
         {label(xs(13), xs(13), QFont::Medium, xs(7), xs(14), xs(7)), after("contextUsage", xs(16)),
          inset("studioHeader", Qt::RightEdge, pt(40))}},
        // The split: its panes' widths do not follow the scale.
        {everywhere, "LeftPanel", nullptr, nullptr, {widths(185, 500)}},
        {everywhere, "RightPanel", nullptr, nullptr, {widths(400, QWIDGETSIZE_MAX)}},

        // The input panel, 24 in from its edges.
        {everywhere,
         "studioName",
         "Orvane",
         nullptr,
         {font(xs(16), QFont::DemiBold), inset("LeftPanel", Qt::LeftEdge | Qt::TopEdge, pt(24))}},
        {{Shown::ready},
         "referenceHeader",
         "Reference Images (Optional) 0/9",
         nullptr,
         {font(xs(15), QFont::DemiBold)}},
        {{Shown::ready}, "addFilesTitle", "Add files", nullptr, {}},
        {{Shown::ready}, "uploadReference", nullptr, nullptr, {side(pt(64))}},
        {{Shown::ready}, "dropZoneCaption", "PNG, JPG, JPEG (max 10MB each, up to 9 images)", nullptr, {}},
        {{Shown::ready}, "dropZone", nullptr, nullptr, {minimumHeight(pt(120))}},
        {everywhere, "promptTitle", "Main Prompt", nullptr, {font(xs(15), QFont::DemiBold)}},
        {{Shown::ready}, "promptCounter", "0/2500", nullptr, {font(xs(11))}},
        {{Shown::ready}, "promptEditor", "Describe the image you want to create...", nullptr, {font(xs(14))}},
        {everywhere, "promptBox", nullptr, nullptr, {minimumHeight(pt(140))}},
        {everywhere, "imageModelSettings", nullptr, "Image Model Settings", {side(pt(28))}},
        {everywhere, "imagePresets", nullptr, "Image Presets", {side(pt(28))}},
        {{Shown::ready},
         "generateNow",
         "Generate Now",
         nullptr,
         {font(xs(15), QFont::DemiBold), paddedLine(xs(15), QFont::DemiBold, xs(16), xs(14))}},
        {{Shown::loading}, "generateNow", "Generating...", nullptr, {font(xs(15), QFont::DemiBold)}},

        // The result panel: header, then the state area 20 below it, 24 in from the panel's sides.
        {everywhere, "resultTitle", "Qel Image Result", nullptr, {font(xs(15), QFont::DemiBold)}},
        {everywhere,
         "textResponseButton",
         nullptr,
         nullptr,
         {side(xs(28)), inset("RightPanel", Qt::RightEdge, pt(24))}},
        {everywhere,
         "resultStates",
         nullptr,
         nullptr,
         {inset("RightPanel", Qt::LeftEdge | Qt::RightEdge, pt(24)),
          inset("RightPanel", Qt::TopEdge, pt(24) + xs(28) + pt(20))}},

        // A result: the picture 8 in from the frame, the bubble 12 × scale from its top trailing corner, the buttons
        // 12 × scale apart and 8 above the frame's bottom.
        {completedViews, "resultPicture", nullptr, nullptr, {pictureInset("resultStates", pt(8))}},
        {{Shown::completed},
         "textBubble",
         nullptr,
         nullptr,
         {drawnPanel("resultStates", Qt::TopEdge | Qt::RightEdge, xs(12), xs(300), xs(130))}},
        {{Shown::completed}, "replyText", "Here is your boat", nullptr, {font(xs(12))}},
        {completedViews,
         "imageToImage",
         "Image to Image",
         nullptr,
         {resultButton(), inset("resultStates", Qt::BottomEdge, pt(8))}},
        {{Shown::completed},
         "imageToVideo",
         "Image to video",
         nullptr,
         {resultButton(), after("imageToImage", xs(12))}},
        {{Shown::completed}, "showInFinder", "Finder", nullptr, {resultButton(), after("imageToVideo", xs(12))}},
        {{Shown::completedFrames},
         "startFrame",
         "Start Frame",
         nullptr,
         {resultButton(), after("imageToImage", xs(12))}},
        {{Shown::completedFrames}, "endFrame", "End Frame", nullptr, {resultButton(), after("startFrame", pt(8))}},
        {{Shown::completedFrames}, "showInFinder", "Finder", nullptr, {after("endFrame", xs(12))}},

        // Waiting, failed, ready: centred columns, 16 between their parts.
        {{Shown::loading}, "loadingSpinner", nullptr, nullptr, {side(xs(1.5 * Spinner::standardDiameter))}},
        {{Shown::loading},
         "loadingText",
         "Waiting in queue...",
         nullptr,
         {font(xs(15), QFont::DemiBold), below("loadingSpinner", pt(16))}},
        {{Shown::failed}, "failedSymbol", nullptr, nullptr, {side(xs(40))}},
        {{Shown::failed},
         "errorMessage",
         "HTTP Error: 500",
         nullptr,
         {font(xs(15), QFont::DemiBold), below("failedSymbol", pt(16))}},
        {{Shown::ready}, "readySymbol", nullptr, nullptr, {side(pt(100))}},
        {{Shown::ready},
         "readyTitle",
         "Ready for instant generation",
         nullptr,
         {font(xs(15), QFont::DemiBold), below("readySymbol", pt(16))}},
        {{Shown::ready},
         "readySubtitle",
         "Enter your prompt and unleash the power",
         nullptr,
         {font(xs(13)), below("readyTitle", pt(8))}},
    };
}

} // namespace

Q_DECLARE_METATYPE(Shown)

class ImageStudioTableTest : public StudioTestBase {
    Q_OBJECT

    std::unique_ptr<ContentView> view_;

    ImageGenerationService& service() { return *view_->model()->factory()->currentService(); }

    void send(const QString& prompt) {
        QPlainTextEdit* editor = view_->leftPanel()->promptEditor();
        editor->setFocus();
        QTest::keyClicks(editor, prompt);
        QTest::keyClick(editor, Qt::Key_Return);
    }

    bool waitForState(StudioRules::ResultState state) {
        return clock_->runUntil([this, state] { return view_->rightPanel()->shownState() == state; });
    }

    // Puts the result panel in the state the row names.
    void reach(Shown state) {
        using Json = FakeGeminiService::Json;
        switch (state) {
        case Shown::always:
        case Shown::ready:
            return;
        case Shown::loading:
            fake_->script.append(FakeGeminiService::Reply::hanging());
            send("boat");
            QVERIFY(waitForState(StudioRules::ResultState::loading));
            return;
        case Shown::failed:
            for (int i = 0; i < 4; ++i)
                fake_->script.append(FakeGeminiService::Reply::failure(500));
            send("boat");
            QVERIFY(waitForState(StudioRules::ResultState::failed));
            return;
        case Shown::completed:
        case Shown::completedFrames: {
            // A wide picture: it fills the width of the frame at every size checked.
            const Json parts = Json::array({FakeGeminiService::textPart("Here is your boat"),
                                            FakeGeminiService::pngPart(FakeGeminiService::samplePicture(400, 100))});
            fake_->script.append(FakeGeminiService::Reply::json(
                FakeGeminiService::response(Json::array({FakeGeminiService::candidate(parts)}), 100)));
            app_->setVideoMode(state == Shown::completed ? VideoGenerationMode::imageToVideo
                                                         : VideoGenerationMode::startEndVideo);
            send("boat");
            QVERIFY(waitForState(StudioRules::ResultState::completed));
            view_->model()->setShowTextPopup(state == Shown::completed);
            QTRY_VERIFY(view_->rightPanel()->isResultPictureShown());
            return;
        }
        }
    }

private slots:
    void init() {
        setUpServices();
        view_ = std::make_unique<ContentView>(environment());
    }

    void cleanup() {
        view_.reset();
        tearDownServices();
    }

    void theStudioHoldsItsTextsAndSizes_data() {
        QTest::addColumn<int>("width");
        QTest::addColumn<Shown>("state");
        const std::pair<Shown, const char*> states[] = {{Shown::ready, "ready"},
                                                        {Shown::loading, "waiting"},
                                                        {Shown::failed, "failed"},
                                                        {Shown::completed, "a result"},
                                                        {Shown::completedFrames, "a result, frame buttons"}};
        for (const int width : {1000, 1600}) {
            for (const auto& [state, name] : states)
                QTest::addRow("%s, %d wide", name, width) << width << state;
        }
    }

    void theStudioHoldsItsTextsAndSizes() {
        QFETCH(int, width);
        QFETCH(Shown, state);
        view_->resize(width, 900);
        view_->show();
        QVERIFY(QTest::qWaitForWindowExposed(view_.get()));
        QTRY_COMPARE(view_->scale(), width / 1000.0);
        if (state == Shown::ready) {
            // The status of the video side shows beside the title while a clip is on its way.
            QImage frame(64, 36, QImage::Format_RGB32);
            frame.fill(Qt::red);
            queue_->addVideoTask(QString("a fox"), frame, std::nullopt, VideoQuality::p768, VideoDuration::seconds6);
        }
        GUI_CHECK(reach(state));
        for (int i = 0; i < 3; ++i)
            QApplication::processEvents();

        QStringList faults;
        int checked = 0;
        for (const Row& row : studioTable()) {
            if (!row.shown.contains(Shown::always) && !row.shown.contains(state))
                continue;
            ++checked;
            const QString name = QLatin1String(row.control);
            QWidget* control = named(view_.get(), row.control);
            if (!control) {
                faults << name + QStringLiteral(": missing");
                continue;
            }
            if (!control->isVisible()) {
                faults << name + QStringLiteral(": not shown");
                continue;
            }
            if (row.text && gui::shownText(control) != QString::fromUtf8(row.text))
                faults << QStringLiteral("%1: reads \"%2\", not \"%3\"").arg(name, gui::shownText(control), row.text);
            const QString help = QString::fromUtf8(row.help);
            if (row.help && (help.startsWith('^') ? !QRegularExpression(help).match(control->toolTip()).hasMatch()
                                                  : control->toolTip() != help))
                faults << QStringLiteral("%1: help \"%2\", not \"%3\"").arg(name, control->toolTip(), row.help);
            for (const Rule& rule : row.rules) {
                const QString fault = rule({view_.get(), control, view_->scale()});
                if (!fault.isEmpty())
                    faults << name + QStringLiteral(": ") + fault;
            }
        }
        // And at these widths nothing is cut or lies over another control.
        faults << gui::layoutFaults(view_.get());
        QVERIFY2(checked > 10, qPrintable(QString::number(checked)));
        QVERIFY2(faults.isEmpty(), qPrintable(QStringLiteral("\n  ") + faults.join(QStringLiteral("\n  "))));
    }
};

QTEST_MAIN(ImageStudioTableTest)
#include "tst_image_studio_table.moc"
