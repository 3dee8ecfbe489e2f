#include "CinematicPlayer.h"
#include "MovementPlayer.h"
#include "PresetTestSupport.h"
#include "Resources.h"
#include "TestSupport.h"

#include <QHash>
#include <QSignalSpy>
#include <QTest>

using namespace PresetTestSupport;

namespace {
// A media player that does nothing by itself: the test says when an item becomes ready, fails or ends,
// and every call is written to a shared journal.
class FakeBackend final : public PreviewBackend {
public:
    explicit FakeBackend(QStringList* journal) : journal_(journal) {}

    ItemId replaceCurrentItem(const QUrl& url) override {
        current_ = ++last_;
        statuses_[current_] = ItemStatus::unknown;
        urls << url;
        *journal_ << "load " + url.fileName();
        return current_;
    }
    void clearCurrentItem() override {
        current_ = 0;
        *journal_ << "clear";
    }
    ItemId currentItem() const override { return current_; }
    ItemStatus status(ItemId item) const override { return statuses_.value(item, ItemStatus::unknown); }
    std::optional<double> duration(ItemId item) const override { return durations_.value(item); }
    void play() override {
        playing = true;
        *journal_ << "play";
    }
    void pause() override {
        playing = false;
        *journal_ << "pause";
    }
    void seekToStart() override {
        ++seeks;
        *journal_ << "seek";
    }
    void setVolume(double v) override { volume_ = v; }
    double volume() const override { return volume_; }
    void setVideoOutput(PreviewFrameSink*) override {}

    // What the media framework would report.
    void ready(ItemId item, std::optional<double> duration = 4.0) {
        statuses_[item] = ItemStatus::readyToPlay;
        durations_[item] = duration;
        emit itemStatusChanged(item);
    }
    void fail(ItemId item) {
        statuses_[item] = ItemStatus::failed;
        emit itemStatusChanged(item);
    }
    void end(ItemId item) { emit itemDidPlayToEnd(item); }

    QList<QUrl> urls;
    bool playing = false;
    int seeks = 0;

private:
    QStringList* journal_;
    ItemId current_ = 0;
    ItemId last_ = 0;
    QHash<ItemId, ItemStatus> statuses_;
    QHash<ItemId, std::optional<double>> durations_;
    double volume_ = 1.0;
};

// Queued notices arrive.
void settle() {
    QCoreApplication::processEvents();
    QCoreApplication::processEvents();
}
} // namespace

class PreviewPlayersTest : public QObject {
    Q_OBJECT
private:
    std::unique_ptr<TestEnvironment> env_;
    QStringList journal_;
    FakeBackend* backend_ = nullptr;

    template <class Player> std::unique_ptr<Player> makePlayer() {
        auto backend = std::make_unique<FakeBackend>(&journal_);
        backend_ = backend.get();
        return std::make_unique<Player>(std::move(backend));
    }

    void verifyIdle(const MovementPlayer& player) {
        QCOMPARE(player.currentMovement(), nullptr);
        QCOMPARE(player.currentVideo(), nullptr);
        QCOMPARE(player.currentMode(), MovementPlayer::PlaybackMode::movement);
        QVERIFY(!player.isPlaying());
        QCOMPARE(backend_->currentItem(), PreviewBackend::ItemId(0));
        QVERIFY(!player.hasObservers());
    }

    // A's item becomes ready and ends late, after B's item replaced it while B is still loading: neither
    // notice may touch B. Then B's own notices count.
    template <class Player, class Preset> void verifyReplacedItemIsIgnored(Preset& a, Preset& b) {
        auto player = makePlayer<Player>();
        player->play(&a);
        const auto itemA = backend_->currentItem();
        player->play(&b);
        backend_->ready(itemA);
        settle();
        QVERIFY(!player->isPlaying());
        backend_->end(itemA);
        QCOMPARE(backend_->seeks, 0);
        backend_->ready(backend_->currentItem());
        settle();
        QVERIFY(player->isPlaying());
        backend_->end(backend_->currentItem());
        QCOMPARE(backend_->seeks, 1);
        QVERIFY(player->isPlaying());
    }

    // Hover flags report into the journal too, so the order of events can be checked.
    void watch(PreviewClipPreset& preset, const QString& name) {
        connect(&preset, &PreviewClipPreset::isHoveredChanged, this,
                [this, &preset, name] { journal_ << name + (preset.isHovered() ? " on" : " off"); });
    }

private slots:
    void init() {
        env_ = std::make_unique<TestEnvironment>();
        Resources::setRoot(bundleRoot());
        journal_.clear();
    }
    void cleanup() {
        drainMediaWork();
        env_.reset();
    }

    // --- movement player ---

