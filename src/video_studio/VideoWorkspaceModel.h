#pragma once

#include "AppEnvironment.h"
#include "AppViewModel.h"
#include "VideoOptions.h"

#include <QImage>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>

#include <optional>

class FrameImageIntake;
class VideoMetadata;

// The rules of the video studio without any widget: the job under construction (prompt and frames),
// the generate button's title and enable rule, the option pushes onto the video services, the mode
// rule, the hand-overs from the image studio, preset insertion and recreation. The view only shows it.
class VideoWorkspaceModel : public QObject {
    Q_OBJECT
    Q_PROPERTY(QString prompt READ prompt WRITE setPrompt NOTIFY promptChanged)
    Q_PROPERTY(int promptCharacterCount READ promptCharacterCount NOTIFY promptChanged)
    Q_PROPERTY(QString counterText READ counterText NOTIFY promptChanged)
    Q_PROPERTY(bool counterIsWarning READ counterIsWarning NOTIFY promptChanged)
    Q_PROPERTY(int textEditorResetTrigger READ textEditorResetTrigger NOTIFY textEditorResetTriggerChanged)
    Q_PROPERTY(bool hasFirstFrame READ hasFirstFrame NOTIFY framesChanged)
    Q_PROPERTY(bool hasLastFrame READ hasLastFrame NOTIFY framesChanged)
    Q_PROPERTY(bool startEndMode READ startEndMode NOTIFY videoModeChanged)
    Q_PROPERTY(int activeVideoTaskCount READ activeVideoTaskCount NOTIFY queueChanged)
    Q_PROPERTY(int waitingVideoTaskCount READ waitingVideoTaskCount NOTIFY queueChanged)
    Q_PROPERTY(QString generateButtonTitle READ generateButtonTitle NOTIFY queueChanged)
    Q_PROPERTY(bool generateEnabled READ generateEnabled NOTIFY generateStateChanged)
    Q_PROPERTY(double generateOpacity READ generateOpacity NOTIFY generateStateChanged)
    Q_PROPERTY(bool queueFull READ queueFull NOTIFY queueChanged)
    Q_PROPERTY(
        bool showCameraControls READ showCameraControls WRITE setShowCameraControls NOTIFY showCameraControlsChanged)
    Q_PROPERTY(bool showVideoSettings READ showVideoSettings WRITE setShowVideoSettings NOTIFY showVideoSettingsChanged)
    Q_PROPERTY(bool showPromptPresets READ showPromptPresets WRITE setShowPromptPresets NOTIFY showPromptPresetsChanged)
    Q_PROPERTY(bool shouldOpenCreatePreset READ shouldOpenCreatePreset WRITE setShouldOpenCreatePreset NOTIFY
                   shouldOpenCreatePresetChanged)
    Q_PROPERTY(QString folderText READ folderText NOTIFY folderChanged)
    Q_PROPERTY(bool folderResolved READ folderResolved NOTIFY folderChanged)
    Q_PROPERTY(QString folderHelpText READ folderHelpText NOTIFY folderChanged)
    Q_PROPERTY(bool showsQueueBlock READ showsQueueBlock NOTIFY queueBlockChanged)

public:
    static constexpr int slotCount = 4;

    explicit VideoWorkspaceModel(const AppEnvironment& environment, QObject* parent = nullptr);

    // Loads pictures into the frame slots and saves them out; what it loads lands in the slots.
    FrameImageIntake* intake() const { return intake_; }

    QString prompt() const { return prompt_; }
    void setPrompt(const QString& text);
    int promptCharacterCount() const { return promptCharacterCount_; }
    QString counterText() const;
    bool counterIsWarning() const;
    int textEditorResetTrigger() const { return textEditorResetTrigger_; }

    std::optional<QImage> firstFrameImage() const { return firstFrameImage_; }
    std::optional<QImage> lastFrameImage() const { return lastFrameImage_; }
    bool hasFirstFrame() const { return firstFrameImage_.has_value(); }
    bool hasLastFrame() const { return lastFrameImage_.has_value(); }
    VideoGenerationMode videoMode() const;
    bool startEndMode() const { return videoMode() == VideoGenerationMode::startEndVideo; }

