#include "APIManager.h"
#include "ClipMetadataLoader.h"
#include "DragOutCopies.h"
#include "FakeMiniMaxService.h"
#include "FileNames.h"
#include "FolderBookmark.h"
#include "GalleryClip.h"
#include "GalleryClipModel.h"
#include "GalleryJobModel.h"
#include "GalleryTestSupport.h"
#include "Glass.h"
#include "GuiTestSupport.h"
#include "MediaProbe.h"
#include "Motion.h"
#include "MovementPlayer.h"
#include "PreviewFrameSink.h"
#include "PromptPresetsView.h"
#include "QueueManager.h"
#include "Spinner.h"
#include "SwiftDataPromptPresetsManager.h"
#include "Theme.h"
#include "ThumbnailCache.h"
#include "VideoGalleryGrid.h"
#include "VideoGalleryItemModel.h"
#include "VideoGalleryLogicView.h"
#include "VideoGalleryViewModel.h"
#include "VideoItemLogicView.h"
#include "VideoMetadata.h"
#include "VideoPlayerView.h"
#include "VideoSettings.h"

#include <QAccessible>
#include <QAction>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <QLabel>
#include <QMenu>
#include <QScreen>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTest>
#include <QTextDocument>
#include <QToolButton>

#include <fcntl.h>
#include <unistd.h>

using namespace GalleryTestSupport;

namespace {

// A media backend that is ready as soon as it is asked to play.
class InstantBackend final : public PreviewBackend {
public:
    ItemId replaceCurrentItem(const QUrl& url) override {
        current_ = ++last_;
        loaded = url;
        return current_;
    }
    void clearCurrentItem() override { current_ = 0; }
    ItemId currentItem() const override { return current_; }
    ItemStatus status(ItemId item) const override {
        return item == ready_ ? ItemStatus::readyToPlay : ItemStatus::unknown;
    }
    std::optional<double> duration(ItemId item) const override {
        return item == ready_ ? std::optional(1.0) : std::nullopt;
    }
    void play() override {
        ready_ = current_;
        emit itemStatusChanged(current_);
    }
    void pause() override {}
    void seekToStart() override {}
    void setVolume(double v) override { volume_ = v; }
    double volume() const override { return volume_; }
    void setVideoOutput(PreviewFrameSink* output) override { this->output = output; }

    QUrl loaded;
    QObject* output = nullptr;

private:
    ItemId current_ = 0;
    ItemId last_ = 0;
    ItemId ready_ = 0;
    double volume_ = 0;
};

// The desktop's own trash and file manager, with every call recorded on the way.
class RecordingDesktop final : public Workspace {
public:
    RecordingDesktop() { Workspace::setCurrent(this); }
    ~RecordingDesktop() override { Workspace::setCurrent(nullptr); }
    void revealInFileManager(const QStringList& paths) override { revealed.append(paths); }
    bool moveToTrash(const QString& path, QString* reason) override {
        trashed.append(path);
        return desktop.moveToTrash(path, reason);
    }
    DesktopWorkspace desktop;
    QList<QStringList> revealed;
    QStringList trashed;
};

bool rawNameExists(const QByteArray& path) {
    return ::access(path.constData(), F_OK) == 0;
}

// What a tooltip shows: Qt reads it as markup when it looks like markup.
QString shownToolTip(const QString& tip) {
    if (!Qt::mightBeRichText(tip))
        return tip;
    QTextDocument document;
    document.setHtml(tip);
    return document.toPlainText();
}

// What a screen reader finds as the focused item of a widget: the object and the name it reads.
std::pair<QObject*, QString> accessibleFocusOf(QWidget* widget) {
    QAccessibleInterface* focus = QAccessible::queryAccessibleInterface(widget)->focusChild();
    if (!focus)
        return {};
    return {focus->object(), focus->state().focused ? focus->text(QAccessible::Name) : QString()};
}

// Counts the paints of the widgets it watches.
class PaintCounter final : public QObject {
public:
    void watch(QWidget* widget) { widget->installEventFilter(this); }
    int of(const QObject* widget) const { return counts_.value(widget); }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Paint)
            ++counts_[watched];
        return false;
    }

private:
    QHash<const QObject*, int> counts_;
};

// Gives a clip its metadata the moment its card is first shown, while the grid is still laying the cards out:
// what a read that ends as soon as it is asked for does.
class ReadOnShow final : public QObject {
public:
    int fed = 0;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        auto* card = qobject_cast<VideoItemLogicView*>(watched);
        if (event->type() == QEvent::Show && card && card->clip() &&
            card->clip()->metadataState() == GalleryClip::MetadataState::notLoaded) {
            card->clip()->takeMetadata(ClipMetadataLoader::load(card->clip()->path()));
            ++fed;
        }
        return false;
    }
};

// A picture in squares of two colours: a piece of it drawn out of place shows.
QImage checkerboard(QSize size, int cell, QColor one, QColor other) {
    QImage image(size, QImage::Format_RGB32);
    for (int y = 0; y < size.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < size.width(); ++x)
            line[x] = ((x / cell + y / cell) % 2 ? one : other).rgb();
    }
    return image;
}

// Around the spokes, the spinner's square shows what the card draws there itself.
bool spinnerShowsTheCardBeneath(VideoItemLogicView& card, const QWidget& spinner) {
    const QImage shown = card.grab().toImage().convertToFormat(QImage::Format_ARGB32_Premultiplied);
    QImage bare(shown.size(), QImage::Format_ARGB32_Premultiplied);
    bare.setDevicePixelRatio(shown.devicePixelRatio());
    bare.fill(Qt::transparent);
    card.render(&bare, QPoint(), QRegion(), QWidget::RenderFlags()); // the card alone
    const double ratio = shown.devicePixelRatio();
    const QRectF square = QRectF(spinner.geometry());
    const double reach = square.width() / 2 + 1;
    int compared = 0;
    for (int y = int(square.top() * ratio); y < int(square.bottom() * ratio); ++y) {
        for (int x = int(square.left() * ratio); x < int(square.right() * ratio); ++x) {
            if (QLineF(QPointF(x + 0.5, y + 0.5) / ratio, square.center()).length() <= reach)
                continue;
            const QColor a = shown.pixelColor(x, y);
            const QColor b = bare.pixelColor(x, y);
            if (std::abs(a.red() - b.red()) > 2 || std::abs(a.green() - b.green()) > 2 ||
                std::abs(a.blue() - b.blue()) > 2 || std::abs(a.alpha() - b.alpha()) > 2) {
                qWarning() << "at" << x << y << "the spinner shows" << a << "over" << b;
                return false;
            }
            ++compared;
        }
    }
    return compared > 0;
}

} // namespace

class GalleryViewTest : public QObject {
    Q_OBJECT

    std::unique_ptr<World> world;
    std::unique_ptr<ScriptedDialogs> dialogs;
    std::unique_ptr<RecordingWorkspace> workspace;
    std::unique_ptr<VideoSettings> settings;
    std::unique_ptr<QueueManager> queue;
    std::unique_ptr<MovementPlayer> player;
    InstantBackend* backend = nullptr;
    std::unique_ptr<VideoGalleryViewModel> gallery;
    std::unique_ptr<VideoGalleryLogicView> view;
    QString folder;

