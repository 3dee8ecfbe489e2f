// The preset sheets and forms against their written texts and sizes: one table per sheet of its named controls
// (text, symbol, font, size as written), then the placement rules, on the real widgets, hosted at the studio
// scales 1.0 and 1.6. None of these sheets follows the scale: their sizes are the same at both.

#include "CameraControlView.h"
#include "CinematicPlayer.h"
#include "ClipPresetListView.h"
#include "Glass.h"
#include "GlassButtons.h"
#include "GuiTestSupport.h"
#include "ImagePreset.h"
#include "LayoutCheck.h"
#include "Motion.h"
#include "MovementPlayer.h"
#include "PresetFormModel.h"
#include "PresetFormView.h"
#include "PresetTestSupport.h"
#include "PreviewBackend.h"
#include "PromptPresetsView.h"
#include "SwiftDataImagePresetsManager.h"
#include "SwiftDataPromptPresetsManager.h"
#include "Theme.h"
#include "UiScale.h"
#include "UserImagePresetsView.h"
#include "UserPresetCard.h"
#include "UserPresetListView.h"

#include <QAbstractButton>
#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QSignalSpy>
#include <QStackedWidget>
#include <QTest>
#include <QThreadPool>
#include <QVBoxLayout>

#include <optional>

using namespace PresetTestSupport;