    void movementClipLoadsSilentAndPlaysOnceReady() {
        auto player = makePlayer<MovementPlayer>();
        verifyIdle(*player);
        CameraMovementPreset push("Push In", "[Push in]", "push_in");
        player->play(&push);
        QCOMPARE(player->currentMovement(), &push);
        QVERIFY(push.isHovered());
        QCOMPARE(backend_->urls, QList<QUrl>{QUrl::fromLocalFile(*Resources::path("push_in", "mp4"))});
        QCOMPARE(backend_->volume(), 0.0);
        QVERIFY(backend_->playing);
        settle();
        QVERIFY(!player->isPlaying()); // loading
        backend_->ready(backend_->currentItem());
        settle();
        QVERIFY(player->isPlaying());
    }

    void sameMovementAgainChangesNothingUntilStopped() {
        auto player = makePlayer<MovementPlayer>();
        CameraMovementPreset push("Push In", "[Push in]", "push_in");
        player->play(&push);
        backend_->ready(backend_->currentItem());
        settle();
        player->play(&push);
        QCOMPARE(backend_->urls.size(), 1);
        QVERIFY(player->isPlaying());

        player->stop();
        verifyIdle(*player);
        QVERIFY(!push.isHovered());
        player->play(&push);
        QCOMPARE(backend_->urls.size(), 2);
    }

    void anotherMovementMovesTheFlagAndWaitsForItsItem() {
        auto player = makePlayer<MovementPlayer>();
        CameraMovementPreset a("Pan Left", "[Pan left]", "pan_left");
        CameraMovementPreset b("Pan Right", "[Pan right]", "pan_right");
        player->play(&a);
        backend_->ready(backend_->currentItem());
        settle();
        QVERIFY(player->isPlaying());
        player->play(&b);
        QVERIFY(!a.isHovered());
        QVERIFY(b.isHovered());
        QCOMPARE(player->currentMovement(), &b);
        QCOMPARE(backend_->urls.last().fileName(), QString("pan_right.mp4"));
        QVERIFY(!player->isPlaying());
    }

    void noticesOfAReplacedItemAreIgnored() {
        CameraMovementPreset a("Pan Left", "[Pan left]", "pan_left");
        CameraMovementPreset b("Pan Right", "[Pan right]", "pan_right");
        verifyReplacedItemIsIgnored<MovementPlayer>(a, b);
    }

    void missingClipShowsNothingRatherThanThePreviousClip() {
        auto player = makePlayer<MovementPlayer>();
        CameraMovementPreset a("Pan Left", "[Pan left]", "pan_left");
        CameraMovementPreset missing("Orbit", "[Orbit]", "no_such_clip");
        player->play(&a);
        backend_->ready(backend_->currentItem());
        settle();
        player->play(&missing);
        QCOMPARE(player->currentMovement(), &missing);
        QVERIFY(missing.isHovered());
        QVERIFY(!a.isHovered());
        QCOMPARE(backend_->currentItem(), PreviewBackend::ItemId(0));
        QVERIFY(!backend_->playing);
        QVERIFY(!player->isPlaying());
        QVERIFY(!player->hasObservers());
        QVERIFY(env_->logLines().isEmpty());
    }

    void videoStopsAMovementFirst() {
        auto player = makePlayer<MovementPlayer>();
        CameraMovementPreset a("Pan Left", "[Pan left]", "pan_left");
        VideoItem video(QUrl::fromLocalFile("/videos/Orvane_1.mp4"));
        player->play(&a);
        backend_->ready(backend_->currentItem());
        settle();
        player->playVideo(&video);
        QVERIFY(!a.isHovered());
        QCOMPARE(player->currentMovement(), nullptr);
        QCOMPARE(player->currentMode(), MovementPlayer::PlaybackMode::video);
        QCOMPARE(player->currentVideo(), &video);
        QVERIFY(video.isHovered());
        QCOMPARE(backend_->urls.last(), video.url());
        QVERIFY(!player->isPlaying());
        QCOMPARE(journal_.mid(journal_.lastIndexOf("pause")),
                 (QStringList{"pause", "clear", "load Orvane_1.mp4", "play"}));

        player->playVideo(&video);
        QCOMPARE(backend_->urls.size(), 2);
    }

    void movementAfterAVideoClearsTheVideosState() {
        auto player = makePlayer<MovementPlayer>();
        CameraMovementPreset a("Pan Left", "[Pan left]", "pan_left");
        VideoItem video(QUrl::fromLocalFile("/videos/Orvane_1.mp4"));
        player->playVideo(&video);
        backend_->ready(backend_->currentItem());
        settle();
        player->play(&a);
        QVERIFY(!video.isHovered());
        QCOMPARE(player->currentVideo(), nullptr);
        QCOMPARE(player->currentMode(), MovementPlayer::PlaybackMode::movement);
        QCOMPARE(player->currentMovement(), &a);
        QVERIFY(a.isHovered());
    }

    void unreadableVideoFailsAndKeepsNotPlaying() {
        auto player = makePlayer<MovementPlayer>();
        VideoItem video(QUrl::fromLocalFile("/videos/missing.mp4"));
        player->playVideo(&video);
        backend_->fail(backend_->currentItem());
        settle();
        QVERIFY(!player->isPlaying());
        QCOMPARE(player->currentVideo(), &video);
        QVERIFY(video.isHovered());
    }