    AppEnvironment environment() {
        AppEnvironment env;
        env.videoSettings = settings.get();
        env.queueManager = queue.get();
        env.movementPlayer = player.get();
        env.galleryViewModel = gallery.get();
        env.modelContext = world->store.get();
        return env;
    }
    void openView(bool withFolder = true) {
        if (withFolder)
            settings->setVideoDirectoryBookmark(FolderBookmark::create(folder));
        view = std::make_unique<VideoGalleryLogicView>(environment());
        view->resize(900, 800);
        QVERIFY(gui::showActive(view.get()));
        QCoreApplication::processEvents();
    }
    VideoItemLogicView* cardNamed(const QString& title) {
        for (VideoItemLogicView* card : view->grid()->cards()) {
            if (card->title() == title)
                return card;
        }
        return nullptr;
    }
    // A queue whose first `keys` video keys the fake service accepts.
    void useVideoService(FakeMiniMaxService& service, int keys) {
        service.clip = clipBytes();
        service.acceptedKeys.clear();
        for (int slot = 1; slot <= keys; ++slot)
            service.acceptedKeys << QStringLiteral("key-%1").arg(slot);
        service.install();
        APIManager& manager = APIManager::shared();
        manager.setMiniMaxAPIKey(service.acceptedKeys.value(0));
        manager.setMiniMaxAPIKey2(service.acceptedKeys.value(1));
        manager.setMiniMaxAPIKey3(service.acceptedKeys.value(2));
        queue = std::make_unique<QueueManager>();
    }
    void addJob(const QString& prompt) {
        queue->addVideoTask(prompt, std::nullopt, std::nullopt, VideoQuality::p768, VideoDuration::seconds6);
    }
    // Advances virtual time in small steps, letting the event loop run in between.
    void advance(double seconds) {
        world->clock.advance(seconds);
        QCoreApplication::processEvents();
    }

private slots:
    void initTestCase() { QVERIFY(!clipBytes().isEmpty()); }

    void init() {
        world = std::make_unique<World>();
        dialogs = std::make_unique<ScriptedDialogs>();
        workspace = std::make_unique<RecordingWorkspace>();
        folder = world->folder("Videos");
        settings = std::make_unique<VideoSettings>();
        queue = std::make_unique<QueueManager>();
        auto fake = std::make_unique<InstantBackend>();
        backend = fake.get();
        player = std::make_unique<MovementPlayer>(std::move(fake));
        gallery = std::make_unique<VideoGalleryViewModel>();
    }
    void cleanup() {
        view.reset();
        gallery.reset();
        player.reset();
        queue.reset();
        settings.reset();
        dialogs.reset();
        workspace.reset();
        world.reset();
    }

    void theEmptyStateFollowsTheVideoKey() {
        APIManager::shared().setMiniMaxAPIKey("   ");
        openView(false);
        QVERIFY(world->environment.logLines().contains(
            "⚠️ [ScenesView] No video folder configured, stopping gallery monitoring"));
        QVERIFY(view->isShowingEmptyState());
        GUI_REQUIRE(title, QLabel, view.get(), "emptyStateTitle");
        GUI_REQUIRE(subtitle, QLabel, view.get(), "emptyStateSubtitle");
        QCOMPARE(title->text(), "MiniMax API key not set");
        QCOMPARE(subtitle->text(), "Please go to API settings to configure your key");
        APIManager::shared().setMiniMaxAPIKey("key-1");
        QCOMPARE(title->text(), "Ready for parallel motion generation");
        QCOMPARE(subtitle->text(), "Up to 4 videos can be generated simultaneously");
        QVERIFY2(gui::unnamedControls(view.get()).isEmpty(), qPrintable(gui::unnamedControls(view.get()).join(", ")));
    }

    void clipCardsShowTheirRecordAndTheThreeButtons() {
        addRecord(*world->store, "Orvane_fox.mp4", "a fox", world->clock.now());
        QVERIFY(writeFile(folder + "/Orvane_plain.mp4", clipBytes()));
        QTest::qWait(5);
        QVERIFY(writeFile(folder + "/Orvane_fox.mp4", clipBytes()));
        openView();
        QVERIFY(world->environment.logLines().contains("🎬 [ScenesView] Setting up gallery for directory: " + folder));
        QTRY_COMPARE(view->grid()->cards().size(), 2);
        QVERIFY(!view->isShowingEmptyState());
        VideoItemLogicView* fox = cardNamed("a fox");
        VideoItemLogicView* plain = cardNamed("Orvane_plain");
        QVERIFY(fox && plain);
        QCOMPARE(fox->badgeTexts(), (QStringList{"768P", "2.3 Fast", "AI"}));
        QVERIFY(plain->badgeTexts().isEmpty());
        // Solo: the buttons carry their labels.
        QVERIFY(gui::findByAccessibleName(fox, "Recreate"));
        QVERIFY(gui::findByAccessibleName(fox, "Finder"));
        QVERIFY(gui::findByAccessibleName(fox, "Delete"));
        QTRY_VERIFY(!fox->clip()->thumbnail().isNull());

        QSignalSpy recreated(gallery.get(), &VideoGalleryViewModel::recreateRequested);
        GUI_CLICK(fox, "recreateButton");
        QCOMPARE(recreated.size(), 1);
        QCOMPARE(recreated.first().first().value<VideoMetadata*>()->fileName(), "Orvane_fox.mp4");
        GUI_CLICK(plain, "recreateButton");
        QCOMPARE(recreated.size(), 1);
        QVERIFY(world->environment.logLines().contains("❌ No metadata found for Orvane_plain.mp4"));

        GUI_CLICK(fox, "revealButton");
        QCOMPARE(workspace->revealed, QList<QStringList>{{folder + "/Orvane_fox.mp4"}});
        QVERIFY2(gui::unnamedControls(view.get()).isEmpty(), qPrintable(gui::unnamedControls(view.get()).join(", ")));
    }

    void trashAsksFirstAndKeepsTheRecord() {
        addRecord(*world->store, "Orvane_fox.mp4", "a fox", world->clock.now());
        QVERIFY(writeFile(folder + "/Orvane_fox.mp4", clipBytes()));
        openView();
        QTRY_VERIFY(cardNamed("a fox"));
        dialogs->alertAnswer = 1; // Cancel
        GUI_CLICK(cardNamed("a fox"), "trashButton");
        QCOMPARE(dialogs->alerts.size(), 1);
        QCOMPARE(dialogs->alerts.first().style, Dialogs::AlertStyle::warning);
        QCOMPARE(dialogs->alerts.first().message, "Move Video to Trash");
        QCOMPARE(
            dialogs->alerts.first().informativeText,
            "Are you sure you want to move 'Orvane_fox.mp4' to the Trash? You can restore it from the Trash later.");
        QCOMPARE(dialogs->alerts.first().buttons, (QStringList{"Move to Trash", "Cancel"}));
        QVERIFY(QFile::exists(folder + "/Orvane_fox.mp4"));

        QVERIFY(workspace->trashed.isEmpty());

        // The trash refuses: the error is shown and the card stays.
        dialogs->alertAnswer = 0;
        workspace->trashAnswer = false;
        GUI_CLICK(cardNamed("a fox"), "trashButton");
        QCOMPARE(dialogs->alerts.size(), 3);
        QCOMPARE(dialogs->alerts.last().style, Dialogs::AlertStyle::critical);
        QTest::qWait(20);
        QVERIFY(cardNamed("a fox"));

        workspace->trashAnswer = true;
        workspace->removeFiles = true;
        GUI_CLICK(cardNamed("a fox"), "trashButton");
        QCOMPARE(workspace->trashed.last(), folder + "/Orvane_fox.mp4");
        QVERIFY(!QFile::exists(folder + "/Orvane_fox.mp4"));
        QTRY_VERIFY(view->isShowingEmptyState());
        QCOMPARE(world->store->fetch<VideoMetadata>()->size(), 1);
    }