namespace {

// A media player that plays nothing.
class SilentBackend final : public PreviewBackend {
public:
    ItemId replaceCurrentItem(const QUrl&) override { return current_ = ++last_; }
    void clearCurrentItem() override { current_ = 0; }
    ItemId currentItem() const override { return current_; }
    ItemStatus status(ItemId) const override { return ItemStatus::unknown; }
    std::optional<double> duration(ItemId) const override { return std::nullopt; }
    void play() override {}
    void pause() override {}
    void seekToStart() override {}
    void setVolume(double) override {}
    double volume() const override { return 0; }
    void setVideoOutput(PreviewFrameSink*) override {}

private:
    ItemId current_ = 0;
    ItemId last_ = 0;
};

// One named control of a sheet as its description writes it. Empty texts and invalid sizes are not checked.
struct Control {
    QString name;   // object name; "label:<text>" finds the label showing exactly that text
    QString text;   // title, label text or placeholder
    QString symbol; // for symbol buttons
    int fontPx = 0; // the font's size in points (the kit sets fonts in pixels)
    std::optional<QFont::Weight> weight;
    QSize size;
    double symbolPx = 0;
    QString trailing; // the trailing text of a tile
};

QWidget* findControl(QWidget* root, const QString& name) {
    if (name.startsWith(QLatin1String("label:"))) {
        const QString text = name.mid(6);
        for (QLabel* label : root->findChildren<QLabel*>())
            if (label->text() == text)
                return label;
        return nullptr;
    }
    return root->findChild<QWidget*>(name);
}

using gui::shownText;

// Every difference between the sheet and its table, each naming its control.
QStringList differences(QWidget* root, const QList<Control>& table) {
    QStringList found;
    for (const Control& row : table) {
        QWidget* widget = findControl(root, row.name);
        if (!widget) {
            found << row.name + ": missing";
            continue;
        }
        if (!row.text.isEmpty() && shownText(widget) != row.text)
            found << QStringLiteral("%1: text \"%2\", written \"%3\"").arg(row.name, shownText(widget), row.text);
        auto* glass = qobject_cast<GlassButton*>(widget);
        if (!row.symbol.isEmpty() && (!glass || glass->symbol() != row.symbol))
            found << QStringLiteral("%1: symbol \"%2\", written \"%3\"")
                         .arg(row.name, glass ? glass->symbol() : QString(), row.symbol);
        if (row.symbolPx > 0 && (!glass || glass->symbolSize() != row.symbolPx))
            found << QStringLiteral("%1: symbol size %2, written %3")
                         .arg(row.name)
                         .arg(glass ? glass->symbolSize() : 0)
                         .arg(row.symbolPx);
        if (!row.trailing.isEmpty() && (!glass || glass->trailingText() != row.trailing))
            found << QStringLiteral("%1: trailing text \"%2\", written \"%3\"")
                         .arg(row.name, glass ? glass->trailingText() : QString(), row.trailing);
        if (row.fontPx > 0 && widget->font().pixelSize() != row.fontPx)
            found << QStringLiteral("%1: font %2, written %3")
                         .arg(row.name)
                         .arg(widget->font().pixelSize())
                         .arg(row.fontPx);
        if (row.weight && widget->font().weight() != *row.weight)
            found << QStringLiteral("%1: weight %2, written %3")
                         .arg(row.name)
                         .arg(widget->font().weight())
                         .arg(*row.weight);
        if (row.size.isValid() && widget->size() != row.size)
            found << QStringLiteral("%1: %2 × %3, written %4 × %5")
                         .arg(row.name)
                         .arg(widget->width())
                         .arg(widget->height())
                         .arg(row.size.width())
                         .arg(row.size.height());
    }
    return found;
}

// Nothing cut, nothing outside what its parents show, nothing over another control.
#define CHECK_LAYOUT(root)                                                                                             \
    do {                                                                                                               \
        const QStringList faults = gui::layoutFaults(root);                                                            \
        QVERIFY2(faults.isEmpty(), qPrintable(faults.join(QStringLiteral("; "))));                                     \
    } while (false)

#define CHECK_TABLE(root, table)                                                                                       \
    do {                                                                                                               \
        const QStringList found = differences(root, table);                                                            \
        QVERIFY2(found.isEmpty(), qPrintable(found.join(QStringLiteral("; "))));                                       \
    } while (false)

// A tab or tile as written: the symbol at 14, 8 apart from its title at 13 medium, padded 14 and 10.
QSize writtenTabSize(const QString& title) {
    const QFontMetricsF metrics(Theme::font(13, QFont::Medium));
    return QSize(int(std::ceil(14 + 14 + 8 + metrics.horizontalAdvance(title) + 14)),
                 int(std::ceil(10 + std::max(14.0, metrics.height()) + 10)));
}

bool closeTo(QSize size, QSize written) {
    return std::abs(size.width() - written.width()) <= 1 && std::abs(size.height() - written.height()) <= 1;
}

QImage picture(int width, int height, QColor color) {
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(color);
    return image;
}

int lightness(QRgb pixel) {
    return QColor(pixel).lightness();
}

// A white window at the studio scale `scale`, holding `child` edge to edge.
void host(QWidget& window, QWidget* child, QSize size, double scale) {
    UiScale::setScaleOf(&window, scale);
    window.setAutoFillBackground(true);
    QPalette palette = window.palette();
    palette.setColor(QPalette::Window, Qt::white);
    window.setPalette(palette);
    auto* layout = new QVBoxLayout(&window);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(child);
    window.resize(size);
}

} // namespace

class PresetSheetTables : public QObject {
    Q_OBJECT
private:
    StoreFixture fixture_;

    void scales() {
        QTest::addColumn<double>("scale");
        QTest::newRow("1.0") << 1.0;
        QTest::newRow("1.6") << 1.6;
    }