    void readyWithoutAUsableDurationIsNotPlaying() {
        auto player = makePlayer<MovementPlayer>();
        VideoItem video(QUrl::fromLocalFile("/videos/live.mp4"));
        player->playVideo(&video);
        backend_->ready(backend_->currentItem(), std::nullopt);
        settle();
        QVERIFY(!player->isPlaying());
        backend_->ready(backend_->currentItem(), std::numeric_limits<double>::infinity());
        settle();
        QVERIFY(!player->isPlaying());
    }

    void endOfTheClipRestartsItWithoutChangingState() {
        auto player = makePlayer<MovementPlayer>();
        CameraMovementPreset a("Pan Left", "[Pan left]", "pan_left");
        player->play(&a);
        backend_->ready(backend_->currentItem());
        settle();
        QSignalSpy playing(player.get(), &PreviewPlayer::isPlayingChanged);
        journal_.clear();
        backend_->end(backend_->currentItem());
        QCOMPARE(journal_, (QStringList{"seek", "play"}));
        QVERIFY(player->isPlaying());
        QCOMPARE(playing.count(), 0);
    }

    void everyLoadIsSilent() {
        auto player = makePlayer<MovementPlayer>();
        CameraMovementPreset a("Pan Left", "[Pan left]", "pan_left");
        VideoItem video(QUrl::fromLocalFile("/videos/Orvane_1.mp4"));
        player->play(&a);
        backend_->setVolume(0.8);
        player->playVideo(&video);
        QCOMPARE(backend_->volume(), 0.0);
    }

    void stopOnAnIdlePlayerKeepsItIdle() {
        auto player = makePlayer<MovementPlayer>();
        player->stop();
        verifyIdle(*player);
    }

    void sourcesThatGoAwayAreForgotten() {
        auto player = makePlayer<MovementPlayer>();
        auto video = std::make_unique<VideoItem>(QUrl::fromLocalFile("/videos/Orvane_1.mp4"));
        player->playVideo(video.get());
        video.reset();
        QCOMPARE(player->currentVideo(), nullptr);
        player->stop();
        verifyIdle(*player);
    }

    // --- cinematic player ---

    void cinematicPresetPassesThroughIdleBeforeTheNextOne() {
        auto player = makePlayer<CinematicPlayer>();
        CinematicPreset a("Debut", "[Truck left, Push in, Pan right]", "debut_preview");
        CinematicPreset b("Freedom", "[Push out, Pedestal up, Tilt down]", "freedom_preview");
        watch(a, "A");
        watch(b, "B");
        connect(player.get(), &PreviewPlayer::isPlayingChanged, this,
                [this, p = player.get()] { journal_ << (p->isPlaying() ? "playing" : "not playing"); });
        player->play(&a);
        backend_->ready(backend_->currentItem());
        settle();
        QCOMPARE(player->currentPreset(), &a);
        journal_.clear();

        player->play(&b);
        QCOMPARE(journal_,
                 (QStringList{"pause", "clear", "A off", "not playing", "B on", "load freedom_preview.mp4", "play"}));
        QCOMPARE(player->currentPreset(), &b);
        backend_->ready(backend_->currentItem());
        settle();
        QVERIFY(player->isPlaying());
    }

    void samePresetAgainChangesNothingUntilStopped() {
        auto player = makePlayer<CinematicPlayer>();
        CinematicPreset a("Debut", "[Truck left, Push in, Pan right]", "debut_preview");
        player->play(&a);
        player->play(&a);
        QCOMPARE(backend_->urls.size(), 1);
        player->stop();
        QCOMPARE(player->currentPreset(), nullptr);
        QVERIFY(!a.isHovered());
        QVERIFY(!player->hasObservers());
        player->play(&a);
        QCOMPARE(backend_->urls.size(), 2);
    }

    void cinematicPresetWithoutAClipStaysMarkedWithNothingLoaded() {
        auto player = makePlayer<CinematicPlayer>();
        CinematicPreset missing("Orbit", "[Pan left, Zoom in]", "no_such_clip");
        player->play(&missing);
        QCOMPARE(player->currentPreset(), &missing);
        QVERIFY(missing.isHovered());
        QCOMPARE(backend_->currentItem(), PreviewBackend::ItemId(0));
        QVERIFY(backend_->urls.isEmpty());
        settle();
        QVERIFY(!player->isPlaying());
    }

    void cinematicNoticesOfAReplacedItemAreIgnored() {
        CinematicPreset a("Debut", "[Truck left, Push in, Pan right]", "debut_preview");
        CinematicPreset b("Freedom", "[Push out, Pedestal up, Tilt down]", "freedom_preview");
        verifyReplacedItemIsIgnored<CinematicPlayer>(a, b);
    }
};

QTEST_GUILESS_MAIN(PreviewPlayersTest)
#include "tst_preview_players.moc"