    // The focus never goes down with a card's button: the grid takes it, or the grid-mode button after the last card.
    void aCardGoingWithTheFocusLeavesItOnTheNearestNamedControl() {
        QVERIFY(writeFile(folder + "/Orvane_a.mp4", clipBytes()));
        QVERIFY(writeFile(folder + "/Orvane_b.mp4", clipBytes()));
        openView();
        QTRY_COMPARE(view->grid()->cards().size(), 2);
        dialogs->alertAnswer = 0;
        workspace->trashAnswer = workspace->removeFiles = true;
        for (const QString expected : {"galleryGrid", "gridModeMenu"}) {
            view->grid()->setFocus(Qt::TabFocusReason);
            GUI_REQUIRE(trash, QWidget, view->grid()->currentCard(), "trashButton");
            trash->setFocus(Qt::TabFocusReason);
            gui::keyToFocus(Qt::Key_Space);
            QTRY_VERIFY(QApplication::focusWidget() && QApplication::focusWidget()->objectName() == expected);
        }
    }

    void hoverPlaysAfter200msAndStopsAfter150ms() {
        QVERIFY(writeFile(folder + "/Orvane_a.mp4", clipBytes()));
        QVERIFY(writeFile(folder + "/Orvane_b.mp4", clipBytes()));
        openView();
        QTRY_COMPARE(view->grid()->cards().size(), 2);
        VideoItemLogicView* first = view->grid()->cards().at(0);
        VideoItemLogicView* second = view->grid()->cards().at(1);

        // In and out within 200 ms: nothing starts.
        gui::hover(first);
        advance(0.1);
        gui::unhover(first);
        advance(0.3);
        QVERIFY(!player->currentVideo());

        gui::hover(first);
        advance(0.19);
        QVERIFY(!player->currentVideo());
        advance(0.02);
        QCOMPARE(player->currentVideo(), first->clip());
        QVERIFY(player->isPlaying());
        QCOMPARE(backend->loaded, QUrl::fromLocalFile(first->clip()->path()));
        VideoPlayerView* preview = view->grid()->previewWidget();
        QVERIFY(preview);
        QCOMPARE(backend->output, static_cast<QObject*>(preview->videoSink()));
        QCOMPARE(preview->parentWidget(), first);
        QVERIFY(preview->isVisible());

        // Straight to the next card: the first stops at 150 ms, the second plays at 200 ms.
        gui::unhover(first);
        gui::hover(second);
        advance(0.16);
        QVERIFY(!player->currentVideo());
        QVERIFY(!preview->isVisible());
        advance(0.05);
        QCOMPARE(player->currentVideo(), second->clip());
        QCOMPARE(preview->parentWidget(), second);

        gui::unhover(second);
        advance(0.14);
        QCOMPARE(player->currentVideo(), second->clip());
        advance(0.02);
        QVERIFY(!player->currentVideo());
        QCOMPARE(player->currentMode(), MovementPlayer::PlaybackMode::movement);
    }

    void aDelayedStopEndsAnyGalleryPreview() {
        QVERIFY(writeFile(folder + "/Orvane_a.mp4", clipBytes()));
        QVERIFY(writeFile(folder + "/Orvane_b.mp4", clipBytes()));
        openView();
        QTRY_COMPARE(view->grid()->cards().size(), 2);
        VideoItemLogicView* first = view->grid()->cards().at(0);
        GalleryClip* other = view->grid()->cards().at(1)->clip();
        player->playVideo(other);
        // The pointer crosses the first card too fast to start it; its stop still ends the other preview.
        gui::hover(first);
        advance(0.05);
        gui::unhover(first);
        advance(0.1);
        QCOMPARE(player->currentVideo(), other);
        advance(0.06);
        QVERIFY(!player->currentVideo());
        QVERIFY(!other->isHovered());
    }

    void aDragHandsOutACopyThatStays() {
        QVERIFY(writeFile(folder + "/Orvane_drag.mp4", clipBytes()));
        openView();
        QTRY_COMPARE(view->grid()->cards().size(), 1);
        VideoItemLogicView* card = view->grid()->cards().first();
        QCOMPARE(VideoItemLogicView::dragActions(), Qt::DropActions(Qt::CopyAction));
        const auto data = card->makeDragMimeData();
        QVERIFY(data);
        QVERIFY(data->hasUrls());
        QVERIFY(!QDir(DragOutCopies::folder()).exists() || QDir(DragOutCopies::folder()).isEmpty()); // lazily made
        const QList<QUrl> urls = data->urls();
        QCOMPARE(urls.size(), 1);
        const QString copy = urls.first().toLocalFile();
        QVERIFY(copy.startsWith(DragOutCopies::folder() + "/temp_"));
        QVERIFY(copy.endsWith("_Orvane_drag.mp4"));
        QVERIFY(QFile::exists(copy));
        QCOMPARE(data->urls(), urls); // asked again: the same copy
        advance(60 * 60);
        QVERIFY(QFile::exists(copy)); // a receiver may read it much later
        QVERIFY(QFile::exists(folder + "/Orvane_drag.mp4"));
    }

    void jobsLeadTheGridWithoutButtonsOrPreview() {
        QVERIFY(writeFile(folder + "/Orvane_a.mp4", clipBytes()));
        queue->addVideoTask(QStringLiteral("waiting job"), std::nullopt, std::nullopt, VideoQuality::p768,
                            VideoDuration::seconds6);
        openView();
        QTRY_COMPARE(view->grid()->cards().size(), 2);
        VideoItemLogicView* job = view->grid()->cards().first();
        QVERIFY(job->isPlaceholder());
        QCOMPARE(job->statusText(), "In Queue...");
        GUI_REQUIRE(recreate, QWidget, job, "recreateButton");
        QVERIFY(!recreate->isVisible());
        QVERIFY(!job->makeDragMimeData());
        gui::hover(job);
        advance(0.3);
        QVERIFY(!player->currentVideo());
    }