    // The image form and the prompt form alike (their shared table), shown over a window at `scale`.
    void checkForm(PresetFormView* form, PresetFormModel* model, int promptHeight, bool promptBoxFixed) {
        QVERIFY(gui::showActive(form));
        QCOMPARE(form->size(), QSize(380, 500));
        const QList<Control> table{
            {"presetFormHeading", "Create New Preset", {}, 18, QFont::DemiBold},
            {"presetFormClose", {}, "xmark", 0, {}, QSize(28, 28), 14},
            {"label:Title", "Title", {}, 14, QFont::Medium},
            {"presetTitleField", "Enter preset title"},
            {"label:Reference Image (Optional)", "Reference Image (Optional)", {}, 14, QFont::Medium},
            {"presetPictureZone", "Add preset cover"},
            {"label:Prompt", "Prompt", {}, 14, QFont::Medium},
            {"presetPromptField", {}, {}, 14},
            {"presetSaveButton", "Create"},
        };
        CHECK_TABLE(form, table);
        CHECK_LAYOUT(form);

        // Padded 24 all round; the close button at the trailing end of the header, the button centred at the foot.
        GUI_REQUIRE(heading, QLabel, form, "presetFormHeading");
        GUI_REQUIRE(close, QAbstractButton, form, "presetFormClose");
        GUI_REQUIRE(save, QAbstractButton, form, "presetSaveButton");
        QCOMPARE(gui::rectIn(heading, form).left(), 24);
        QCOMPARE(form->width() - gui::rectIn(close, form).right() - 1, 24);
        QCOMPARE(gui::rectIn(close, form).top(), 24);
        QCOMPARE(form->height() - gui::rectIn(save, form).bottom() - 1, 24);
        QVERIFY(std::abs(gui::rectIn(save, form).center().x() - form->width() / 2) <= 1);
        // The picture area as wide as the form allows, 120 to 200 high without a picture.
        GUI_REQUIRE(zone, PresetPictureZone, form, "presetPictureZone");
        QCOMPARE(zone->width(), 380 - 48);
        QVERIFY2(zone->height() >= 120 && zone->height() <= 200, qPrintable(QString::number(zone->height())));
        GUI_REQUIRE(field, QPlainTextEdit, form, "presetPromptField");
        GUI_REQUIRE(box, QWidget, form, "presetPromptBox");
        if (promptBoxFixed)
            QCOMPARE(box->height(), promptHeight);
        else
            QVERIFY2(field->height() >= promptHeight, qPrintable(QString::number(field->height())));
        // Padded 8 in its box. The fixed form cannot hold every written height at once: the layout takes a
        // pixel from the box's foot before it takes one from the editor.
        QCOMPARE(field->geometry().topLeft(), QPoint(8, 8));
        QCOMPARE(box->width() - field->geometry().right() - 1, 8);
        QVERIFY(std::abs(box->height() - field->geometry().bottom() - 1 - 8) <= 1);

        // Edit mode: its heading and button.
        model->setEditing(true);
        CHECK_TABLE(form, (QList<Control>{{"presetFormHeading", "Edit Preset"}, {"presetSaveButton", "Update"}}));
        model->setEditing(false);
    }

private slots:
    void init() { fixture_.setUp(); }
    void cleanup() {
        for (QWidget* window : QApplication::topLevelWidgets())
            delete window;
        QThreadPool::globalInstance()->waitForDone();
        QApplication::processEvents();
        fixture_.tearDown();
        Theme::instance().setColorScheme(std::nullopt);
    }