    int activeVideoTaskCount() const;
    int waitingVideoTaskCount() const;
    int totalVideoTaskCount() const { return activeVideoTaskCount() + waitingVideoTaskCount(); }
    bool hasRequiredFrames() const;
    QString generateButtonTitle() const;
    static QString generateButtonTitle(int active, int waiting);
    bool queueFull() const;
    bool generateEnabled() const { return hasRequiredFrames() && !queueFull(); }
    double generateOpacity() const { return generateEnabled() ? 1.0 : 0.6; }
    // The symbol in the button's icon slot: "play.circle" when idle, "stop.circle" when full, else none.
    bool showsPlaySymbol() const { return activeVideoTaskCount() == 0 && !queueFull(); }
    bool showsProgress() const { return activeVideoTaskCount() > 0; }
    // The header's queue block: only while the image studio is shown and video work is queued.
    bool showsQueueBlock() const;

    bool showCameraControls() const { return showCameraControls_; }
    void setShowCameraControls(bool on);
    bool showVideoSettings() const { return showVideoSettings_; }
    void setShowVideoSettings(bool on);
    bool showPromptPresets() const { return showPromptPresets_; }
    void setShowPromptPresets(bool on);
    bool shouldOpenCreatePreset() const { return shouldOpenCreatePreset_; }
    void setShouldOpenCreatePreset(bool on);
    // The prompt presets panel reads the create flag once as it opens; the flag then falls back.
    bool takeShouldOpenCreatePreset();

    // The folder chooser: the folder's name when its bookmark resolves, else "Choose Folder".
    QString folderText() const;
    bool folderResolved() const;
    QString folderHelpText() const;
    // The folder button: asks for the folder the clips are saved into.
    void chooseVideoFolder();

    // Lifecycle of the screen.
    void onAppearSetup();
    void restoreSavedPrompt();
    void saveStudioState();
    void backToImages();

    // Actions.
    void generateVideo();
    void handlePromptEnter();
    void pushPromptOptimization(bool on);
    void handleModelChange(VideoModel model);
    void setGenerationMode(VideoGenerationMode mode);
    // The mode picker's choice; the mode rule follows from the change.
    void selectVideoMode(VideoGenerationMode mode);
    void receiveSharedImage();
    void insertPresetText(const QString& text);
    void clearPrompt();
    void openCreatePresetFromPrompt();
    // Recreation from the gallery: by file name among the records, or from the record itself.
    void recreateVideo(const QString& fileName, const QList<VideoMetadata*>& records);
    void recreateFromRecord(const VideoMetadata& record);

    // The frame slots.
    void storeImage(ImageType slot, const QImage& image);
    void removeFirstFrameImage();
    void removeLastFrameImage();
    // Saves the full picture of a slot (not the preview a tile shows) into the photo folder, else asks where.
    void saveFrameImage(ImageType slot);
    // Drops are refused while the image studio is shown.
    bool acceptsDrops() const;

signals:
    void promptChanged();
    void textEditorResetTriggerChanged();
    void framesChanged();
    void videoModeChanged();
    void queueChanged();
    void generateStateChanged();
    void showCameraControlsChanged();
    void showVideoSettingsChanged();
    void showPromptPresetsChanged();
    void shouldOpenCreatePresetChanged();
    void folderChanged();
    void queueBlockChanged();
    // Emitted (and handled synchronously) before the prompt is read: the editor writes its pending text.
    void flushPromptRequested();

private:
    void onVideoModeChanged();
    void onSharedImageChanged();
    void onCurrentViewChanged();
    void setFirstFrame(const std::optional<QImage>& image);
    void setLastFrame(const std::optional<QImage>& image);
    void setFlag(bool& flag, bool on, void (VideoWorkspaceModel::*changed)());
    void bumpResetTrigger();

    AppEnvironment environment_;
    FrameImageIntake* intake_ = nullptr;
    QString prompt_;
    int promptCharacterCount_ = 0;
    int textEditorResetTrigger_ = 0;
    std::optional<QImage> firstFrameImage_;
    std::optional<QImage> lastFrameImage_;
    bool showCameraControls_ = false;
    bool showVideoSettings_ = false;
    bool showPromptPresets_ = false;
    bool shouldOpenCreatePreset_ = false;
    // The mode the change action last saw, so that only real changes run the mode rule.
    VideoGenerationMode lastSeenMode_ = VideoGenerationMode::imageToVideo;
    bool deferModeChange_ = false;
};