    // A clip whose name is not UTF-8 plays, drags out, shows in the file manager and goes to the trash, each
    // under its exact bytes; the real trash takes it too.
    void aClipWhoseNameIsNotUtf8CanBeUsedLikeAnyOther() {
        const QByteArray raw = QFile::encodeName(folder) + "/Orvane_\xff\xfe_clip.mp4";
        QVERIFY(writeRawName(raw, clipBytes()));
        const QByteArray previousDataHome = qgetenv("XDG_DATA_HOME");
        qputenv("XDG_DATA_HOME", QFile::encodeName(world->environment.path("xdg-data")));
        const auto restore = qScopeGuard([&] {
            if (previousDataHome.isEmpty())
                qunsetenv("XDG_DATA_HOME");
            else
                qputenv("XDG_DATA_HOME", previousDataHome);
        });
        workspace.reset();
        RecordingDesktop desktop;
        openView();
        QTRY_COMPARE(view->grid()->cards().size(), 1);
        VideoItemLogicView* card = view->grid()->cards().first();
        GalleryClip* clip = card->clip();
        QCOMPARE(FileNames::encode(clip->path()), raw);
        QCOMPARE(card->title(), QStringLiteral("Orvane_\uFFFD\uFFFD_clip"));
        QTRY_VERIFY(!clip->thumbnail().isNull());

        gui::hover(card);
        advance(0.25);
        QCOMPARE(player->currentVideo(), clip);
        QVERIFY(backend->loaded.toEncoded().endsWith("/Orvane_%FF%FE_clip.mp4"));
        gui::unhover(card);
        advance(0.2);

        const auto data = card->makeDragMimeData();
        QVERIFY(data && data->hasUrls());
        const QString copy = data->urls().first().toLocalFile();
        QVERIFY(copy.startsWith(DragOutCopies::folder() + "/temp_"));
        QFile copied(copy);
        QVERIFY(copied.open(QIODevice::ReadOnly));
        QCOMPARE(copied.readAll(), clipBytes());

        GUI_CLICK(card, "revealButton");
        QCOMPARE(desktop.revealed.size(), 1);
        QCOMPARE(FileNames::encode(desktop.revealed.first().first()), raw);

        dialogs->alertAnswer = 0;
        GUI_CLICK(card, "trashButton");
        QCOMPARE(dialogs->alerts.size(), 1);
        QCOMPARE(dialogs->alerts.first().informativeText,
                 QStringLiteral("Are you sure you want to move 'Orvane_\uFFFD\uFFFD_clip.mp4' to the Trash? You can "
                                "restore it from the Trash later."));
        QCOMPARE(desktop.trashed.size(), 1);
        QCOMPARE(FileNames::encode(desktop.trashed.first()), raw);
        QVERIFY(!rawNameExists(raw));
        const QByteArray trash = QFile::encodeName(world->environment.path("xdg-data/Trash"));
        QVERIFY(rawNameExists(trash + "/files/Orvane_\xff\xfe_clip.mp4"));
        QTRY_VERIFY(view->isShowingEmptyState());
        QCOMPARE(dialogs->alerts.size(), 1); // no failure reported
    }

    // A failed job's card takes its placeholder's place with the prompt and the error word for word, and
    // stays until the user removes it, by its button or the Delete key; finished jobs are not affected.
    void aFailedJobStaysAsACardUntilRemoved() {
        RecordingSoundPlayer sounds;
        FakeMiniMaxService service;
        useVideoService(service, 3);
        // The first job is turned away at once, the second fails at the service, the third is made.
        service.generationReplies = {FakeMiniMaxService::Reply::refusal(1004, "missing authorization")};
        FakeMiniMaxService::TaskScript failing;
        failing.statuses = {"Processing", "Fail"};
        service.scripts = {failing};
        openView();
        QVERIFY(view->isShowingEmptyState());

        addJob("a fox in the snow");
        QTRY_COMPARE(view->grid()->cards().size(), 1);
        VideoItemLogicView* fox = view->grid()->cards().first();
        QVERIFY(!fox->isFailedJob());
        GUI_REQUIRE(error, QLabel, fox, "failedJobError");
        QVERIFY(!error->isVisible());
        QVERIFY(world->clock.runUntil([&] { return queue->completedTasks().size() == 1; }, 1e6, 20000));
        const GenerationTask failed = queue->completedTasks().first();
        QCOMPARE(failed.status, GenerationTaskStatus::failed);
        // The service's own words, which hold something that looks like markup.
        QCOMPARE(failed.error.value_or(""), "MiniMax requires API Key in Authorization: Bearer <API_KEY>.");
        QCOMPARE(view->grid()->cards(), QList<VideoItemLogicView*>{fox});
        QVERIFY(fox->isFailedJob());
        QVERIFY(error->isVisible());
        QCOMPARE(error->text(), *failed.error);
        QVERIFY(fox->mediaRect().contains(error->geometry()));
        QCOMPARE(fox->title(), "a fox in the snow");
        QCOMPARE(fox->accessibleName(), "a fox in the snow");
        QCOMPARE(fox->accessibleDescription(), *failed.error);
        QCOMPARE(shownToolTip(fox->toolTip()), *failed.error);
        GUI_REQUIRE(remove, QWidget, fox, "failedJobRemoveButton");
        QVERIFY(remove->isVisible());
        QCOMPARE(remove->accessibleName(), "Remove");
        GUI_REQUIRE(trash, QWidget, fox, "trashButton");
        GUI_REQUIRE(recreate, QWidget, fox, "recreateButton");
        QVERIFY(!trash->isVisible());
        QVERIFY(!recreate->isVisible());
        QVERIFY2(gui::unnamedControls(view.get()).isEmpty(), qPrintable(gui::unnamedControls(view.get()).join(", ")));

        addJob("a hare");
        QVERIFY(world->clock.runUntil([&] { return queue->completedTasks().size() == 2; }, 1e6, 20000));
        addJob("an owl");
        // While the clip is fetched the watch loops keep ticking: virtual time may run far ahead.
        QVERIFY(world->clock.runUntil([&] { return gallery->count() == 1; }, 1e6, 20000));
        VideoGalleryItemModel* cells = view->itemModel();
        const auto cell = [cells](int row, int role) { return cells->index(row, 0).data(role); };
        QTRY_COMPARE(cells->rowCount(), 3);
        QCOMPARE(cell(0, Qt::DisplayRole).toString(), "a fox in the snow");
        QCOMPARE(cell(1, Qt::DisplayRole).toString(), "a hare");
        QCOMPARE(cell(1, VideoGalleryItemModel::ErrorTextRole).toString(), "Video generation failed");
        QVERIFY(!cell(2, VideoGalleryItemModel::IsPlaceholderRole).toBool());
        QCOMPARE(queue->completedTasks().last().status, GenerationTaskStatus::completed);

        QVERIFY(gui::click(remove));
        QCOMPARE(cells->rowCount(), 2);
        QCOMPARE(cell(0, Qt::DisplayRole).toString(), "a hare");
        view->grid()->setFocus(Qt::TabFocusReason);
        view->grid()->setCurrentRow(0);
        gui::key(view->grid(), Qt::Key_Delete);
        QCOMPARE(cells->rowCount(), 1);
        QVERIFY(!cell(0, VideoGalleryItemModel::IsPlaceholderRole).toBool());
        QTRY_COMPARE(view->grid()->cards().size(), 1);
        QVERIFY(dialogs->alerts.isEmpty());
        // The queue still knows both failures; only the gallery let them go.
        QCOMPARE(queue->completedTasks().size(), 3);
    }