    // The image presets panel in the studio's overlay: 350 wide, its shadow around it.
    void imagePresetsPanel_data() { scales(); }
    void imagePresetsPanel() {
        QFETCH(double, scale);
        SwiftDataImagePresetsManager manager(fixture_.store.get());
        manager.loadPresets();
        QWidget window;
        auto* view = new UserImagePresetsView(manager, "words");
        const int shadow = UserImagePresetsView::shadowMargin;
        host(window, view, QSize(350 + 2 * shadow, 760), scale);
        QVERIFY(gui::showActive(&window));
        QTRY_VERIFY(Motion::isAtRest(&window));

        const QList<Control> table{
            {"imagePresetsTitle", "Image Presets", {}, 0, QFont::DemiBold},
            {"imagePresetsClose", {}, "xmark", 0, {}, QSize(24, 24), 14},
            {"anglesTab", "Angles", "camera.viewfinder", 0, {}, {}, 14},
            {"myPresetsTab", "My Presets", "person.crop.circle", 0, {}, {}, 14},
        };
        CHECK_TABLE(view, table);
        CHECK_LAYOUT(&window);
        GUI_REQUIRE(panel, GlassPanel, view, "imagePresetsGlass");
        QCOMPARE(panel->width(), 350);
        QCOMPARE(panel->cornerRadius(), 16.0);

        // Header inset 20 at the sides and 12 above and below; the tabs 16 in, 8 apart, 12 below the header.
        GUI_REQUIRE(title, QLabel, view, "imagePresetsTitle");
        GUI_REQUIRE(close, QAbstractButton, view, "imagePresetsClose");
        GUI_REQUIRE(angles, QAbstractButton, view, "anglesTab");
        GUI_REQUIRE(mine, QAbstractButton, view, "myPresetsTab");
        QCOMPARE(panel->width() - gui::rectIn(close, panel).right() - 1, 20);
        const int headerRow = std::max(title->height(), close->height());
        QCOMPARE(gui::rectIn(angles, panel).top(), 12 + headerRow + 12 + 12);
        QCOMPARE(gui::rectIn(angles, panel).left(), 16);
        QCOMPARE(gui::rectIn(mine, panel).left() - gui::rectIn(angles, panel).right() - 1, 8);
        QVERIFY2(closeTo(angles->size(), writtenTabSize("Angles")), qPrintable(QString::number(angles->width())));
        QVERIFY2(closeTo(mine->size(), writtenTabSize("My Presets")), qPrintable(QString::number(mine->width())));
        // The title sits centred in the room left of the close button.
        QVERIFY(std::abs(gui::rectIn(title, panel).center().x() - (20 + gui::rectIn(close, panel).left()) / 2) <= 2);

        // "Angles": cards 180 + 44 high, 16 in from the list's sides and top, 16 apart.
        GUI_REQUIRE(list, QListView, view, "builtInPresetsList");
        const auto card = [&](int row) {
            const QRect item = list->visualRect(list->model()->index(row, 0));
            return QRect(item.left() + 16, item.top() + (row == 0 ? 16 : 0), list->viewport()->width() - 32, 224);
        };
        QCOMPARE(list->visualRect(list->model()->index(0, 0)).height(), 16 + 224 + 16);
        QCOMPARE(list->visualRect(list->model()->index(1, 0)).top() - card(0).bottom() - 1, 16);
        // The scroll bar stays inside the panel's rounded shape, arrows and all.
        const QPainterPath shape = continuousRoundedRect(panel->panelRect(), panel->cornerRadius());
        const QRect bar = gui::rectIn(list->verticalScrollBar(), panel);
        QVERIFY(list->verticalScrollBar()->isVisible());
        const QRectF barArea = QRectF(bar).adjusted(1, 1, -1, -1);
        for (const QPointF corner :
             {barArea.topLeft(), barArea.topRight(), barArea.bottomLeft(), barArea.bottomRight()})
            QVERIFY2(shape.contains(corner), qPrintable(QString("%1, %2").arg(corner.x()).arg(corner.y())));

        // The shadow: darker under the panel than far from it, and darker under it than above it (it falls 10 down).
        const QImage drawn = window.grab().toImage();
        const QRect area = gui::rectIn(panel, &window);
        const int x = area.center().x();
        const int far = lightness(drawn.pixel(2, area.center().y()));
        const int below = lightness(drawn.pixel(x, area.bottom() + 8));
        const int above = lightness(drawn.pixel(x, area.top() - 8));
        QVERIFY2(far - below >= 12 && below < above, qPrintable(QString("%1 %2 %3").arg(far).arg(below).arg(above)));

        // "My Presets": the add tile 16 in at the sides, the empty state's texts and button.
        GUI_CLICK(view, "myPresetsTab");
        GUI_REQUIRE(tile, QAbstractButton, view, "addNewPresetButton");
        QTRY_VERIFY(tile->isVisible());
        const QList<Control> mineTable{
            {"addNewPresetButton", "Add New Preset", "plus.circle.fill", 0, {}, {}, 14, "0 presets"},
            {"label:No Presets Yet", "No Presets Yet", {}, 18, QFont::DemiBold},
            {"label:Create your first preset", "Create your first preset", {}, 14},
            {"createPresetText", "Create Preset", {}, 14, QFont::Medium},
        };
        CHECK_TABLE(view, mineTable);
        CHECK_LAYOUT(&window);
        QCOMPARE(gui::rectIn(tile, panel).left(), 16);
        QCOMPARE(panel->width() - gui::rectIn(tile, panel).right() - 1, 16);
        QCOMPARE(tile->height(), writtenTabSize("Add New Preset").height());
    }