    // Prompts and service texts are shown as they are, never read as markup.
    void markupInPromptsAndErrorsShowsAsTyped_data() {
        QTest::addColumn<QString>("markup");
        QTest::newRow("bold") << "<b>x</b>";
        QTest::newRow("picture") << "<img src='missing.png'> y";
        QTest::newRow("entity") << "Tom &amp; Jerry";
        QTest::newRow("line break") << "one<br>two";
    }
    void markupInPromptsAndErrorsShowsAsTyped() {
        QFETCH(QString, markup);
        GenerationTask job;
        job.prompt = "a fox " + markup;
        job.quality = VideoQuality::p768;
        job.status = GenerationTaskStatus::failed;
        job.error = "Video download error: " + markup;
        GalleryJobModel jobs;
        jobs.setJobs({job});
        VideoItemLogicView card(jobs.index(0), player.get());
        card.setLayoutValues(1, 1.0);
        card.resize(480, VideoItemLogicView::heightFor(480, 1, 1.0));
        QVERIFY(gui::showActive(&card));
        GUI_REQUIRE(error, QLabel, &card, "failedJobError");
        QVERIFY(error->isVisible());
        QCOMPARE(error->textFormat(), Qt::PlainText);
        QCOMPARE(error->text(), *job.error);
        QCOMPARE(shownToolTip(card.toolTip()), *job.error);
        QCOMPARE(card.accessibleName(), job.prompt);
        QCOMPARE(card.accessibleDescription(), *job.error);
    }

    // A running job's spinner turns over the job's picture without the card painting again: a step repaints the
    // spinner's square alone, and that square shows what the card draws beneath it, also once the picture, the
    // size or the scheme changed.
    void aRunningJobsStepsRepaintOnlyItsSpinner() {
        GenerationTask job;
        job.prompt = "a lighthouse";
        job.quality = VideoQuality::p768;
        job.status = GenerationTaskStatus::active;
        job.referenceImages = {checkerboard(QSize(2400, 1350), 45, Qt::red, Qt::blue)};
        GalleryJobModel jobs;
        jobs.setJobs({job});
        VideoItemLogicView card(jobs.index(0), player.get());
        card.setLayoutValues(2, 1.0);
        card.resize(420, VideoItemLogicView::heightFor(420, 2, 1.0));
        QVERIFY(gui::showActive(&card));
        GUI_REQUIRE(spinner, Spinner, &card, "jobSpinner");
        QVERIFY(spinner->isSpinning());
        QCoreApplication::processEvents();

        PaintCounter paints;
        paints.watch(&card);
        paints.watch(spinner);
        const qint64 before = spinner->elapsed();
        QTRY_VERIFY_WITH_TIMEOUT(paints.of(spinner) >= 3, 1000);
        QVERIFY(spinner->elapsed() > before);
        QCOMPARE(paints.of(&card), 0);
        QVERIFY(spinnerShowsTheCardBeneath(card, *spinner));

        // A see-through picture lets the card's own background show through.
        QImage tinted(1200, 675, QImage::Format_ARGB32);
        tinted.fill(QColor(0, 200, 0, 90));
        job.referenceImages = {tinted};
        jobs.setJobs({job});
        card.refresh({Qt::DecorationRole});
        QVERIFY(spinnerShowsTheCardBeneath(card, *spinner));
        card.setLayoutValues(3, 1.0);
        card.resize(300, VideoItemLogicView::heightFor(300, 3, 1.0));
        QVERIFY(spinnerShowsTheCardBeneath(card, *spinner));
        // The other scheme darkens the background under the picture, the spinner's square with it.
        const QPoint inside = card.mediaRect().topLeft() + QPoint(20, 20);
        const QColor light = card.grab().toImage().pixelColor(inside);
        Theme::instance().setColorScheme(ColorScheme::dark);
        const QColor dark = card.grab().toImage().pixelColor(inside);
        const bool darkSquare = spinnerShowsTheCardBeneath(card, *spinner);
        Theme::instance().setColorScheme(std::nullopt);
        QVERIFY2(dark.lightness() < light.lightness(), qPrintable(dark.name() + " after " + light.name()));
        QVERIFY(darkSquare);
    }

    void theGridModeMenuSwitchesAndStoresTheMode() {
        QVERIFY(writeFile(folder + "/Orvane_a.mp4", clipBytes()));
        openView();
        GUI_REQUIRE(button, QToolButton, view.get(), "gridModeMenu");
        QCOMPARE(button->text(), "Solo");
        QVERIFY(button->menu());
        GUI_REQUIRE(compact, QAction, button->menu(), "gridModeCompact");
        compact->trigger();
        QCOMPARE(gallery->columns(), 3);
        QCOMPARE(button->text(), "Compact");
        QVERIFY(compact->isChecked());
        GUI_REQUIRE(solo, QAction, button->menu(), "gridModeSolo");
        QVERIFY(!solo->isChecked());
        QTRY_COMPARE(view->grid()->cards().first()->columns(), 3);
        QVERIFY(!gui::findByAccessibleName(view->grid()->cards().first(), "Recreate"));
        QVERIFY(gui::findByAccessibleName(view->grid()->cards().first(), "Recreate video with same settings"));
        // A new pane reads the stored mode back.
        view.reset();
        VideoGalleryViewModel other;
        AppEnvironment env = environment();
        env.galleryViewModel = &other;
        VideoGalleryLogicView second(env);
        QCOMPARE(other.columns(), 3);
    }

    void theGridModeButtonAboveTheGridComesBeforeItOnTab() {
        openView(false);
        GUI_REQUIRE(mode, QWidget, view.get(), "gridModeMenu");
        QCOMPARE(mode->nextInFocusChain(), static_cast<QWidget*>(view->grid()));
    }

    void onlyCardsNearTheViewExistOrReadTheirClips() {
        for (int i = 0; i < 60; ++i)
            QVERIFY(writeFile(folder + QStringLiteral("/Orvane_%1.mp4").arg(i, 2, 10, QChar('0')), clipBytes()));
        openView();
        QTRY_VERIFY(!view->grid()->cards().isEmpty());
        const int shown = int(view->grid()->cards().size());
        QVERIFY2(shown < 10, qPrintable(QString::number(shown)));
        QTRY_VERIFY(!gallery->videos().first()->thumbnail().isNull());
        QCOMPARE(gallery->videos().last()->metadataState(), GalleryClip::MetadataState::notLoaded);
        view->grid()->scrollToRow(59);
        QTRY_VERIFY(view->grid()->cardForRow(59));
        QVERIFY(!view->grid()->cardForRow(0));
        QTRY_VERIFY(!gallery->videos().last()->thumbnail().isNull());
    }

    // A studio switch grabs the window for its fade while the gallery is still hidden: the cards its layout makes
    // then are painted like the others.
    void cardsMadeWhileTheHiddenGalleryIsGrabbedArePainted() {
        for (int i = 0; i < 20; ++i)
            QVERIFY(writeFile(folder + QStringLiteral("/Orvane_%1.mp4").arg(i, 2, 10, QChar('0')), clipBytes()));
        settings->setVideoDirectoryBookmark(FolderBookmark::create(folder));
        gallery->setColumns(3);
        QWidget window;
        window.resize(1280, 820);
        auto* outgoing = new QWidget(&window);
        auto* pane = new VideoGalleryLogicView(environment(), &window);
        pane->hide();
        QVERIFY(gui::showActive(&window) && waitUntilListed(*gallery));
        QCoreApplication::processEvents();
        pane->setGeometry(window.rect());
        outgoing->grab(); // as a studio switch does for its fade
        outgoing->hide();
        pane->show();
        VideoGalleryGrid* grid = pane->grid();
        grid->scrollToRow(int(grid->cards().size()) - 1);
        QTRY_VERIFY(!grid->cards().isEmpty() && grid->cards().last()->isReady());
        QTest::qWait(50);
        const QImage screen = window.screen()->grabWindow(window.winId()).toImage();
        const QColor background = screen.pixelColor(pane->mapTo(&window, QPoint(pane->width() / 2, 2)));
        for (VideoItemLogicView* card : grid->cards()) {
            if (card->geometry().intersects(grid->viewport()->rect()))
                QVERIFY2(screen.pixelColor(card->mapTo(&window, card->mediaRect().center())) != background,
                         qPrintable(card->title()));
        }
    }

    void aPreviewWhoseCardScrollsAwayStops() {
        for (int i = 0; i < 30; ++i)
            QVERIFY(writeFile(folder + QStringLiteral("/Orvane_%1.mp4").arg(i, 2, 10, QChar('0')), clipBytes()));
        openView();
        QTRY_VERIFY(view->grid()->cardForRow(0));
        GalleryClip* shown = view->grid()->cardForRow(0)->clip();
        gui::hover(view->grid()->cardForRow(0));
        advance(0.21);
        QCOMPARE(player->currentVideo(), shown);
        // A quick scroll takes the card away before its leave delay has run out: its preview ends with it.
        view->grid()->scrollToRow(29);
        QVERIFY(!view->grid()->cardForRow(0));
        QVERIFY(!player->currentVideo());
        QVERIFY(!shown->isHovered());
        QCOMPARE(backend->currentItem(), PreviewBackend::ItemId(0));
        // Only a card now under the pointer may start a preview of its own.
        advance(1);
        QVERIFY(player->currentVideo() != shown);
    }

    // The pictures in view are read first; the cards out of view and the screen after wait until those are in.
    void thePicturesInViewAreReadFirst() {
        for (int i = 0; i < 30; ++i)
            QVERIFY(writeFile(folder + QStringLiteral("/Orvane_%1.mp4").arg(i, 2, 10, QChar('0')), clipBytes()));
        gallery->setColumns(2);
        BusyWorkers busy(MediaProbe::pool()); // no picture can be read before the checks below
        QVERIFY(busy.holdsAll());
        openView();
        QTRY_VERIFY(!view->grid()->cards().isEmpty());
        // Listed again into the pane as it is laid out now.
        QSignalSpy listed(gallery->clipModel(), &QAbstractItemModel::modelReset);
        gallery->refreshVideos();
        QVERIFY(listed.wait(5000));
        QTRY_VERIFY(!view->grid()->cards().isEmpty() &&
                    view->grid()->cards().first()->clip() == gallery->videos().first());
        const QRect shown = view->grid()->viewport()->rect();
        QList<GalleryClip*> inView, outOfView;
        for (VideoItemLogicView* card : view->grid()->cards())
            (card->geometry().intersects(shown) ? inView : outOfView) << card->clip();
        QVERIFY(!inView.isEmpty() && !outOfView.isEmpty());
        QTest::qWait(100);
        for (const GalleryClip* clip : std::as_const(inView))
            QCOMPARE(clip->metadataState(), GalleryClip::MetadataState::loading);
        for (const GalleryClip* clip : std::as_const(outOfView))
            QCOMPARE(clip->metadataState(), GalleryClip::MetadataState::notLoaded);
        const int ahead = gallery->indexOfPath(outOfView.last()->path()) + 1;
        QCOMPARE(gallery->videos().at(ahead)->metadataState(), GalleryClip::MetadataState::notLoaded);

        busy.release();
        QTRY_VERIFY(std::all_of(outOfView.cbegin(), outOfView.cend(), [](const GalleryClip* clip) {
            return clip->metadataState() == GalleryClip::MetadataState::loaded;
        }));
        QTRY_COMPARE(gallery->videos().at(ahead)->metadataState(), GalleryClip::MetadataState::loaded);
    }

    // Memory follows the screen, not how much was ever scrolled: far pictures go and come back from the cache.
    void picturesScrolledFarAwayAreLetGo() {
        constexpr int count = 200;
        for (int i = 0; i < count; ++i)
            QVERIFY(writeFile(folder + QStringLiteral("/Orvane_%1.mp4").arg(i, 3, 10, QChar('0')), clipBytes()));
        gallery->setColumns(3);
        openView();
        QScrollBar* bar = view->grid()->verticalScrollBar();
        const auto screenShown = [&] {
            const auto cards = view->grid()->cards();
            return !cards.isEmpty() && std::all_of(cards.cbegin(), cards.cend(), [](const VideoItemLogicView* card) {
                return !card->clip()->thumbnail().isNull();
            });
        };
        QTRY_VERIFY(screenShown());
        GalleryClip* first = gallery->videos().first();
        while (bar->value() < bar->maximum()) {
            bar->setValue(bar->value() + bar->pageStep());
            QTRY_VERIFY(screenShown());
        }
        QTest::qWait(100); // the read-ahead
        const auto pictured = std::count_if(gallery->videos().cbegin(), gallery->videos().cend(),
                                            [](const GalleryClip* clip) { return !clip->thumbnail().isNull(); });
        QVERIFY2(pictured < count / 2, qPrintable(QString::number(pictured)));
        QVERIFY(first->thumbnail().isNull());
        bar->setValue(0);
        QTRY_VERIFY(!first->thumbnail().isNull());
    }

    // A picture that arrives while its card is being laid out still makes the card ready, so the read-ahead starts.
    void aPictureArrivingDuringTheLayoutReachesItsCard() {
        for (int i = 0; i < 60; ++i)
            QVERIFY(writeFile(folder + QStringLiteral("/Orvane_%1.mp4").arg(i, 2, 10, QChar('0')), clipBytes()));
        gallery->setColumns(2);
        openView();
        QTRY_VERIFY(!view->grid()->cards().isEmpty());
        // Far down, where nothing has been read yet.
        ReadOnShow reader;
        qApp->installEventFilter(&reader);
        view->grid()->scrollToRow(30);
        qApp->removeEventFilter(&reader);
        const QRect shown = view->grid()->viewport()->rect();
        QList<GalleryClip*> outOfView;
        int inView = 0;
        for (VideoItemLogicView* card : view->grid()->cards()) {
            if (card->geometry().intersects(shown)) {
                ++inView;
                QVERIFY2(card->isReady(), qPrintable(card->title()));
            } else {
                outOfView << card->clip();
            }
        }
        QVERIFY(inView > 0 && reader.fed >= inView);
        QVERIFY(!outOfView.isEmpty());
        QTRY_VERIFY(std::all_of(outOfView.cbegin(), outOfView.cend(), [](const GalleryClip* clip) {
            return clip->metadataState() == GalleryClip::MetadataState::loaded;
        }));
    }