    // The user's own presets: picture cards 180 + 44 high and 70-high text rows, 16 apart, each outline drawn whole;
    // the card menu on the control background.
    void imagePresetCards() {
        Theme::instance().setColorScheme(ColorScheme::dark);
        fixture_.store->insert(ImagePreset::make("Plain", "plain words", QImage()));
        fixture_.store->insert(ImagePreset::make("Blue", "blue words", picture(80, 60, Qt::blue)));
        fixture_.store->insert(ImagePreset::make("Green", "green words", picture(80, 60, Qt::green)));
        fixture_.store->save();
        SwiftDataImagePresetsManager manager(fixture_.store.get());
        manager.loadPresets();
        QWidget window;
        auto* view = new UserImagePresetsView(manager, "words");
        // On the scheme's own window colour.
        auto* layout = new QVBoxLayout(&window);
        layout->setContentsMargins(0, 0, 0, 0);
        layout->addWidget(view);
        window.resize(350 + 2 * UserImagePresetsView::shadowMargin, 900);
        QVERIFY(gui::showActive(&window));
        GUI_CLICK(view, "myPresetsTab");
        GUI_REQUIRE(list, UserPresetListView, view, "userPresetsList");
        QTRY_VERIFY(list->isVisible());
        QTRY_VERIFY(Motion::isAtRest(&window));
        QTRY_VERIFY(list->loadingRings().isEmpty());
        const int rows = list->model()->rowCount();
        QCOMPARE(rows, 3);
        const QImage drawn = window.grab().toImage();
        const QPoint origin = list->viewport()->mapTo(&window, QPoint());

        for (int row = 0; row < rows; ++row) {
            const QModelIndex index = list->model()->index(row, 0);
            const QRect card = UserPresetCard::geometry(list->visualRect(index), index).card;
            QCOMPARE(card.left(), 16);
            QCOMPARE(list->viewport()->width() - card.right() - 1, 16);
            if (row + 1 < rows) {
                const QModelIndex next = list->model()->index(row + 1, 0);
                QCOMPARE(UserPresetCard::geometry(list->visualRect(next), next).card.top() - card.bottom() - 1, 16);
            }
            // The outline's bottom edge shows, brighter than the gap below it: nothing is drawn over it.
            const QPoint foot = origin + QPoint(card.left() + 40, card.bottom());
            if (foot.y() + 8 < origin.y() + list->viewport()->height())
                QVERIFY2(lightness(drawn.pixel(foot)) > lightness(drawn.pixel(foot + QPoint(0, 8))),
                         qPrintable(QString("row %1: %2, %3")
                                        .arg(row)
                                        .arg(lightness(drawn.pixel(foot)))
                                        .arg(lightness(drawn.pixel(foot + QPoint(0, 8))))));
        }

        // The menu of the first card: "Edit" and "Delete" on the control background.
        const QModelIndex first = list->model()->index(0, 0);
        const auto g = UserPresetCard::geometry(list->visualRect(first), first);
        QTest::mouseClick(list->viewport(), Qt::LeftButton, Qt::NoModifier, g.menuButton.center());
        QTRY_VERIFY(list->openMenu());
        QWidget* menu = list->openMenu();
        GUI_REQUIRE(body, QWidget, menu, "presetCardMenuBody");
        const QList<Control> menuTable{{"editPresetButton", "Edit"}, {"deletePresetButton", "Delete"}};
        CHECK_TABLE(menu, menuTable);
        QCOMPARE(body->width(), 120);
        const QImage menuDrawn = menu->grab().toImage();
        GUI_REQUIRE(edit, QWidget, menu, "editPresetButton");
        const QPoint blank = gui::rectIn(edit, menu).topRight() + QPoint(-12, edit->height() / 2);
        QCOMPARE(QColor(menuDrawn.pixel(blank)), Theme::color(ColorRole::controlBackground, ColorScheme::dark));
        menu->close();
    }

    // The 100 × 50 picture of a form's cover, fitted to its frame (at most 320 × 200) with its proportions.
    static void checkFitted(PresetPictureZone* zone) {
        const QRectF cover = zone->coverRect(zone->rect());
        QVERIFY2(cover.width() > 100 && cover.height() > 50,
                 qPrintable(QString("%1 × %2").arg(cover.width()).arg(cover.height())));
        QVERIFY(cover.width() <= 320 && cover.height() <= 200);
        QVERIFY(std::abs(cover.width() / cover.height() - 2.0) < 0.02);
        QVERIFY(qFuzzyCompare(cover.width(), 320.0) || qFuzzyCompare(cover.height(), double(zone->height())));
    }

    void imagePresetForm_data() { scales(); }
    void imagePresetForm() {
        QFETCH(double, scale);
        QWidget window;
        UiScale::setScaleOf(&window, scale);
        window.resize(900, 700);
        QVERIFY(gui::showActive(&window));
        auto* model = new PresetFormModel(&window);
        model->reset(QString(), "a prompt", QImage(), false);
        auto* form = new CreateImagePresetView(model, &window);
        checkForm(form, model, 100, false);

        // A picture is fitted to its frame with its own proportions, a small one grown to it: stretched to the
        // frame, a user's cover would be drawn squashed.
        model->setImage(picture(100, 50, Qt::red));
        GUI_REQUIRE(zone, PresetPictureZone, form, "presetPictureZone");
        QTRY_VERIFY(zone->height() > 60);
        CHECK_TABLE(form, (QList<Control>{{"removePictureButton", "Remove", {}, 12}}));
        checkFitted(zone);
    }

    void promptPresetEditor_data() { scales(); }
    void promptPresetEditor() {
        QFETCH(double, scale);
        QWidget window;
        UiScale::setScaleOf(&window, scale);
        window.resize(900, 700);
        QVERIFY(gui::showActive(&window));
        auto* model = new PresetFormModel(&window);
        model->reset(QString(), "a prompt", QImage(), false);
        auto* form = new CreatePresetView(model, &window);
        checkForm(form, model, 120, true);

        // A picture is fitted to its frame with its own proportions, a small one grown to it.
        model->setImage(picture(100, 50, Qt::red));
        GUI_REQUIRE(zone, PresetPictureZone, form, "presetPictureZone");
        QTRY_VERIFY(zone->height() > 60);
        checkFitted(zone);
    }

    // The image form the input panel opens on its prompt: the prompt it saves is the panel's, fixed; its field
    // shows it, can be selected, and cannot be changed.
    void createPresetFromPromptSheet_data() { scales(); }
    void createPresetFromPromptSheet() {
        QFETCH(double, scale);
        QWidget window;
        UiScale::setScaleOf(&window, scale);
        window.resize(900, 700);
        QVERIFY(gui::showActive(&window));
        auto* model = new PresetFormModel(&window);
        model->reset(QString(), QString(), QImage(), false);
        model->holdPrompt("a harbour at dawn");
        auto* form = new CreateImagePresetView(model, &window);
        checkForm(form, model, 100, false);

        GUI_REQUIRE(field, QPlainTextEdit, form, "presetPromptField");
        GUI_REQUIRE(title, QLineEdit, form, "presetTitleField");
        GUI_REQUIRE(save, QAbstractButton, form, "presetSaveButton");
        QCOMPARE(field->toPlainText(), QString("a harbour at dawn"));
        gui::type(title, "Harbour");
        QVERIFY(save->isEnabled());
        field->setFocus();
        field->selectAll();
        QVERIFY(field->textCursor().hasSelection());
        QTest::keyClick(field, Qt::Key_Delete);
        QCOMPARE(field->toPlainText(), QString("a harbour at dawn"));
        QVERIFY(save->isEnabled());
        QSignalSpy saved(model, &PresetFormModel::saveRequested);
        QVERIFY(gui::click(save));
        QCOMPARE(saved.size(), 1);
        QCOMPARE(model->prompt(), QString("a harbour at dawn"));
        // The title still decides.
        title->clear();
        QVERIFY(!save->isEnabled());
    }