    void theKeyboardReachesEveryClipAndItsActions() {
        addRecord(*world->store, "Orvane_3.mp4", "clip three", world->clock.now());
        for (int i = 0; i < 7; ++i)
            QVERIFY(writeFile(folder + QStringLiteral("/Orvane_%1.mp4").arg(i), clipBytes()));
        gallery->setColumns(3); // rows of three, three and one
        openView();
        VideoGalleryGrid* grid = view->grid();
        QTRY_COMPARE(grid->cards().size(), 7);

        grid->setFocus(Qt::TabFocusReason);
        QTRY_VERIFY(grid->hasFocus());
        QCOMPARE(grid->currentRow(), 0);
        QVERIFY(grid->cardForRow(0)->isCurrent());
        const auto moves = {std::pair{Qt::Key_Right, 1}, {Qt::Key_Down, 4},    {Qt::Key_Down, 6},
                            {Qt::Key_Down, 6},           {Qt::Key_Up, 3},      {Qt::Key_Left, 2},
                            {Qt::Key_Home, 0},           {Qt::Key_Left, 0},    {Qt::Key_End, 6},
                            {Qt::Key_PageUp, 0},         {Qt::Key_PageDown, 6}};
        for (const auto& [key, row] : moves) {
            QTest::keyClick(grid, key);
            QCOMPARE(grid->currentRow(), row);
            for (VideoItemLogicView* card : grid->cards())
                QCOMPARE(card->showsFocusRing(), card == grid->cardForRow(row));
        }
        QCOMPARE(accessibleFocusOf(grid).first, grid->cardForRow(6));
        QCOMPARE(accessibleFocusOf(grid).second, grid->cardForRow(6)->title());

        // Return recreates the current clip.
        QTest::keyClick(grid, Qt::Key_Home);
        while (grid->currentCard()->title() != "clip three" && grid->currentRow() < 6)
            QTest::keyClick(grid, Qt::Key_Right);
        VideoItemLogicView* three = grid->currentCard();
        QCOMPARE(three->title(), "clip three");
        QCOMPARE(accessibleFocusOf(grid).second, "clip three");
        QSignalSpy recreated(gallery.get(), &VideoGalleryViewModel::recreateRequested);
        QTest::keyClick(grid, Qt::Key_Return);
        QCOMPARE(recreated.size(), 1);
        QCOMPARE(recreated.first().first().value<VideoMetadata*>()->fileName(), "Orvane_3.mp4");

        // Space plays the card's preview through the shared player and stops it again.
        QTest::keyClick(grid, Qt::Key_Space);
        QCOMPARE(player->currentVideo(), static_cast<VideoItem*>(three->clip()));
        QTRY_VERIFY(grid->previewWidget() && grid->previewWidget()->isVisible());
        QCOMPARE(grid->previewWidget()->parentWidget(), three);
        QTest::keyClick(grid, Qt::Key_Space);
        QVERIFY(!player->currentVideo());

        // Tab walks the current card's buttons, then leaves the grid; Shift+Tab comes back the same way.
        dialogs->alertAnswer = 1; // Cancel
        GUI_REQUIRE(recreate, QWidget, three, "recreateButton");
        GUI_REQUIRE(reveal, QWidget, three, "revealButton");
        GUI_REQUIRE(trash, QWidget, three, "trashButton");
        const QList<QWidget*> buttons{recreate, reveal, trash};
        for (QWidget* button : buttons) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            QCOMPARE(QApplication::focusWidget(), button);
        }
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Space);
        QCOMPARE(dialogs->alerts.size(), 1); // the trash button asks first
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QVERIFY(QApplication::focusWidget());
        QVERIFY(QApplication::focusWidget() != grid && !grid->isAncestorOf(QApplication::focusWidget()));
        QVERIFY(!three->showsFocusRing());
        // From there Tab goes on round the window, not back into the card it came from.
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QVERIFY2(QApplication::focusWidget() == grid || !grid->isAncestorOf(QApplication::focusWidget()),
                 qPrintable(QApplication::focusWidget()->objectName() + " in " + three->title()));
        buttons.last()->setFocus(Qt::TabFocusReason);
        for (QWidget* expected : {buttons.at(1), buttons.at(0), static_cast<QWidget*>(grid)}) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Backtab, Qt::ShiftModifier);
            QCOMPARE(QApplication::focusWidget(), expected);
        }
        // Only the current card's buttons are on the Tab path.
        GUI_REQUIRE(firstRecreate, QWidget, grid->cardForRow(0), "recreateButton");
        QCOMPARE(firstRecreate->focusPolicy(), Qt::NoFocus);

        // Delete goes through the same question as the trash button.
        QTest::keyClick(grid, Qt::Key_Delete);
        QCOMPARE(dialogs->alerts.size(), 2);
        QVERIFY(dialogs->alerts.last().informativeText.contains("'Orvane_3.mp4'"));
        QVERIFY(QFile::exists(folder + "/Orvane_3.mp4"));
        workspace->trashAnswer = true;
        workspace->removeFiles = true;
        dialogs->alertAnswer = 0;
        const int row = grid->currentRow();
        QTest::keyClick(grid, Qt::Key_Delete);
        QCOMPARE(workspace->trashed.last(), folder + "/Orvane_3.mp4");
        // The card in its place becomes the current one.
        QTRY_COMPARE(grid->cards().size(), 6);
        QCOMPARE(grid->currentRow(), row);
        QVERIFY(grid->currentCard()->showsFocusRing());
    }

    void theKeyboardBringsFarCardsIntoView() {
        for (int i = 0; i < 12; ++i)
            QVERIFY(writeFile(folder + QStringLiteral("/Orvane_%1.mp4").arg(i, 2, 10, QChar('0')), clipBytes()));
        openView(); // one column
        VideoGalleryGrid* grid = view->grid();
        QTRY_VERIFY(!grid->cards().isEmpty());
        QVERIFY(!grid->cardForRow(11));
        grid->setFocus(Qt::TabFocusReason);
        QTRY_VERIFY(grid->hasFocus());
        const auto inView = [grid](int row) {
            VideoItemLogicView* card = grid->cardForRow(row);
            return card && card->isVisible() && grid->viewport()->rect().contains(card->geometry());
        };
        QTest::keyClick(grid, Qt::Key_End);
        QCOMPARE(grid->currentRow(), 11);
        QVERIFY(inView(11));
        QVERIFY(!grid->cardForRow(0));
        QTest::keyClick(grid, Qt::Key_PageUp);
        QVERIFY(grid->currentRow() < 11);
        QVERIFY(inView(grid->currentRow()));
        QTest::keyClick(grid, Qt::Key_Home);
        QVERIFY(inView(0));
        QVERIFY(!grid->cardForRow(11));
        QTest::keyClick(grid, Qt::Key_Down);
        QTest::keyClick(grid, Qt::Key_Down);
        QCOMPARE(grid->currentRow(), 2);
        QVERIFY(inView(2));
        QTest::keyClick(grid, Qt::Key_Right); // one column: right is the next clip
        QCOMPARE(grid->currentRow(), 3);
        QVERIFY(inView(3));

        // A click makes the clicked card current without moving the list, wherever the focus was.
        grid->clearFocus();
        const int scrolled = grid->verticalScrollBar()->value();
        VideoItemLogicView* next = nullptr;
        QPoint at;
        for (VideoItemLogicView* card : grid->cards()) {
            const QRect shown = grid->viewport()->rect() & card->geometry();
            if (card != grid->currentCard() && shown.height() > 8) {
                next = card;
                at = shown.center() - card->pos();
            }
        }
        QVERIFY(next);
        QTest::mouseClick(next, Qt::LeftButton, {}, at);
        QVERIFY(grid->hasFocus());
        QCOMPARE(grid->currentCard(), next);
        QCOMPARE(grid->verticalScrollBar()->value(), scrolled);
        // The ring is for the keyboard: a click alone does not show it, the next key does.
        QVERIFY(next->isCurrent());
        QVERIFY(!next->showsFocusRing());
        QCOMPARE(accessibleFocusOf(grid).first, next);
        QTest::keyClick(grid, Qt::Key_Up);
        QVERIFY(grid->currentCard()->showsFocusRing());
    }

    void soloCardsShowTheSharperPictureWhileTheyExist() {
        QVERIFY(!largeClipBytes().isEmpty());
        for (int i = 0; i < 5; ++i)
            QVERIFY(writeFile(folder + QStringLiteral("/Orvane_%1.mp4").arg(i), largeClipBytes()));
        openView();
        QCOMPARE(gallery->columns(), 1);
        VideoGalleryGrid* grid = view->grid();
        QTRY_VERIFY(grid->cardForRow(0));
        GalleryClip* first = grid->cardForRow(0)->clip();
        QTRY_COMPARE(first->soloThumbnail().size(), QSize(512, 288));
        QTRY_COMPARE(first->thumbnail().size(), QSize(400, 225));
        world->drain();
        const QString sharp = ThumbnailCache::thumbnailPath(first->path(), ThumbnailCache::Flavor::xlarge);
        QVERIFY(sharp.contains("/thumbnails/x-large/"));
        QCOMPARE(QImageReader(sharp).size(), QSize(512, 288));
        QCOMPARE(QImageReader(ThumbnailCache::thumbnailPath(first->path(), ThumbnailCache::Flavor::card)).size(),
                 QSize(400, 225));
        // Only cards that exist hold one.
        GalleryClip* last = gallery->videos().last();
        QVERIFY(!grid->cardForRow(4));
        QVERIFY(last->soloThumbnail().isNull());
        QVERIFY(!QFileInfo::exists(ThumbnailCache::thumbnailPath(last->path(), ThumbnailCache::Flavor::xlarge)));

        // Scrolled far away, the sharp picture is given up and the small one stays.
        grid->scrollToRow(4);
        QTRY_VERIFY(grid->cardForRow(4));
        QVERIFY(!grid->cardForRow(0));
        QVERIFY(first->soloThumbnail().isNull());
        QVERIFY(!first->thumbnail().isNull());
        QTRY_COMPARE(grid->cardForRow(4)->clip()->soloThumbnail().size(), QSize(512, 288));
        // Back again, it comes from the cache.
        grid->scrollToRow(0);
        QTRY_COMPARE(first->soloThumbnail().size(), QSize(512, 288));

        // Several columns give it up too.
        gallery->setColumns(2);
        QTRY_VERIFY(first->soloThumbnail().isNull());
        world->drain();
        QVERIFY(first->soloThumbnail().isNull());
    }

    void comfortAndCompactCardsUseTheSmallerPicture() {
        QVERIFY(!largeClipBytes().isEmpty());
        for (int columns : {2, 3}) {
            const QString name = QStringLiteral("/Orvane_%1.mp4").arg(columns);
            QVERIFY(writeFile(folder + name, largeClipBytes()));
            gallery->setColumns(columns);
            openView();
            QTRY_VERIFY(cardNamed(QStringLiteral("Orvane_%1").arg(columns)));
            GalleryClip* video = cardNamed(QStringLiteral("Orvane_%1").arg(columns))->clip();
            // Up to 400 on a side, as the cards of several columns show it.
            QTRY_COMPARE(video->thumbnail().size(), QSize(400, 225));
            world->drain();
            QVERIFY(video->soloThumbnail().isNull());
            QVERIFY(QFileInfo::exists(ThumbnailCache::thumbnailPath(video->path(), ThumbnailCache::Flavor::card)));
            QVERIFY(!QFileInfo::exists(ThumbnailCache::thumbnailPath(video->path(), ThumbnailCache::Flavor::xlarge)));
            view.reset();
        }
    }

    void thePresetsOverlayClosesOnTheScrim() {
        openView(false);
        QSignalSpy chosen(view.get(), &VideoGalleryLogicView::presetTextChosen);
        view->showPromptPresets("a prompt", false);
        QVERIFY(view->isPromptPresetsShown());
        GUI_REQUIRE(scrim, QWidget, view.get(), "promptPresetsScrim");
        QVERIFY(scrim->isVisible());
        QPointer<QWidget> overlay = scrim->parentWidget();
        QVERIFY(gui::click(scrim, QPoint(scrim->width() - 20, scrim->height() / 2)));
        QVERIFY(!view->isPromptPresetsShown());
        QCOMPARE(chosen.size(), 0);
        // The sheet fades out, then goes.
        QVERIFY(Motion::runningExit(overlay));
        QTRY_VERIFY(!overlay);
    }

    void aPickedPresetGoesToThePromptAndClosesThePanel() {
        SwiftDataPromptPresetsManager presets(world->store.get());
        AppEnvironment env = environment();
        env.promptPresetsManager = &presets;
        VideoGalleryLogicView pane(env);
        pane.resize(900, 700);
        QVERIFY(gui::showActive(&pane));
        QSignalSpy chosen(&pane, &VideoGalleryLogicView::presetTextChosen);
        pane.showPromptPresets("a prompt", false);
        GUI_REQUIRE(panel, PromptPresetsView, &pane, "promptPresetsPanel");
        QVERIFY(panel->isVisible());
        QCOMPARE(panel->parentWidget()->width() - 2 * static_cast<GlassPanel*>(panel->parentWidget())->shadowMargin(),
                 350);
        QPointer<PromptPresetsView> leaving = panel;
        emit panel->presetSelected("slow dolly in");
        QCOMPARE(chosen.size(), 1);
        QCOMPARE(chosen.first().first().toString(), "slow dolly in");
        QVERIFY(!pane.isPromptPresetsShown());
        QTRY_VERIFY(!leaving);

        pane.showPromptPresets("a prompt", true);
        GUI_REQUIRE(reopened, PromptPresetsView, &pane, "promptPresetsPanel");
        emit reopened->dismissRequested();
        QVERIFY(!pane.isPromptPresetsShown());
        QCOMPARE(chosen.size(), 1);
    }
};

QTEST_MAIN(GalleryViewTest)
#include "tst_gallery_view.moc"