    // The cinematic sheet: 750 × 600 over the studio at every width, the grid under its header.
    void cinematicSheet_data() {
        QTest::addColumn<double>("scale");
        QTest::addColumn<QSize>("studio");
        QTest::newRow("1000 wide") << 1.0 << QSize(1000, 660);
        QTest::newRow("1600 wide") << 1.6 << QSize(1600, 1000);
        QTest::newRow("2000 wide") << 1.6 << QSize(2000, 1250);
    }
    void cinematicSheet() {
        QFETCH(double, scale);
        QFETCH(QSize, studio);
        const QRect sheetArea = CameraControlView::sheetGeometry(studio);
        QCOMPARE(sheetArea.size(), QSize(750, 600));
        QCOMPARE(sheetArea.center(), QRect(QPoint(), studio).center());

        CinematicPlayer player(std::make_unique<SilentBackend>());
        QWidget window;
        auto* sheet = new CameraControlView(3, player);
        host(window, sheet, sheetArea.size(), scale);
        QVERIFY(gui::showActive(&window));
        QTRY_VERIFY(Motion::isAtRest(&window));
        const QList<Control> table{
            {"cinematicPresetsTitle", "Cinematic Presets", {}, 0, QFont::DemiBold},
            {"cinematicPresetsClose", {}, "xmark", 0, {}, QSize(24, 24), 14},
            {"cinematicPresetsContent", {}, {}, 0, {}, QSize(750, 600)},
        };
        CHECK_TABLE(sheet, table);
        CHECK_LAYOUT(&window);
        QCOMPARE(sheet->size(), QSize(750, 600));
        GUI_REQUIRE(title, QLabel, sheet, "cinematicPresetsTitle");
        GUI_REQUIRE(close, QAbstractButton, sheet, "cinematicPresetsClose");
        ClipPresetListView* grid = sheet->grid();
        QCOMPARE(sheet->width() - gui::rectIn(close, sheet).right() - 1, 20);
        const int headerRow = std::max(title->height(), close->height());
        QCOMPARE(gui::rectIn(grid, sheet).top(), 12 + headerRow + 12);
        // Padded 16 at the sides (within a pixel of the columns' rounding), the scroll bar beyond.
        const int gridRight = grid->verticalScrollBar()->isVisible()
                                  ? gui::rectIn(grid->verticalScrollBar(), grid).left()
                                  : grid->width();
        QCOMPARE(grid->viewport()->x() + grid->cardRect(0).left(), 16);
        QVERIFY2(std::abs(gridRight - (grid->viewport()->x() + grid->cardRect(2).right() + 1) - 16) <= 2,
                 qPrintable(QString::number(gridRight - (grid->viewport()->x() + grid->cardRect(2).right() + 1))));
        QCOMPARE(grid->cardRect(3).top() - grid->cardRect(0).bottom() - 1, 12);
        QCOMPARE(grid->cardRect(1).left() - grid->cardRect(0).right() - 1, 12);
    }

    // Smaller than the sheet, the studio keeps it 20 inside its edges.
    void cinematicSheetInASmallStudio() {
        QCOMPARE(CameraControlView::sheetGeometry(QSize(700, 500)), QRect(20, 20, 660, 460));
    }

    // The prompt presets panel: "Movements", a plain 18-point "xmark" in a 44 × 44 frame, the tabs and the add tile.
    void promptPresetsPanel_data() { scales(); }
    void promptPresetsPanel() {
        QFETCH(double, scale);
        SwiftDataPromptPresetsManager manager(fixture_.store.get());
        manager.loadPresets();
        MovementPlayer player(std::make_unique<SilentBackend>());
        QWidget window;
        auto* view = new PromptPresetsView(manager, "", false, player);
        host(window, view, QSize(350, 760), scale);
        QVERIFY(gui::showActive(&window));
        QTRY_VERIFY(Motion::isAtRest(&window));
        const QList<Control> table{
            {"promptPresetsTitle", "Movements", {}, 28, QFont::Bold},
            {"promptPresetsClose", {}, "xmark", 0, {}, QSize(44, 44), 18},
            {"cameraTab", "Camera", "folder.badge.plus", 0, {}, {}, 14},
            {"myPresetsTab", "My Presets", "person.crop.circle", 0, {}, {}, 14},
        };
        CHECK_TABLE(view, table);
        CHECK_LAYOUT(&window);
        GUI_REQUIRE(panel, GlassPanel, view, "promptPresetsGlass");
        GUI_REQUIRE(title, QLabel, view, "promptPresetsTitle");
        GUI_REQUIRE(close, GlassButton, view, "promptPresetsClose");
        GUI_REQUIRE(camera, QAbstractButton, view, "cameraTab");
        GUI_REQUIRE(mine, QAbstractButton, view, "myPresetsTab");
        // Header padded 32 at the sides, 24 above and 20 below; the tabs 16 in and 12 below it, 8 apart.
        QCOMPARE(panel->width() - gui::rectIn(close, panel).right() - 1, 32);
        const int headerRow = std::max(title->height(), close->height());
        QCOMPARE(gui::rectIn(close, panel).top(), 24 + (headerRow - close->height()) / 2);
        QCOMPARE(gui::rectIn(camera, panel).top(), 24 + headerRow + 20 + 12);
        QCOMPARE(gui::rectIn(camera, panel).left(), 16);
        QCOMPARE(gui::rectIn(mine, panel).left() - gui::rectIn(camera, panel).right() - 1, 8);
        QVERIFY(closeTo(camera->size(), writtenTabSize("Camera")));

        // The close button is the glyph alone: what lies behind it shows at its edge, and its corner takes a click.
        QVERIFY(close->isPlain());
        const QImage drawn = window.grab().toImage();
        const QRect area = gui::rectIn(close, &window);
        const QRgb beside = drawn.pixel(area.left() - 3, area.center().y());
        QCOMPARE(QColor(drawn.pixel(area.left() + 3, area.center().y())), QColor(beside));
        QSignalSpy dismissed(view, &PromptPresetsView::dismissRequested);
        QTest::mouseClick(close, Qt::LeftButton, Qt::NoModifier, QPoint(2, 2));
        QCOMPARE(dismissed.size(), 1);

        // "My Presets": the add tile 16 in, 12 below the tabs; the empty state's texts, the longer one at most 300
        // wide.
        GUI_CLICK(view, "myPresetsTab");
        GUI_REQUIRE(tile, QAbstractButton, view, "addNewPresetButton");
        QTRY_VERIFY(tile->isVisible());
        QTRY_VERIFY(Motion::isAtRest(&window));
        const QList<Control> mineTable{
            {"addNewPresetButton", "Add New Preset", "plus.circle.fill", 0, {}, {}, 14, "0 presets"},
            {"label:No custom presets yet", "No custom presets yet", {}, 0, QFont::DemiBold},
            {"promptPresetsEmptyText", "Create your first prompt preset to save frequently used descriptions"},
        };
        CHECK_TABLE(view, mineTable);
        CHECK_LAYOUT(&window);
        QCOMPARE(gui::rectIn(tile, panel).left(), 16);
        QCOMPARE(panel->width() - gui::rectIn(tile, panel).right() - 1, 16);
        QCOMPARE(gui::rectIn(tile, panel).top() - gui::rectIn(mine, panel).bottom() - 1, 12 + 12);
        GUI_REQUIRE(longText, QLabel, view, "promptPresetsEmptyText");
        QVERIFY(longText->width() <= 300);
    }
};

QTEST_MAIN(PresetSheetTables)
#include "tst_preset_sheet_tables.moc"
